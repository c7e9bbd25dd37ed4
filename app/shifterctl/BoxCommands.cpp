// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that read or change the box: list, info, settings, set,
// factory-reset, monitor; and finding the box they serve.
#include <QJsonArray>
#include <array>

#include "app/shifterctl/CliRunner.h"
#include "calibration/TerminalText.h"
#include "device/Commands.h"
#include "monitor/MonitorState.h"
#include "calibration/Readout.h"
#include "calibration/Writes.h"

namespace ctl {

int Cli::not_found() {
    // An accepted box that may not be opened says why (permissions, ...).
    if (conn_.open_error) return fail(Kind::Box, QString::fromStdString(conn_.open_error.reason));
    if (!conn_.choice.any()) {
        QStringList chosen;
        if (!conn_.choice.path.empty()) chosen << "at " + QString::fromStdString(conn_.choice.path);
        if (!conn_.choice.serial.empty())
            chosen << "with serial number " + QString::fromStdU16String(conn_.choice.serial);
        return fail(Kind::NoBox, "No box " + chosen.join(" and ") + " was found; run shifterctl list to see the "
                                                                    "attached boxes.");
    }
    return fail(Kind::NoBox, "No box was found; plug it in and try again.");
}

int Cli::find_box(bool need_application, bool changes) {
    if (changes && conn_.choice.any()) {
        const std::vector<device::HidDeviceInfo> boxes = device::accepted_boxes(backend_, env_.vendor_id);
        if (boxes.size() > 1) {
            QStringList words;
            QJsonArray listed;
            for (const device::HidDeviceInfo& d : boxes) {
                words << box_words(d);
                listed.append(box_json(d));
            }
            return fail(Kind::Several,
                        QString("%1 boxes are attached, so choose one with --serial S or --path P: %2.")
                            .arg(boxes.size())
                            .arg(words.join(", ")),
                        {{"boxes", listed}});
        }
    }
    session_.find(backend_, env_.vendor_id);
    const device::BoxClass found = device::classify(conn_);
    if (found.state == device::BoxState::Absent) return not_found();
    if (found.state == device::BoxState::NotServed) return fail(Kind::Box, QString::fromStdString(found.sentence));
    if (need_application && found.state == device::BoxState::Bootloader)
        return fail(Kind::Box,
                    "The box is in its bootloader, which keeps no thresholds and sends no stick positions; write "
                    "its firmware with shifterctl update or shifterctl flash FILE.");
    return kCliOk;
}

int Cli::list() {
    if (const int status = arguments(0, "")) return status;
    // Listed from the platform's attributes alone: nothing is opened, so other
    // programs holding a box are not disturbed.
    const std::vector<device::HidDeviceInfo> boxes = device::accepted_boxes(backend_, env_.vendor_id);
    // No box is an empty list, not a failure: the list is what was asked for.
    QJsonArray listed;
    // A person reading it on a terminal is told what the columns are; a
    // script reading a pipe gets the rows alone.
    if (!json_ && env_.output_is_terminal && !boxes.empty())
        out_ << "PATH\tPRODUCT\tMODEL\tFIRMWARE\tSERIAL\n";
    for (const device::HidDeviceInfo& d : boxes) {
        const device::HidAttributes& a = d.attributes;
        if (json_)
            listed.append(box_json(d));
        else
            out_ << QString::fromStdString(d.path) << '\t' << hex4(a.product_id) << '\t' << model(a.product_id)
                 << '\t' << version_text(a.version_number) << '\t'
                 << calibration::terminal_text(QString::fromStdU16String(d.serial)) << '\n';
    }
    if (json_) out_ << json_text(QJsonDocument(listed)) << '\n';
    out_.flush();
    return kCliOk;
}

int Cli::info() {
    if (const int status = arguments(0, "")) return status;
    if (!session_.find(backend_, env_.vendor_id)) return not_found();
    const calibration::DeviceInfo info = session_.read_info();
    const auto lease = session_.lease(false);
    // The box's strings as it sent them: exact in JSON, with anything a
    // terminal would act on shown as an escape in text.
    const auto text = [](const std::optional<QString>& s) {
        return s ? calibration::terminal_text(*s) : QString("(no answer)");
    };
    const std::uint16_t pid = static_cast<std::uint16_t>(conn_.product_id);
    if (json_) {
        const auto value = [](const std::optional<QString>& s) { return s ? QJsonValue(*s) : QJsonValue(); };
        QJsonObject o{{"path", QString::fromStdString(conn_.device_path)},
                      {"product_id", hex4(pid)},
                      {"model", model(pid)},
                      {"mode", conn_.bootloader() ? "bootloader" : "application"},
                      {"manufacturer", value(info.manufacturer_text)},
                      {"product", value(info.product_text)},
                      {"serial", value(info.serial_text)},
                      {"report_lengths", QJsonObject{{"input", conn_.hid_caps.input_report_length},
                                                     {"feature", conn_.hid_caps.feature_report_length}}},
                      {"thresholds", info.thresholds ? QJsonValue(thresholds_json(*info.thresholds)) : QJsonValue()}};
        insert_version(o, "version", conn_.hid_attributes.version_number);
        if (conn_.served() && (!conn_.application() || info.thresholds)) emit_json(o);
    } else {
        auto row = [this](const char* label, const QString& value) {
            out_ << QString(label).append(':').leftJustified(18) << value << '\n';
        };
        row("Path", QString::fromStdString(conn_.device_path));
        row("Product ID", hex4(pid) + " (" + model(pid) + ")");
        row("Manufacturer", text(info.manufacturer_text));
        row("Product", text(info.product_text));
        row("Serial number", text(info.serial_text));
        row("Firmware version", version_text(conn_.hid_attributes.version_number));
        row("Report lengths", QString("input %1, feature %2 bytes")
                                  .arg(conn_.hid_caps.input_report_length)
                                  .arg(conn_.hid_caps.feature_report_length));
        row("Window title", calibration::window_title(conn_.device_found, conn_.product_id));
        if (info.thresholds) row("Thresholds", thresholds_line(*info.thresholds));
    }
    out_.flush();
    if (!conn_.served()) return fail(Kind::Box, QString::fromStdString(conn_.serving.sentence()));
    if (conn_.application() && !info.thresholds) return fail(Kind::Box, "The box did not answer with its thresholds.");
    return kCliOk;
}

int Cli::settings() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(true, false)) return status;
    const auto lease = session_.lease(true);
    const device::Result<device::Thresholds> t = session_.read_thresholds();
    if (!t) return fail(Kind::Box, "The box did not answer with its thresholds.");
    if (json_)
        emit_json({{"thresholds", thresholds_json(*t)}});
    else
        out_ << thresholds_line(*t) << Qt::endl;
    return kCliOk;
}

