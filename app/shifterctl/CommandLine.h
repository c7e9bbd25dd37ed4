// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// shifterctl's command line: the one table of commands and the one table of
// options, from which the reader, the help and the shell completions are all
// made. Nothing here touches a box: a command's row names the function that
// runs it by an id, which the cli library maps to the function.

#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

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

// Every option, wherever it stands on the line (CommandTable.cpp).
std::span<const OptionSpec> option_table();

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

// The function that runs a command; the cli library holds one for each
// (Commands.h). Help stays last: the count is taken from it.
enum class CommandId : std::uint8_t {
    List, Info, Settings, Set, FactoryReset, Backup, Restore, Monitor, Gears, CheckUpdate, Update, Flash, Help,
};
inline constexpr int kCommandIdCount = static_cast<int>(CommandId::Help) + 1;

struct CommandSpec {
    const char* name;
    CommandId id;
    const char* arguments;  // as the synopsis shows them after the name
    Complete argument;      // what its arguments are
    const char* summary;    // one short line for the list of commands
    const char* help;       // what it does, one paragraph
    bool chooses_box;       // takes --serial and --path
    CommandOption options[3];
};

// Every command, in the order the help lists them (CommandTable.cpp).
std::span<const CommandSpec> command_table();

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
