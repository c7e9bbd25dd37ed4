#include "CommandLine.h"

#include "BuildConfig.h"
#include "Cli.h"

namespace ctl {

namespace {

constexpr CommandSpec kCommands[] = {
    {"list", "list",
     "Lists every attached box: path, product ID, model, firmware version. Nothing is opened.\n", "", false},
    {"info", "info",
     "Shows the box the window would open: path, product ID, manufacturer, product, serial number, firmware\n"
     "version, report lengths and the six thresholds. With several boxes, the first (or the chosen one).\n",
     "", true},
    {"settings", "settings", "Shows the six thresholds stored in the box.\n", "", true},
    {"set", "set NAME=VALUE ... [--yes]",
     "Stores the given thresholds (h1 h2 v1 v2 s1 s2; 0 to 255), then reads all six back and compares. A\n"
     "pair whose lower line is not below the upper one is written only after a yes, or with --yes.\n",
     "--yes", true},
    {"factory-reset", "factory-reset",
     "Stores the factory thresholds, then reads them back. First prints the thresholds it replaces, as a\n"
     "shifterctl set line that puts them back (with --json: \"replaced\" beside \"thresholds\").\n",
     "", true},
    {"backup", "backup FILE",
     "Saves the six thresholds with the box's model, product ID, serial number and firmware version and the\n"
     "time into FILE, a small JSON calibration file (replaced if it exists).\n",
     "", true},
    {"restore", "restore FILE [--yes]",
     "Checks FILE (format and every value) before touching the box, then writes all six thresholds, reads\n"
     "them back and compares. A file saved from another model or another box, or with a crossed pair, is\n"
     "written only after a yes on the terminal, or with --yes.\n",
     "--yes", true},
    {"monitor", "monitor [--count N] [--interval MS]",
     "One line per stick report (x, y, gear, mode), polled every MS (50) ms, until N reports or Ctrl+C.\n",
     "--count --interval", true},
    {"check-update", "check-update [--update-host HOST[:PORT]]",
     "Asks the update service which firmware it offers for the box, as the window does, and prints the\n"
     "box's version and the offered one.\n",
     "--update-host", true},
    {"update", "update [--yes] [--update-host HOST[:PORT]]",
     "Checks, downloads the offered firmware, asks (unless --yes), hands the box over to its bootloader,\n"
     "writes the firmware and waits for the box to come back with it, as the window does. A calibration\n"
     "the new firmware did not keep is printed and put back after a yes (or with --yes). Ctrl+C while\n"
     "writing asks first.\n",
     "--yes --update-host", true},
    {"flash", "flash FILE", "Writes a firmware image (whole 40-byte pages) into the box.\n", "", true},
    {"help", "help [COMMAND]", "Shows the help of a command, or of them all.\n", "", false},
};

}  // namespace

const CommandSpec* find_command(const QString& name) {
    for (const CommandSpec& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

bool command_takes(const CommandSpec& c, const QString& option) {
    if (option == "--demo" || option == "--json" || option == "--help") return true;
    if (option == "--serial" || option == "--path") return c.chooses_box;
    return QString(c.options).split(' ', Qt::SkipEmptyParts).contains(option);
}

QString parse_request(const QStringList& args, Request& r) {
    bool options_end = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!options_end && a == "--") {
            options_end = true;
            continue;
        }
        if (options_end || a.size() < 2 || !a.startsWith('-')) {
            if (r.command.isEmpty())
                r.command = a;
            else
                r.arguments << a;
            continue;
        }
        const int eq = a.indexOf('=');
        QString name = eq < 0 ? a : a.left(eq);
        if (name == "-h") name = "--help";
        const OptionSpec* option = nullptr;
        for (const OptionSpec& o : kOptions)
            if (name == o.name) option = &o;
        if (!option) return "Unknown option \"" + a + "\"; run shifterctl --help to see the options.";
        if (r.options.contains(name)) return "The option " + name + " is given twice.";
        QString value;
        if (option->takes_value) {
            if (eq >= 0)
                value = a.mid(eq + 1);
            else if (i + 1 < args.size())
                value = args[++i];
            else
                return "The option " + name + " needs a value.";
            if (value.isEmpty()) return "The option " + name + " needs a value.";
        } else if (eq >= 0) {
            return "The option " + name + " takes no value.";
        }
        r.options.insert(name, value);
    }
    return {};
}

QString option_before_separator(const QStringList& args, const QString& option) {
    for (const QString& a : args) {
        if (a == "--") break;
        if (a == option) return a;
    }
    return {};
}

QString command_help_text(const CommandSpec& c) {
    QString text = QString("Usage: shifterctl [OPTIONS] ") + c.synopsis + "\n\n" + c.help;
    text += QString("\nOptions: --demo, --json") + (c.chooses_box ? ", --serial S, --path P" : "");
    for (const QString& o : QString(c.options).split(' ', Qt::SkipEmptyParts)) text += ", " + o;
    text += ".\nRun shifterctl --help for what the options do and the exit status.\n";
    return text;
}

}  // namespace ctl