int Cli::set() {
    if (r_.arguments.isEmpty())
        return fail(Kind::Usage, "The command set needs at least one NAME=VALUE (names h1 h2 v1 v2 s1 s2).");
    // Everything is checked before the box is touched: a half-applied
    // calibration is worse than none.
    std::array<std::optional<int>, device::kSettingCount> given;
    for (const QString& arg : r_.arguments) {
        const int eq = arg.indexOf('=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        int index = -1;
        for (int i = 0; i < device::kSettingCount; ++i)
            if (name == calibration::setting_name(i)) index = i;
        if (eq < 0 || index < 0)
            return fail(Kind::Usage, "\"" + arg + "\" is not NAME=VALUE with a NAME of h1 h2 v1 v2 s1 s2.");
        if (given[index]) return fail(Kind::Usage, "The threshold " + name + " is given twice.");
        const QString text = arg.mid(eq + 1);
        given[index] = parse_count(text, calibration::kMinThreshold, calibration::kMaxThreshold);
        if (!given[index])
            return fail(Kind::Usage, QString("The threshold %1 must be a whole number from %2 to %3, not \"%4\".")
                                         .arg(name)
                                         .arg(calibration::kMinThreshold)
                                         .arg(calibration::kMaxThreshold)
                                         .arg(text.left(20)));
    }
    device::Thresholds t;
    for (int i = 0; i < device::kSettingCount; ++i) t.set(i, given[i].value_or(0));
    std::vector<calibration::SettingWrite> writes;
    for (const calibration::SettingWrite& w : calibration::all_writes(t))
        if (given[w.index]) writes.push_back(w);

    if (const int status = find_box(true, true)) return status;
    const auto lease = session_.lease(true);
    // What the box holds first: the other line of a pair, and what a write
    // that breaks off would have to put back.
    if (!session_.read_thresholds())
        return fail(Kind::Box, "The box did not answer with its thresholds, so none were written.");
    int refusal = kCliOk;
    // Written first: a question declined leaves its status in `refusal`.
    const calibration::WriteResult r = session_.write(session_.plan_set(writes), asker(refusal));
    return written(r, refusal);
}

int Cli::factory_reset() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(true, true)) return status;
    const auto lease = session_.lease(true);
    // What is replaced is shown first, so that it can be put back.
    const device::Result<device::Thresholds> before = session_.read_thresholds();
    if (!before) return fail(Kind::Box, "The box did not answer with its thresholds, so they were not replaced.");
    if (!json_)
        say("Replacing " + thresholds_line(*before) + "; to put them back: shifterctl set " +
            thresholds_line(*before));
    const calibration::WriteResult r = session_.write(session_.plan_factory_reset(), {});
    return written(r, kCliOk, "thresholds", {{"replaced", thresholds_json(*before)}});
}

