// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Parses the command line, picks the HID backend (hidapi, or the emulated box
// with --demo), shows the window and runs the event loop. --version and --help
// answer without a display.
int run_app(int argc, char** argv);

struct AppConfig;
struct BackendChoice;
struct Options;

// What the window is given: the vendor ID of the build, the update host
// (--update-host, the built-in one, or the demo's own service) and the per-box
// store (the demo's own while --demo runs).
AppConfig app_config(const Options& options, const BackendChoice& choice);
