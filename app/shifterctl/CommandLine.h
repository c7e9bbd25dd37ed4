// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// shifterctl's command line: the one table of commands and the one table of
// options, from which the reader, the help and the shell completions are all
// made. Nothing here touches a box.

#include <QMap>
#include <QString>
#include <QStringList>

#include "device/Result.h"

namespace ctl {

// What a shell offers for a word.
enum class Complete { Nothing, File, Command, Threshold, BoxPath, Host, Shell };

struct OptionSpec {
    const char* name;
    const char* alias;  // a short form, or nullptr
    const char* value;  // what the value is called in the help; nullptr: a flag
    // What it does, as one phrase; "{host}" stands for the built-in update host.
    const char* help;
    Complete completes;  // its value
    bool hidden;         // read, but in no help and no completion
};

// Every option, wherever it stands on the line.
inline constexpr OptionSpec kOptions[] = {
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

// Taken by every command, and on a line without one.
inline constexpr const char* kGlobalOptions[] = {"--demo", "--json", "--help"};
// Taken by every command that serves a box.
inline constexpr const char* kBoxOptions[] = {"--serial", "--path"};
// Taken only on a line without a command.
inline constexpr const char* kProgramOptions[] = {"--version", "--completion"};

struct CommandOption {
    const char* name;  // nullptr: none
    const char* help;  // what it does for this command; nullptr: the option's own
};

struct CommandSpec {
    const char* name;
    const char* arguments;  // as the synopsis shows them after the name
    Complete argument;      // what its arguments are
    const char* summary;    // one short line for the list of commands
    const char* help;       // what it does, one paragraph
    bool chooses_box;       // takes --serial and --path
    CommandOption options[3];
};

inline constexpr CommandSpec kCommands[] = {
    {"list", "", Complete::Nothing, "List the attached boxes",
     "Lists every attached box, one a line: its path, product ID, model, firmware version and serial number "
     "(as --serial takes it), separated by tabs, under a header line when the output is a terminal. Nothing is "
     "opened, so a program that holds a box is not disturbed. Without a box it prints nothing (with --json: "
     "[]) and exits with 0.",
     false, {}},
    {"info", "", Complete::Nothing, "Show the box's identity, version and thresholds",
     "Shows the box the window would open: path, product ID, manufacturer, product, serial number, firmware "
     "version, report lengths and the six thresholds. With several boxes attached, the first, or the one "
     "chosen with --serial or --path.",
     true, {}},
    {"settings", "", Complete::Nothing, "Show the six thresholds",
     "Shows the six thresholds stored in the box as one line, h1=.. h2=.. v1=.. v2=.. s1=.. s2=.., which "
     "shifterctl set takes as it stands.",
     true, {}},
    {"set", "NAME=VALUE...", Complete::Threshold, "Store thresholds, then read them back",
     "Stores the given thresholds (NAME h1 h2 v1 v2 s1 s2, VALUE {min} to {max}), then reads all six back, "
     "compares and prints them. Every value is checked before the box is touched; a pair whose lower line "
     "is not below the upper one is written only after a yes on the terminal, or with --yes. A write that "
     "breaks off says which thresholds changed, with a shifterctl set line that puts them back.",
     true, {{"--yes", "write a crossed pair without asking"}, {}}},
    {"factory-reset", "", Complete::Nothing, "Store the factory thresholds",
     "Stores the factory thresholds ({factory}), then reads them back. "
     "First says which thresholds it replaces, as a shifterctl set line that puts them back (with --json: "
     "\"replaced\" beside \"thresholds\").",
     true, {}},
    {"backup", "FILE", Complete::File, "Save the thresholds into a calibration file",
     "Saves the six thresholds with the box's model, product ID, serial number and firmware version and the "
     "time into FILE, a small JSON calibration file (replaced if it exists).",
     true, {}},
    {"restore", "FILE", Complete::File, "Write a calibration file's thresholds into the box",
     "Checks FILE (format and every value) before touching the box, then writes all six thresholds, reads "
     "them back and compares. A file saved from another model or another box, or one with a crossed pair, "
     "is written only after a yes on the terminal, or with --yes.",
     true, {{"--yes", "write it without asking, whichever box it came from"}, {}}},
    {"monitor", "", Complete::Nothing, "Print the stick's reports as they come",
     "Prints one line per stick report, x=.. y=.. gear=.. mode=H|S, until --count reports or Ctrl+C.", true,
     {{"--count", nullptr}, {"--interval", nullptr}}},
    {"gears", "", Complete::Nothing, "Check how safely each gear sits inside its lines",
     "Records the stick's reports while you move it through every gear and back (for --seconds, or until "
     "--count reports), then prints for each gear how many reports the box decoded as it and its margin: how "
     "far the stick rests from the nearest line that bounds the gear, in counts. A gear closer than {margin} counts "
     "may drop out or flicker, and is named at risk; a gear resting where the thresholds give another zone is "
     "named a mismatch; a gear not reached, a gear the thresholds leave no zone and a crossed pair are named "
     "too. Exits with 0 only on the all-clear (every gear reached, in its own zone and at least {margin} counts "
     "inside it), otherwise with 1.",
     true, {{"--seconds", nullptr}, {"--count", "stop after N reports"}, {"--suggest", nullptr}}},
    {"check-update", "", Complete::Nothing, "Ask which firmware the update service offers",
     "Asks the update service which firmware it offers for the box, as the window does, and prints the "
     "box's version and the offered one.",
     true, {{"--update-host", nullptr}, {}}},
    {"update", "", Complete::Nothing, "Download the offered firmware and write it",
     "Checks, downloads the offered firmware, asks (unless --yes), hands the box over to its bootloader, "
     "writes the firmware and waits for the box to come back with it, as the window does. Only the box that "
     "was checked is ever written. A calibration the new firmware did not keep is printed and put back "
     "after a yes (or with --yes). Ctrl+C while writing asks first.",
     true, {{"--yes", "install the offered firmware and put the calibration back without asking"},
            {"--update-host", nullptr}}},
    {"flash", "FILE", Complete::File, "Write a firmware image file into the box",
     "Writes the firmware image FILE (whole {page}-byte pages, at most {image_mib} MiB) into the box through its "
     "bootloader; a box left in its update mode is written too. Asks before it writes (without a "
     "terminal it writes only with --yes). Ctrl+C while writing asks first.",
     true, {{"--yes", "write the image without asking"}, {}}},
    {"help", "[COMMAND]", Complete::Command, "Show the help of a command, or of them all",
     "Shows the help of COMMAND, or without one the help of shifterctl.", false, {}},
};

const OptionSpec* find_option(const QString& name);
const CommandSpec* find_command(const QString& name);
// Every option the command takes, in the order its help lists them: its own,
// the box's, then the global ones.
QStringList command_options(const CommandSpec& c);
bool command_takes(const CommandSpec& c, const QString& option);
// A help text with the numbers and the host it names filled in ({host},
// {min}, {max}, {page}, {image_mib}, {margin}, {factory}).
QString option_help_text(const char* help);

struct Request {
    // A command of the table, or empty for a line that only asks for the
    // version or a completion script.
    QString command;
    QStringList arguments;
    QMap<QString, QString> options;  // name -> value ("" for a flag); aliases read as their name
    bool has(const char* name) const { return options.contains(name); }
    bool operator==(const Request&) const = default;
};

// Reads the whole line: options anywhere (NAME VALUE or NAME=VALUE), each at
// most once; the first other word is the command, the rest its arguments;
// after "--" every word is an argument. COMMAND --help is help COMMAND. An
// accepted request names a command of the table (or none, with --version or
// --completion) and only options that command takes. A refusal is a fault
// whose sentence says what is wrong.
device::Result<Request> read_command_line(const QStringList& args);

// The words that read_command_line turns into this request again.
QStringList command_line_words(const Request& r);

// The option as it stands before a "--", or empty.
QString option_before_separator(const QStringList& args, const QString& option);

// The candidate that a mistyped word most likely meant, or empty when none is
// close: one it begins, or one at most two typing slips away.
QString nearest(const QString& word, const QStringList& candidates);

// The help of the program and of one command, wrapped at `width` columns.
QString usage_text(int width);
QString command_help_text(const CommandSpec& c, int width);
// The manual page's sections made from the tables (synopsis, description, a
// section per command, options, exit status), in roff, dated `date`.
QString manual_page(const QString& date);

// The completion script for "bash", "zsh" or "fish"; empty for another shell.
QString completion_script(const QString& shell);

}  // namespace ctl
