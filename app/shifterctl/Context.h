// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one shifterctl command runs with: the request, the streams, the
// environment and the box it serves; and what every command family shares
// over it: failures, questions, progress and finding the box.

#include <QJsonObject>
#include <QTextStream>

#include "app/shifterctl/Cli.h"
#include "app/shifterctl/CommandLine.h"
#include "calibration/BoxSession.h"
#include "calibration/BoxStore.h"
#include "device/Connection.h"

namespace ctl {

inline constexpr int kDefaultInterval = 50;  // the window's polling interval with a box open
inline constexpr int kMaxInterval = 60000;

// What a failure is, as a script tells failures apart: the exit status and
// the "kind" of the JSON error.
enum class Kind { Usage, File, Several, Box, Service, Output, NoBox };

int status_of(Kind kind);
const char* kind_name(Kind kind);

struct Context {
    Context(device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env, Request request);
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    device::HidBackend& backend;
    QTextStream& out;  // results
    QTextStream& err;  // progress, questions, warnings and errors
    CliEnv env;
    Request request;
    bool json = false;     // --json: results and failures as JSON objects on out
    QString update_host;   // the update service asked
    device::DeviceConnection conn;
    calibration::BoxStore store{env.store_folder};
    // Every threshold written into the box goes through it.
    calibration::BoxSession session{conn, &store};
    // The percentage shown on err.
    struct Progress {
        int shown = -1;          // the last percentage printed
        bool line_open = false;  // shown in place, on a line not yet ended
    } progress;
};

// A failure: one sentence on err, and with --json the object {"error",
// "kind"} (beside `extra`) on out. Answers the exit status.
int fail(Context& c, Kind kind, const QString& sentence, QJsonObject extra = {});
// A line on err for the user (progress, a warning), on a line of its own.
void say(Context& c, const QString& line);
void emit_json(Context& c, const QJsonObject& o);
// A reader that went away ends the command without a word; other output
// failures are failures.
int output_failed(Context& c);
// kCliOk when the command was given `count` arguments, else the usage failure.
int arguments(Context& c, int count, const char* what);
// Prints a percentage on err: in place on a terminal, else a line per tenth.
void show_percent(Context& c, int percent);
// Ends the line a percentage is shown in place in, if one is open.
void end_percent(Context& c);

// Finds the box as the window does, or the chosen one. A command that
// changes a box refuses to guess among several. Answers kCliOk, or the
// status after saying why the box cannot be used.
int find_box(Context& c, bool need_application, bool changes);
int not_found(Context& c);
// Asks before a step that cannot be undone; kCliOk to go ahead.
int confirm(Context& c, const QString& question, const QString& declined);
// The session's questions, asked as confirm() asks; a no leaves the status
// to return in `refusal`.
calibration::Ask asker(Context& c, int& refusal);
// How a threshold write ended: the thresholds the box kept (under `key`,
// beside `extra`), or why not, with what puts back what changed.
int written(Context& c, const calibration::WriteResult& r, int refusal, const char* key = "thresholds",
            QJsonObject extra = {});

}  // namespace ctl
