#pragma once
// shifterctl: the box served from a terminal or a script, through the same
// device, calibration, monitor and update code as the window. Exit status 0 on
// success, 1 when the box is missing or misbehaves, 2 when the command line
// cannot be carried out as given; every failure is one sentence on err.

#include <QStringList>
#include <QTextStream>
#include <cstdint>
#include <functional>

#include "Hid.h"

inline constexpr int kCliOk = 0;
inline constexpr int kCliBoxProblem = 1;
inline constexpr int kCliUsage = 2;

struct CliEnv {
    std::uint16_t vendor_id = 0;
    // Waits between polls and while the box restarts; main keeps its event
    // loop running meanwhile (the demo stick moves on timers).
    std::function<void(int ms)> pause;
    // Ctrl+C: the monitor ends cleanly and a flash still waiting for the
    // bootloader gives up. Null means never.
    std::function<bool()> stop_requested;
};

// args without the program name.
int run_cli(const QStringList& args, device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env);

// Whether --demo is among the options before the command: main must choose
// the emulated box before run_cli runs.
bool cli_wants_demo(const QStringList& args);

QString cli_usage_text();
