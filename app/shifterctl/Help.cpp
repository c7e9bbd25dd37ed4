// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The help of shifterctl and of each command, made from the tables and
// wrapped to the width it is shown in. help2man makes the manual page from
// the program's help, so its headings are the ones help2man knows.
#include "app/shifterctl/CommandLine.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "BuildConfig.h"

namespace ctl {

namespace {

constexpr int kListColumn = 24;  // where a description starts in a list

// The words of `text` from column `start` on, the lines after the first
// indented by `indent`, none past `width` unless a single word is longer.
QString fill(const QString& text, int width, int indent, int start) {
    QString out;
    int column = start;
    bool line_empty = true;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        if (!line_empty && column + 1 + word.size() > width) {
            out += '\n' + QString(indent, ' ');
            column = indent;
            line_empty = true;
        }
        if (!line_empty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += static_cast<int>(word.size());
        line_empty = false;
    }
    return out + '\n';
}

QString paragraph(const QString& text, int width) { return fill(text, width, 0, 0); }

// "  LABEL   text", the text wrapped under itself; a long label takes a line
// of its own.
QString item(const QString& label, const QString& text, int width, int column = kListColumn) {
    const QString head = "  " + label;
    if (head.size() + 2 > column) return head + '\n' + QString(column, ' ') + fill(text, width, column, column);
    return head.leftJustified(column) + fill(text, width, column, column);
}

QString option_label(const OptionSpec& o) {
    QString label = o.alias ? QString(o.alias) + ", " + o.name : QString(o.name);
    return o.value ? label + " " + o.value : label;
}

QString command_label(const CommandSpec& c) {
    return *c.arguments ? QString(c.name) + " " + c.arguments : QString(c.name);
}

// The commands that take an option, when they are only a few.
QString taken_by(const OptionSpec& o) {
    QStringList names;
    for (const CommandSpec& c : command_table())
        if (command_takes(c, o.name)) names << c.name;
    return names.isEmpty() || names.size() > 3 ? QString() : names.join(", ") + ": ";
}

// What shifterctl is, for the help and the manual page alike.
constexpr const char* kAbout[] = {
    "Serves the shifter interface box from a terminal or a script, through the same code as the window "
    "shiftercal; no display is needed. Options may come before or after the command; after -- every word is an "
    "argument. Results go to standard output; progress, questions, warnings and errors to standard error.",
    "With several boxes attached and none chosen, the commands that only read (info, settings, backup, monitor, "
    "gears, check-update) take the first, as the window does; those that change a box (set, factory-reset, "
    "restore, update, flash) refuse and list the boxes. A question (restore onto another box, update) is asked "
    "on the terminal; without a terminal and without --yes the command refuses.",
    "The calibration file of backup and restore is one JSON object: {\"format\": \"shifter-calibration\", "
    "\"version\": 1, \"saved\": UTC TIME, \"box\": {\"model\", \"product_id\", \"serial\", \"firmware\"}, "
    "\"thresholds\": {\"h1\", \"h2\", \"v1\", \"v2\", \"s1\", \"s2\"}}, each threshold {min} to {max}; a box "
    "without a serial number also has its \"path\" on the bus. A FILE of - "
    "is the standard output for backup and the standard input for restore.",
};

constexpr std::pair<const char*, const char*> kExitStatuses[] = {
    {"0", "done (list also without a box)"},
    {"1", "the box refused, failed or went away, the update service failed, or the output cannot be written "
          "(kinds box, update-service, output); for gears also: the check gave no all-clear, a gear sits too "
          "close to a line"},
    {"2", "the command line or a file cannot be used, a question was declined or cannot be asked, or several "
          "boxes are attached and none is chosen; nothing was sent (kinds usage, file, several-boxes)"},
    {"3", "no box was found, or not the chosen one (kind no-box)"},
    {"130", "stopped by Ctrl+C, 143 by a termination request (kind stopped); Ctrl+C while firmware is written "
            "asks first, since a box stopped halfway waits in its update mode"},
    {"141", "the reader of the output went away (a closed pipe); nothing more is said"},
};

constexpr const char* kUsageLines[] = {"[OPTIONS] COMMAND [ARGUMENTS]", "COMMAND --help", "--version",
                                       "--completion SHELL"};

}  // namespace

QString usage_text(int width) {
    QString text;
    for (const char* line : kUsageLines) text += QString(text.isEmpty() ? "Usage: " : "  or:  ") + "shifterctl " + line + '\n';
    for (std::size_t i = 0; i < std::size(kAbout); ++i) text += (i ? "\n" : "") + paragraph(option_help_text(kAbout[i]), width);
    text += "\nCommands:\n";
    for (const CommandSpec& c : command_table()) text += item(command_label(c), c.summary, width);
    text += "\nOptions:\n";
    for (const OptionSpec& o : option_table())
        if (!o.hidden) text += item(option_label(o), taken_by(o) + option_help_text(o.help), width);
    text += "\nExit status:\n";
    for (const auto& [status, meaning] : kExitStatuses) text += item(status, meaning, width, 7);
    return text;
}

QString command_help_text(const CommandSpec& c, int width) {
    QString text = QString("Usage: shifterctl %1 [OPTIONS]%2%3\n\n")
                       .arg(c.name, *c.arguments ? " " : "", c.arguments);
    text += paragraph(option_help_text(c.help), width);
    text += "\nOptions:\n";
    for (const QString& name : command_options(c)) {
        const OptionSpec& o = *find_option(name);
        const char* help = o.help;
        for (const CommandOption& own : c.options)
            if (own.name && name == own.name && own.help) help = own.help;
        text += item(option_label(o), option_help_text(help), width);
    }
    return text + "\n" + paragraph("Run shifterctl --help for the exit status.", width);
}

namespace {

// Text for roff: a backslash, a minus and a line's leading dot or quote
// escaped.
QString roff(const QString& text) {
    QString out = QString(text).replace('\\', "\\e").replace('-', "\\-");
    if (out.startsWith('.') || out.startsWith('\'')) out.prepend("\\&");
    return out;
}

QString roff_synopsis(const QString& words) {
    QString out;
    for (const QString& word : words.split(' ', Qt::SkipEmptyParts)) {
        const bool literal = word.startsWith('-') || word.at(0).isLower();
        out += (out.isEmpty() ? "" : " ") + QString(literal ? "\\fB%1\\fR" : "\\fI%1\\fR").arg(roff(word));
    }
    return out;
}

QString roff_item(const QString& label, const QString& text) { return ".TP\n" + label + "\n" + roff(text) + "\n"; }

QString option_roff_label(const OptionSpec& o) {
    QString label = "\\fB" + roff(o.alias ? QString(o.alias) + ", " + o.name : QString(o.name)) + "\\fR";
    return o.value ? label + " \\fI" + roff(o.value) + "\\fR" : label;
}

}  // namespace

QString manual_page(const QString& date) {
    QString page = QString(".TH SHIFTERCTL 1 \"%1\" \"shifterctl %2\" \"User Commands\"\n").arg(date, buildcfg::kVersion);
    page += ".SH NAME\nshifterctl \\- serve the shifter interface box from a terminal or a script\n";
    page += ".SH SYNOPSIS\n";
    for (const char* line : kUsageLines) page += ".B shifterctl\n" + roff_synopsis(line) + "\n.br\n";
    page += ".SH DESCRIPTION\n";
    for (std::size_t i = 0; i < std::size(kAbout); ++i) page += (i ? ".PP\n" : "") + roff(option_help_text(kAbout[i])) + "\n";

    page += ".SH COMMANDS\n";
    for (const CommandSpec& c : command_table()) {
        page += ".SS \"" + roff(c.name) + "\"\n.B shifterctl " + roff(c.name) + "\n[\\fIOPTIONS\\fR]" +
                (*c.arguments ? " " + roff_synopsis(c.arguments) : QString()) + "\n.PP\n" + roff(c.help) + "\n";
        // Its own options and the box's; those every command takes are under OPTIONS.
        for (const QString& name : command_options(c)) {
            if (std::find(std::begin(kGlobalOptions), std::end(kGlobalOptions), name) != std::end(kGlobalOptions))
                continue;
            const OptionSpec& o = *find_option(name);
            const char* help = o.help;
            for (const CommandOption& own : c.options)
                if (own.name && name == own.name && own.help) help = own.help;
            page += roff_item(option_roff_label(o), option_help_text(help));
        }
    }
    page += ".SH OPTIONS\n";
    for (const OptionSpec& o : option_table())
        if (!o.hidden) page += roff_item(option_roff_label(o), taken_by(o) + option_help_text(o.help));
    page += ".SH \"EXIT STATUS\"\n";
    for (const auto& [status, meaning] : kExitStatuses) page += roff_item(QString("\\fB%1\\fR").arg(status), meaning);
    return page;
}

}  // namespace ctl
