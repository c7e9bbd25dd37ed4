#pragma once
// shifterctl: the box served from a terminal or a script, through the same
// device, calibration, monitor and update code as the window. Exit status 0 on
// success, 1 when the box is missing or misbehaves or the output cannot be
// written, 2 when the command line cannot be carried out as given, 128 plus
// the signal when stopped; every failure is one sentence on err.

#include <QStringList>
#include <QTextStream>
#include <cstdint>
#include <functional>

#include "Hid.h"

inline constexpr int kCliOk = 0;
inline constexpr int kCliBoxProblem = 1;
inline constexpr int kCliUsage = 2;

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
};

// args without the program name.
int run_cli(const QStringList& args, device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env);

// Whether --demo is among the options before the command: main must choose
// the emulated box before run_cli runs.
bool cli_wants_demo(const QStringList& args);

QString cli_usage_text();
