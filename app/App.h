#pragma once

// Parses the command line, picks the HID backend (hidapi, or the emulated box
// with --demo), shows the window and runs the event loop. --version and --help
// answer without a display.
int run_app(int argc, char** argv);
