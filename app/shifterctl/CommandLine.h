#pragma once
// shifterctl's command line: the one table of commands and the one table of
// options, and the reader that turns the words into a request. Nothing here
// touches a box.

#include <QMap>
#include <QString>
#include <QStringList>

namespace ctl {

struct OptionSpec {
    const char* name;
    bool takes_value;
};

// Every option, wherever it stands on the line. Which command takes which is
// in the command table.
inline constexpr OptionSpec kOptions[] = {
    {"--demo", false},  {"--json", false},       {"--serial", true}, {"--path", true},  {"--yes", false},
    {"--update-host", true}, {"--count", true}, {"--interval", true}, {"--help", false}, {"--version", false},
};

struct CommandSpec {
    const char* name;
    const char* synopsis;  // after "shifterctl "
    const char* help;      // what it does, a few lines
    const char* options;   // the options beyond --demo, --json and --help, blank-separated
    bool chooses_box;      // takes --serial and --path
};

const CommandSpec* find_command(const QString& name);
bool command_takes(const CommandSpec& c, const QString& option);

struct Request {
    QString command;
    QStringList arguments;
    QMap<QString, QString> options;  // name -> value ("" for a flag)
    bool has(const char* name) const { return options.contains(name); }
};

// Reads the whole line: options anywhere (NAME VALUE or NAME=VALUE), the first
// other word is the command, the rest its arguments; after "--" every word is
// an argument. Answers the sentence that says what is wrong, or empty.
QString parse_request(const QStringList& args, Request& r);

// The option as it stands before a "--", or empty.
QString option_before_separator(const QStringList& args, const QString& option);

// The help of one command.
QString command_help_text(const CommandSpec& c);

}  // namespace ctl