using namespace ctl;

bool cli_wants_demo(const QStringList& args) { return !option_before_separator(args, "--demo").isEmpty(); }

bool cli_wants_update_service(const QStringList& args) {
    Request r;
    if (!parse_request(args, r).isEmpty()) return false;
    return r.command == "check-update" || r.command == "update";
}

QString cli_usage_text() {
    QString commands;
    for (const CommandSpec& c : kCommands) {
        const QString head = QString("  ") + c.synopsis;
        commands += head.size() < 22 ? head.leftJustified(23) : head + "\n" + QString(23, ' ');
        commands += QString(c.help).trimmed().replace("\n", "\n" + QString(23, ' ')) + "\n";
    }
    return "Usage: shifterctl [OPTIONS] COMMAND [ARGUMENTS]\n"
           "       shifterctl help [COMMAND]  |  shifterctl COMMAND --help\n"
           "       shifterctl --version | --help\n"
           "Options may come before or after the command; after -- every word is an argument.\n"
           "\n"
           "Commands:\n" +
           commands +
           "\n"
           "Options:\n"
           "  --demo                 serve an emulated box (and for check-update and update its own update\n"
           "                         service on 127.0.0.1) instead of a real one\n"
           "  --json                 print JSON instead of text: one object (list: one array; monitor: one\n"
           "                         object per report; update and flash: one per tenth of progress); a\n"
           "                         failure is also the object {\"error\": SENTENCE, \"kind\": KIND}\n"
           "  --serial S             the box with serial number S\n"
           "  --path P               the box at path P (as list shows it)\n"
           "  --yes                  restore, update: go ahead without asking\n"
           "  --update-host HOST[:PORT]\n"
           "                         ask this update service (default " +
           QString(buildcfg::kUpdateHost) +
           ")\n"
           "  --count N              monitor: stop after N reports\n"
           "  --interval MS          monitor: poll every MS milliseconds (1 to 60000)\n"
           "  --version              print the version and exit\n"
           "  --help                 print this text (with a command: its help) and exit\n"
           "\n"
           "With several boxes attached and none chosen, commands that only read (info, settings, backup,\n"
           "monitor, check-update) take the first, as the window does; commands that change a box (set,\n"
           "factory-reset, restore, update, flash) refuse and list the boxes. A question (restore onto\n"
           "another box, update) is asked on the terminal; without a terminal and without --yes the command\n"
           "refuses.\n"
           "\n"
           "Calibration file (backup, restore): one JSON object, {\"format\": \"shifter-calibration\",\n"
           "\"version\": 1, \"saved\": UTC TIME, \"box\": {\"model\", \"product_id\", \"serial\", \"firmware\"},\n"
           "\"thresholds\": {\"h1\", \"h2\", \"v1\", \"v2\", \"s1\", \"s2\"}}, each threshold 0 to 255.\n"
           "\n"
           "Exit status:\n"
           "  0    done\n"
           "  1    the box refused, failed or went away, the update service failed, or the output cannot be\n"
           "       written (kinds box, update-service, output)\n"
           "  2    the command line or a file cannot be used, a question was declined or cannot be asked, or\n"
           "       several boxes are attached and none is chosen; nothing was sent (kinds usage, file,\n"
           "       several-boxes)\n"
           "  3    no box was found, or not the chosen one (kind no-box)\n"
           "  130  stopped by Ctrl+C; 143 by a termination request\n"
           "Ctrl+C while firmware is written asks first, since a box stopped halfway waits in its update mode.\n";
}
