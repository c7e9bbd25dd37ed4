// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The tables of options and commands, with the words of their help.
#include "app/shifterctl/CommandLine.h"

#include <iterator>

namespace ctl {

namespace {

constexpr OptionSpec kOptionRows[] = {
    {"--demo", nullptr, nullptr,
     "serve an emulated box (and its own update service on 127.0.0.1) instead of a real one",
     Complete::Nothing, false},
    {"--json", nullptr, nullptr,
     "print JSON: one object (list: an array; monitor: one object per report); a failure is also the object "
     "{\"error\": SENTENCE, \"kind\": KIND} on standard output",
     Complete::Nothing, false},
    {"--serial", nullptr, "S", "the box with serial number S", Complete::Nothing, false},
    {"--path", nullptr, "P", "the box at path P, as list shows it", Complete::BoxPath, false},
    {"--yes", nullptr, nullptr, "go ahead without asking", Complete::Nothing, false},
    {"--update-host", nullptr, "HOST[:PORT]", "the update service to ask (default {host})", Complete::Host, false},
    {"--count", nullptr, "N", "stop after N reports", Complete::Nothing, false},
    {"--interval", nullptr, "MS", "poll every MS milliseconds, 1 to 60000 (default 50)", Complete::Nothing, false},
    {"--seconds", nullptr, "S", "record for S seconds, 1 to 3600 (default 20)", Complete::Nothing, false},
    {"--suggest", nullptr, nullptr,
     "also suggest the thresholds that leave every gear's rest the most room, and the shifterctl set line "
     "that stores them",
     Complete::Nothing, false},
    {"--help", "-h", nullptr, "print this help and exit", Complete::Nothing,
     false},
    {"--version", nullptr, nullptr, "print the program's name and version and exit", Complete::Nothing, false},
    // The package installs the three scripts where each shell loads them from.
    {"--completion", nullptr, "SHELL",
     "print the completion script for SHELL (bash, zsh or fish) and exit: source <(shifterctl --completion bash)",
     Complete::Shell, false},
};

constexpr CommandSpec kCommandRows[] = {
    {"list", CommandId::List, "", Complete::Nothing, "List the attached boxes",
     "Lists every attached box, one a line: its path, product ID, model, firmware version and serial number "
     "(as --serial takes it), separated by tabs, under a header line when the output is a terminal. Nothing is "
     "opened, so a program that holds a box is not disturbed. Without a box it prints nothing (with --json: "
     "[]) and exits with 0.",
     false, {}},
    {"info", CommandId::Info, "", Complete::Nothing, "Show the box's identity, version and thresholds",
     "Shows the box the window would open: path, product ID, manufacturer, product, serial number, firmware "
     "version, report lengths and the six thresholds. With several boxes attached, the first, or the one "
     "chosen with --serial or --path.",
     true, {}},
    {"settings", CommandId::Settings, "", Complete::Nothing, "Show the six thresholds",
     "Shows the six thresholds stored in the box as one line, h1=.. h2=.. v1=.. v2=.. s1=.. s2=.., which "
     "shifterctl set takes as it stands.",
     true, {}},
    {"set", CommandId::Set, "NAME=VALUE...", Complete::Threshold, "Store thresholds, then read them back",
     "Stores the given thresholds (NAME h1 h2 v1 v2 s1 s2, VALUE {min} to {max}), then reads all six back, "
     "compares and prints them. Every value is checked before the box is touched; a pair whose lower line "
     "is not below the upper one is written only after a yes on the terminal, or with --yes. A write that "
     "breaks off says which thresholds changed, with a shifterctl set line that puts them back.",
     true, {{"--yes", "write a crossed pair without asking"}, {}}},
    {"factory-reset", CommandId::FactoryReset, "", Complete::Nothing, "Store the factory thresholds",
     "Stores the factory thresholds ({factory}), then reads them back. "
     "First says which thresholds it replaces, as a shifterctl set line that puts them back (with --json: "
     "\"replaced\" beside \"thresholds\").",
     true, {}},
    {"backup", CommandId::Backup, "FILE", Complete::File, "Save the thresholds into a calibration file",
     "Saves the six thresholds with the box's model, product ID, serial number and firmware version and the "
     "time into FILE, a small JSON calibration file (replaced if it exists).",
     true, {}},
    {"restore", CommandId::Restore, "FILE", Complete::File, "Write a calibration file's thresholds into the box",
     "Checks FILE (format and every value) before touching the box, then writes all six thresholds, reads "
     "them back and compares. A file saved from another model or another box, or one with a crossed pair, "
     "is written only after a yes on the terminal, or with --yes.",
     true, {{"--yes", "write it without asking, whichever box it came from"}, {}}},
    {"monitor", CommandId::Monitor, "", Complete::Nothing, "Print the stick's reports as they come",
     "Prints one line per stick report, x=.. y=.. gear=.. mode=H|S, until --count reports or Ctrl+C.", true,
     {{"--count", nullptr}, {"--interval", nullptr}}},
    {"gears", CommandId::Gears, "", Complete::Nothing, "Check how safely each gear sits inside its lines",
     "Records the stick's reports while you move it through every gear and back (for --seconds, or until "
     "--count reports), then prints for each gear how many reports the box decoded as it and its margin: how "
     "far the stick rests from the nearest line that bounds the gear, in counts. A gear closer than {margin} counts "
     "may drop out or flicker, and is named at risk; a gear resting where the thresholds give another zone is "
     "named a mismatch; a gear not reached, a gear the thresholds leave no zone and a crossed pair are named "
     "too. Exits with 0 only on the all-clear (every gear reached, in its own zone and at least {margin} counts "
     "inside it), otherwise with 1.",
     true, {{"--seconds", nullptr}, {"--count", "stop after N reports"}, {"--suggest", nullptr}}},
    {"check-update", CommandId::CheckUpdate, "", Complete::Nothing, "Ask which firmware the update service offers",
     "Asks the update service which firmware it offers for the box, as the window does, and prints the "
     "box's version and the offered one.",
     true, {{"--update-host", nullptr}, {}}},
    {"update", CommandId::Update, "", Complete::Nothing, "Download the offered firmware and write it",
     "Checks, downloads the offered firmware, asks (unless --yes), hands the box over to its bootloader, "
     "writes the firmware and waits for the box to come back with it, as the window does. Only the box that "
     "was checked is ever written. A calibration the new firmware did not keep is printed and put back "
     "after a yes (or with --yes). Ctrl+C while writing asks first.",
     true, {{"--yes", "install the offered firmware and put the calibration back without asking"},
            {"--update-host", nullptr}}},
    {"flash", CommandId::Flash, "FILE", Complete::File, "Write a firmware image file into the box",
     "Writes the firmware image FILE (whole {page}-byte pages, at most {image_mib} MiB) into the box through its "
     "bootloader; a box left in its update mode is written too. Asks before it writes (without a "
     "terminal it writes only with --yes). Ctrl+C while writing asks first.",
     true, {{"--yes", "write the image without asking"}, {}}},
    {"help", CommandId::Help, "[COMMAND]", Complete::Command, "Show the help of a command, or of them all",
     "Shows the help of COMMAND, or without one the help of shifterctl.", false, {}},
};

// Each id stands in exactly one row, so that every function runs one command.
constexpr bool each_id_once() {
    if (std::size(kCommandRows) != kCommandIdCount) return false;
    for (int id = 0; id < kCommandIdCount; ++id) {
        int rows = 0;
        for (const CommandSpec& c : kCommandRows) rows += static_cast<int>(c.id) == id;
        if (rows != 1) return false;
    }
    return true;
}
static_assert(each_id_once(), "every CommandId stands in exactly one row of the command table");

}  // namespace

std::span<const OptionSpec> option_table() { return kOptionRows; }

std::span<const CommandSpec> command_table() { return kCommandRows; }

}  // namespace ctl