int Cli::monitor() {
    int count = 0;  // 0: until interrupted
    int interval = kDefaultInterval;
    if (const int status = arguments(0, "")) return status;
    if (r_.has("--count")) {
        const std::optional<int> n = parse_count(r_.options.value("--count"), 1, 999999999);
        if (!n) return fail(Kind::Usage, "--count needs a number of reports of 1 or more.");
        count = *n;
    }
    if (r_.has("--interval")) {
        const std::optional<int> n = parse_count(r_.options.value("--interval"), 1, kMaxInterval);
        if (!n) return fail(Kind::Usage, QString("--interval needs a time from 1 to %1 ms.").arg(kMaxInterval));
        interval = *n;
    }
    if (const int status = find_box(true, false)) return status;
    const auto lease = session_.lease(true);

    // A report between two gears leaves the caption as it was, as in the window.
    QString gear = "?";
    int shown = 0;
    for (;;) {
        // Every way out returns through `lease`, which lets the box go.
        if (const CliStops stops = env_.stops(); stops.count > 0) return stops.status;
        // The window's poll: what the box queued, or whether it is gone.
        const device::Poll polled = device::poll(conn_);
        if (polled == device::Poll::Gone) return fail(Kind::Box, "The box was removed.");
        if (polled == device::Poll::Reports) {
            for (const monitor::Report& r :
                 monitor::cut_batch(conn_.input_report.data(), conn_.bytes_read, conn_.hid_caps.input_report_length)) {
                if (const std::optional<std::string> c = monitor::gear_caption(r)) gear = QString::fromStdString(*c);
                const QString mode = r.sequential() ? "S" : "H";
                if (json_)
                    emit_json({{"x", r.x}, {"y", r.y}, {"gear", gear}, {"mode", mode}});
                else
                    out_ << QString("x=%1 y=%2 gear=%3 mode=%4").arg(r.x).arg(r.y).arg(gear).arg(mode) << Qt::endl;
                // A reader that went away (a closed pipe) or a full disk ends
                // the monitor, which would otherwise run on unseen for ever.
                if (out_.status() != QTextStream::Ok) return output_failed();
                if (++shown == count) return kCliOk;
            }
        }
        env_.pause(interval);
    }
}

}  // namespace ctl
