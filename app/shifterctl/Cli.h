// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// shifterctl: the box served from a terminal or a script, through the same
// device, calibration, monitor and update code as the window. Exit status 0 on
// success; 1 when the box refuses, fails or goes away, the update service
// fails or the output cannot be written; 2 when the command line or a file
// cannot be used; 3 when no box (or not the chosen one) is found; 128 plus the
// signal when stopped. Results go to out; progress, questions, warnings and
// errors to err. Every failure is one sentence on err, and with --json also
// one object {"error", "kind"} on out.

#include <QStringList>
#include <QTextStream>
#include <cstdint>
#include <functional>
#include <optional>

#include "device/Hid.h"

inline constexpr int kCliOk = 0;
inline constexpr int kCliBoxProblem = 1;
inline constexpr int kCliUsage = 2;
inline constexpr int kCliNoBox = 3;
// The reader of the output went away (a closed pipe): the status a shell
// shows for a program that the pipe's signal ended, 128 plus SIGPIPE (13),
// as git and other tools end there, without a word.
inline constexpr int kCliOutputGone = 141;

// The requests to stop (Ctrl+C, a termination request) that have arrived.
struct CliStops {
    int count = 0;
    // The exit status the latest asks for, by the shell's custom of 128 plus
    // the signal: 130 for Ctrl+C, 143 for a termination request.
    int status = 0;
};

struct CliEnv {
    std::uint16_t vendor_id = 0;
    // Waits between polls and while the box restarts; main keeps its event
    // loop running meanwhile (the demo stick moves on timers) and may end a
    // wait early when a stop request arrives.
    std::function<void(int ms)> pause;
    // Read by the loops. The monitor lets the box go and ends with the
    // status asked for; a flash warns at the first and stops at the second.
    // Null means never.
    std::function<CliStops()> stops;
    // The update service asked when --update-host is not given.
    QString update_host;
    // Asks the user a yes/no question on the terminal; nullopt when there is
    // no one to ask (input is not a terminal). Null: never possible.
    std::function<std::optional<bool>(const QString& question)> confirm;
    // Where the last thresholds read from each box are kept (empty: the
    // window's folder), so that a box that comes back in its bootloader after
    // an update that broke off is offered its calibration again.
    QString store_folder;
    // err goes to a terminal: progress is one line rewritten in place.
    bool progress_in_place = false;
    // out goes to a terminal: a person reads it (list shows a header).
    bool output_is_terminal = false;
    // The width of the terminal the help is shown in; 0 when there is none.
    int columns = 0;
    // After out failed: whether its reader went away (a closed pipe), rather
    // than the output being refused (a full disk). Null means never.
    std::function<bool()> output_gone;
    // The standard input, which `restore -` reads; null: there is none.
    QIODevice* input = nullptr;
};

// args without the program name.
int run_cli(const QStringList& args, device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env);

// Whether --demo is among the options (before a "--"): main must choose the
// emulated box before run_cli runs.
bool cli_wants_demo(const QStringList& args);
// Whether the command talks to the update service (check-update, update):
// with --demo, main then starts the demo's own service on 127.0.0.1.
bool cli_wants_update_service(const QStringList& args);
