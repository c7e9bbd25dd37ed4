// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shifterctl/CommandLine.h"

#include <algorithm>
#include <vector>

#include "BuildConfig.h"
#include "app/shifterctl/Cli.h"
#include "device/Commands.h"
#include "monitor/GearCheck.h"
#include "device/Settings.h"
#include "update/UpdateQuery.h"
#include "calibration/Words.h"
#include "calibration/Writes.h"

namespace ctl {

namespace {

device::Status usage(const QString& sentence) { return {device::Fault::OutOfRange, sentence.toStdString()}; }

QStringList visible_commands() {
    QStringList names;
    for (const CommandSpec& c : command_table()) names << c.name;
    return names;
}

QStringList visible_options() {
    QStringList names;
    for (const OptionSpec& o : option_table())
        if (!o.hidden) names << o.name;
    return names;
}

// Optimal string alignment distance: insertions, deletions, substitutions and
// swaps of two neighbours, the slips a hand makes on a keyboard.
int typing_distance(const QString& a, const QString& b) {
    const qsizetype n = a.size();
    const qsizetype m = b.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (qsizetype i = 0; i <= n; ++i) d[i][0] = static_cast<int>(i);
    for (qsizetype j = 0; j <= m; ++j) d[0][j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

// " (did you mean info?)" or nothing.
QString suggestion(const QString& word, const QStringList& candidates) {
    const QString near = nearest(word, candidates);
    return near.isEmpty() ? QString() : " (did you mean " + near + "?)";
}

}  // namespace

const OptionSpec* find_option(const QString& name) {
    for (const OptionSpec& o : option_table())
        if (name == o.name || (o.alias && name == o.alias)) return &o;
    return nullptr;
}

const CommandSpec* find_command(const QString& name) {
    for (const CommandSpec& c : command_table())
        if (name == c.name) return &c;
    return nullptr;
}

QStringList command_options(const CommandSpec& c) {
    QStringList names;
    for (const CommandOption& o : c.options)
        if (o.name) names << o.name;
    if (c.chooses_box)
        for (const char* name : kBoxOptions) names << name;
    for (const char* name : kGlobalOptions) names << name;
    return names;
}

bool command_takes(const CommandSpec& c, const QString& option) { return command_options(c).contains(option); }

QString option_help_text(const char* help) {
    // The numbers the help names come from the constants that hold them.
    return QString(help)
        .replace("{host}", buildcfg::kUpdateHost)
        .replace("{min}", QString::number(device::kMinThreshold))
        .replace("{max}", QString::number(device::kMaxThreshold))
        .replace("{page}", QString::number(device::kFirmwarePageSize))
        .replace("{image_mib}", QString::number(update::kMaxImageBytes / (1024 * 1024)))
        .replace("{margin}", QString::number(monitor::kMarginLimit))
        .replace("{factory}", QString::fromStdString(calibration::thresholds_line(calibration::factory_thresholds())));
}

device::Result<Request> read_command_line(const QStringList& args) {
    Request r;
    bool options_end = false;
    bool command_given = false;  // an empty word is a command too, an unknown one
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!options_end && a == "--") {
            options_end = true;
            continue;
        }
        if (options_end || a.size() < 2 || !a.startsWith('-')) {
            if (command_given)
                r.arguments << a;
            else
                r.command = a;
            command_given = true;
            continue;
        }
        const qsizetype eq = a.indexOf('=');
        const QString given = eq < 0 ? a : a.left(eq);
        const OptionSpec* option = find_option(given);
        if (!option)
            return usage("Unknown option \"" + a + "\"" + suggestion(given, visible_options()) +
                         "; run shifterctl --help to see the options.");
        const QString name = option->name;
        if (r.options.contains(name)) return usage("The option " + name + " is given twice.");
        QString value;
        if (option->value) {
            if (eq >= 0)
                value = a.mid(eq + 1);
            else if (i + 1 < args.size())
                value = args[++i];
            if (value.isEmpty()) return usage("The option " + name + " needs a value.");
        } else if (eq >= 0) {
            return usage("The option " + name + " takes no value.");
        }
        r.options.insert(name, value);
    }

    // Asking for the version or a completion script stands alone.
    for (const char* name : kProgramOptions)
        if (r.options.contains(name) && command_given)
            return usage(QString("The option %1 stands alone: shifterctl %1%2.")
                             .arg(name, find_option(name)->value ? QString(" ") + find_option(name)->value : ""));
    if (!command_given) {
        if (r.has("--version") || r.has("--completion")) return r;
        if (!r.has("--help")) return usage("No command given; run shifterctl --help to see the commands.");
        r.command = "help";
    }
    const CommandSpec* entry = find_command(r.command);
    if (!entry)
        return usage("Unknown command \"" + r.command + "\"" + suggestion(r.command, visible_commands()) +
                     "; run shifterctl --help to see the commands.");
    for (auto it = r.options.cbegin(); it != r.options.cend(); ++it)
        if (!command_takes(*entry, it.key()))
            return usage("The command " + r.command + " takes no option " + it.key() + ".");
    if (r.has("--help")) {
        // The help of a command, whatever else the line holds for it.
        if (r.command != "help") r.arguments = QStringList{r.command};
        r.command = "help";
        for (const QString& name : r.options.keys())
            if (!command_takes(*find_command("help"), name) || name == "--help") r.options.remove(name);
    }
    if (r.command == "help" && !r.arguments.isEmpty() && !find_command(r.arguments.front()))
        return usage("Unknown command \"" + r.arguments.front() + "\"" +
                     suggestion(r.arguments.front(), visible_commands()) +
                     "; run shifterctl --help to see the commands.");
    return r;
}

QStringList command_line_words(const Request& r) {
    QStringList words;
    for (auto it = r.options.cbegin(); it != r.options.cend(); ++it) {
        words << it.key();
        if (find_option(it.key())->value) words << it.value();
    }
    if (r.command.isEmpty()) return words;
    return words << "--" << r.command << r.arguments;
}

QString option_before_separator(const QStringList& args, const QString& option) {
    for (const QString& a : args) {
        if (a == "--") break;
        if (a == option) return a;
    }
    return {};
}

QString nearest(const QString& word, const QStringList& candidates) {
    // A beginning of two or more letters that fits one candidate only.
    QStringList begun;
    for (const QString& c : candidates)
        if (word.size() >= 2 && c.startsWith(word)) begun << c;
    if (begun.size() == 1) return begun.front();
    QString best;
    int best_distance = 3;
    for (const QString& c : candidates) {
        const int d = typing_distance(word, c);
        // Not a word made over from scratch: "ab" is two slips from "set".
        if (d < best_distance && d < word.size()) {
            best = c;
            best_distance = d;
        }
    }
    return best;
}

}  // namespace ctl

using namespace ctl;

bool cli_wants_demo(const QStringList& args) { return !option_before_separator(args, "--demo").isEmpty(); }

bool cli_wants_update_service(const QStringList& args) {
    const device::Result<Request> r = read_command_line(args);
    if (!r || r->command.isEmpty()) return false;
    const CommandId id = find_command(r->command)->id;
    return id == CommandId::CheckUpdate || id == CommandId::Update;
}
