// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What runs one shifterctl command: the request, the streams and the box. Each
// command family keeps its commands in a file of its own.

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <functional>
#include <optional>

#include "app/shifterctl/Cli.h"
#include "app/shifterctl/CommandLine.h"
#include "calibration/BoxSession.h"
#include "calibration/BoxStore.h"
#include "device/Connection.h"
#include "update/Flasher.h"
#include "net/NetGrab.h"
#include "device/Settings.h"
#include "update/UpdateQuery.h"
#include "update/UpdateSequence.h"

namespace ctl {

inline constexpr int kDefaultInterval = 50;  // the window's polling interval with a box open
inline constexpr int kMaxInterval = 60000;

// What a failure is, as a script tells failures apart: the exit status and
// the "kind" of the JSON error.
enum class Kind { Usage, File, Several, Box, Service, Output, NoBox };

int status_of(Kind kind);
const char* kind_name(Kind kind);

QString hex4(std::uint16_t value);
// Every firmware version the command line shows, the box's and the offered
// alike, as calibration::version_text tells it: "1.06" for 0x0106.
QString version_text(std::uint16_t version);
// KEY: the version's text, KEY_number: the 16-bit number.
void insert_version(QJsonObject& o, const QString& key, std::uint16_t version);
QString model(std::uint16_t product_id);
QString thresholds_line(const device::Thresholds& t);
QJsonObject thresholds_json(const device::Thresholds& t);
QJsonObject box_json(const device::HidDeviceInfo& d);
QString box_words(const device::HidDeviceInfo& d);
// Compact JSON, with every character a terminal would act on or hide written
// as a \u escape: the same value, but harmless when printed.
QByteArray json_text(const QJsonDocument& doc);
// A count or a time in milliseconds: plain digits, within limits.
std::optional<int> parse_count(const QString& text, int minimum, int maximum);

class Cli {
public:
    Cli(device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env, Request request)
        : backend_(backend), out_(out), err_(err), env_(std::move(env)), r_(std::move(request)) {
        json_ = r_.has("--json");
        conn_.choice.path = r_.options.value("--path").toStdString();
        conn_.choice.serial = r_.options.value("--serial").toStdU16String();
    }

    // The command's status; a command that did its work but whose output did
    // not get out has failed all the same.
    int run() {
        const int status = dispatch();
        if (const device::Status& kept = session_.store_status(); !kept)
            say("shifterctl: warning: " + QString::fromStdString(kept.sentence()));
        out_.flush();
        return status == kCliOk && out_.status() != QTextStream::Ok ? output_failed() : status;
    }

private:
    int fail(Kind kind, const QString& sentence, QJsonObject extra = {});
    // A line on err for the user (progress, a warning), on a line of its own.
    void say(const QString& line);
    void emit_json(const QJsonObject& o) { out_ << json_text(QJsonDocument(o)) << Qt::endl; }
    // A reader that went away ends the command without a word; other output
    // failures are failures.
    int output_failed();
    int help_width() const;
    int arguments(int count, const char* what) {
        if (r_.arguments.size() == count) return kCliOk;
        if (count == 0) return fail(Kind::Usage, "The command " + r_.command + " takes no arguments.");
        return fail(Kind::Usage, "The command " + r_.command + " needs exactly " + what + ".");
    }

    // Finds the box as the window does, or the chosen one. A command that
    // changes a box refuses to guess among several. Answers kCliOk, or the
    // status after saying why the box cannot be used.
    int find_box(bool need_application, bool changes);
    int dispatch();
    int not_found();
    // The image FILE names, whole, or the status after saying why it cannot be
    // used. Nothing is sent to the box before it has been read.
    int read_image(const QString& path, QByteArray& image);
    int read_small_file(const QString& path, qint64 limit, QByteArray& bytes);
    // Asks before a step that cannot be undone; kCliOk to go ahead.
    int confirm(const QString& question, const QString& declined);
    // The session's questions, asked as confirm() asks; a no leaves the
    // status to return in `refusal`.
    calibration::Ask asker(int& refusal);
    // How a threshold write ended: the thresholds the box kept (under `key`,
    // beside `extra`), or why not, with what puts back what changed.
    int written(const calibration::WriteResult& r, int refusal, const char* key = "thresholds",
                QJsonObject extra = {});
    // Prints a percentage on err: in place on a terminal, else a line per tenth.
    void show_percent(int percent);
    // Ends the line a percentage is shown in place in, if one is open.
    void end_percent();
    bool stop_now(bool& warned);
    update::FlashEnvironment flash_environment(bool& warned);
    int flash_failed(const update::FlashOutcome& outcome, const QString& again);
    // The update's failure, told whole.
    int update_failed(const update::UpdateSequence& sequence);
    // The running update's stage, named on err once each.
    void tell_stage();
    // One transfer with a local event loop; Ctrl+C ends it.
    struct Transfer {
        bool ok = false;
        QByteArray bytes;
        int stopped = 0;
        QString error;  // why it failed, as the transfer says it
    };
    Transfer fetch(const QString& url, int deadline_ms, const std::function<void(qint64)>& progress,
                   qint64 max_bytes = update::kMaxImageBytes);
    // The query and the service's answer: kCliOk with offer set.
    int ask_service(update::UpdateSequence& sequence, update::Offer& offer);

    int help();
    int list();
    int info();
    int settings();
    int set();
    int factory_reset();
    int backup();
    int restore();
    int monitor();
    int gears();
    int flash();
    int check_update();
    int update();

    device::HidBackend& backend_;
    QTextStream& out_;
    QTextStream& err_;
    CliEnv env_;
    Request r_;
    bool json_ = false;
    device::DeviceConnection conn_;
    calibration::BoxStore store_{env_.store_folder};
    // Every threshold written into the box goes through it.
    calibration::BoxSession session_{conn_, &store_};
    int shown_ = -1;  // the last percentage printed
    // The time the update's waits have waited: the clock they are measured on.
    std::chrono::milliseconds waited_{0};
    update::UpdateSequence* sequence_ = nullptr;  // the update running, for its stages
    QString told_stage_;
    bool percent_line_open_ = false;
    QString host_;
};

}  // namespace ctl
