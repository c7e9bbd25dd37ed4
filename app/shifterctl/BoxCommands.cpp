// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that read or change the box: list, info, settings, set,
// factory-reset, monitor.
#include <QJsonArray>
#include <array>

#include "app/shifterctl/Commands.h"
#include "app/shifterctl/Context.h"
#include "app/shifterctl/Output.h"
#include "calibration/TerminalText.h"
#include "device/Commands.h"
#include "monitor/MonitorState.h"
#include "calibration/Readout.h"
#include "calibration/Writes.h"

namespace ctl::box {

int list(Context& c) {
    if (const int status = arguments(c, 0, "")) return status;
    // Listed from the platform's attributes alone: nothing is opened, so other
    // programs holding a box are not disturbed.
    const std::vector<device::HidDeviceInfo> boxes = device::accepted_boxes(c.backend, c.env.vendor_id);
    // No box is an empty list, not a failure: the list is what was asked for.
    QJsonArray listed;
    // A person reading it on a terminal is told what the columns are; a
    // script reading a pipe gets the rows alone.
    if (!c.json && c.env.output_is_terminal && !boxes.empty())
        c.out << "PATH\tPRODUCT\tMODEL\tFIRMWARE\tSERIAL\n";
    for (const device::HidDeviceInfo& d : boxes) {
        const device::HidAttributes& a = d.attributes;
        if (c.json)
            listed.append(box_json(d));
        else
            c.out << QString::fromStdString(d.path) << '\t' << hex4(a.product_id) << '\t' << model(a.product_id)
                  << '\t' << version_text(a.version_number) << '\t'
                  << calibration::terminal_text(QString::fromStdU16String(d.serial)) << '\n';
    }
    if (c.json) c.out << json_text(QJsonDocument(listed)) << '\n';
    c.out.flush();
    return kCliOk;
}

int info(Context& c) {
    if (const int status = arguments(c, 0, "")) return status;
    if (!c.session.find(c.backend, c.env.vendor_id)) return not_found(c);
    const calibration::DeviceInfo info = c.session.read_info();
    const auto lease = c.session.lease(false);
    // The box's strings as it sent them: exact in JSON, with anything a
    // terminal would act on shown as an escape in text.
    const auto text = [](const std::optional<QString>& s) {
        return s ? calibration::terminal_text(*s) : QString("(no answer)");
    };
    const std::uint16_t pid = static_cast<std::uint16_t>(c.conn.product_id);
    if (c.json) {
        const auto value = [](const std::optional<QString>& s) { return s ? QJsonValue(*s) : QJsonValue(); };
        QJsonObject o{{"path", QString::fromStdString(c.conn.device_path)},
                      {"product_id", hex4(pid)},
                      {"model", model(pid)},
                      {"mode", c.conn.bootloader() ? "bootloader" : "application"},
                      {"manufacturer", value(info.manufacturer_text)},
                      {"product", value(info.product_text)},
                      {"serial", value(info.serial_text)},
                      {"report_lengths", QJsonObject{{"input", c.conn.hid_caps.input_report_length},
                                                     {"feature", c.conn.hid_caps.feature_report_length}}},
                      {"thresholds", info.thresholds ? QJsonValue(thresholds_json(*info.thresholds)) : QJsonValue()}};
        insert_version(o, "version", c.conn.hid_attributes.version_number);
        if (c.conn.served() && (!c.conn.application() || info.thresholds)) emit_json(c, o);
    } else {
        auto row = [&c](const char* label, const QString& value) {
            c.out << QString(label).append(':').leftJustified(18) << value << '\n';
        };
        row("Path", QString::fromStdString(c.conn.device_path));
        row("Product ID", hex4(pid) + " (" + model(pid) + ")");
        row("Manufacturer", text(info.manufacturer_text));
        row("Product", text(info.product_text));
        row("Serial number", text(info.serial_text));
        row("Firmware version", version_text(c.conn.hid_attributes.version_number));
        row("Report lengths", QString("input %1, feature %2 bytes")
                                  .arg(c.conn.hid_caps.input_report_length)
                                  .arg(c.conn.hid_caps.feature_report_length));
        row("Window title", calibration::window_title(c.conn.device_found, c.conn.product_id));
        if (info.thresholds) row("Thresholds", thresholds_line(*info.thresholds));
    }
    c.out.flush();
    if (!c.conn.served()) return fail(c, Kind::Box, QString::fromStdString(c.conn.serving.sentence()));
    if (c.conn.application() && !info.thresholds) return fail(c, Kind::Box, "The box did not answer with its thresholds.");
    return kCliOk;
}

int settings(Context& c) {
    if (const int status = arguments(c, 0, "")) return status;
    if (const int status = find_box(c, true, false)) return status;
    const auto lease = c.session.lease(true);
    const device::Result<device::Thresholds> t = c.session.read_thresholds();
    if (!t) return fail(c, Kind::Box, "The box did not answer with its thresholds.");
    if (c.json)
        emit_json(c, {{"thresholds", thresholds_json(*t)}});
    else
        c.out << thresholds_line(*t) << Qt::endl;
    return kCliOk;
}

int set(Context& c) {
    if (c.request.arguments.isEmpty())
        return fail(c, Kind::Usage, "The command set needs at least one NAME=VALUE (names h1 h2 v1 v2 s1 s2).");
    // Everything is checked before the box is touched: a half-applied
    // calibration is worse than none.
    std::array<std::optional<int>, device::kSettingCount> given;
    for (const QString& arg : c.request.arguments) {
        const int eq = arg.indexOf('=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        int index = -1;
        for (int i = 0; i < device::kSettingCount; ++i)
            if (name == calibration::setting_name(i)) index = i;
        if (eq < 0 || index < 0)
            return fail(c, Kind::Usage, "\"" + arg + "\" is not NAME=VALUE with a NAME of h1 h2 v1 v2 s1 s2.");
        if (given[index]) return fail(c, Kind::Usage, "The threshold " + name + " is given twice.");
        const QString text = arg.mid(eq + 1);
        given[index] = parse_count(text, calibration::kMinThreshold, calibration::kMaxThreshold);
        if (!given[index])
            return fail(c, Kind::Usage, QString("The threshold %1 must be a whole number from %2 to %3, not \"%4\".")
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

    if (const int status = find_box(c, true, true)) return status;
    const auto lease = c.session.lease(true);
    // What the box holds first: the other line of a pair, and what a write
    // that breaks off would have to put back.
    if (!c.session.read_thresholds())
        return fail(c, Kind::Box, "The box did not answer with its thresholds, so none were written.");
    int refusal = kCliOk;
    // Written first: a question declined leaves its status in `refusal`.
    const calibration::WriteResult r = c.session.write(c.session.plan_set(writes), asker(c, refusal));
    return written(c, r, refusal);
}

int factory_reset(Context& c) {
    if (const int status = arguments(c, 0, "")) return status;
    if (const int status = find_box(c, true, true)) return status;
    const auto lease = c.session.lease(true);
    // What is replaced is shown first, so that it can be put back.
    const device::Result<device::Thresholds> before = c.session.read_thresholds();
    if (!before) return fail(c, Kind::Box, "The box did not answer with its thresholds, so they were not replaced.");
    if (!c.json)
        say(c, "Replacing " + thresholds_line(*before) + "; to put them back: shifterctl set " +
            thresholds_line(*before));
    const calibration::WriteResult r = c.session.write(c.session.plan_factory_reset(), {});
    return written(c, r, kCliOk, "thresholds", {{"replaced", thresholds_json(*before)}});
}

int monitor(Context& c) {
    int count = 0;  // 0: until interrupted
    int interval = kDefaultInterval;
    if (const int status = arguments(c, 0, "")) return status;
    if (c.request.has("--count")) {
        const std::optional<int> n = parse_count(c.request.options.value("--count"), 1, 999999999);
        if (!n) return fail(c, Kind::Usage, "--count needs a number of reports of 1 or more.");
        count = *n;
    }
    if (c.request.has("--interval")) {
        const std::optional<int> n = parse_count(c.request.options.value("--interval"), 1, kMaxInterval);
        if (!n) return fail(c, Kind::Usage, QString("--interval needs a time from 1 to %1 ms.").arg(kMaxInterval));
        interval = *n;
    }
    if (const int status = find_box(c, true, false)) return status;
    const auto lease = c.session.lease(true);

    // A report between two gears leaves the caption as it was, as in the window.
    QString gear = "?";
    int shown = 0;
    for (;;) {
        // Every way out returns through `lease`, which lets the box go.
        if (const CliStops stops = c.env.stops(); stops.count > 0) return stops.status;
        // The window's poll: what the box queued, or whether it is gone.
        const device::Poll polled = device::poll(c.conn);
        if (polled == device::Poll::Gone) return fail(c, Kind::Box, "The box was removed.");
        if (polled == device::Poll::Reports) {
            for (const monitor::Report& r :
                 monitor::cut_batch(c.conn.input_report.data(), c.conn.bytes_read, c.conn.hid_caps.input_report_length)) {
                if (const std::optional<std::string> c = monitor::gear_caption(r)) gear = QString::fromStdString(*c);
                const QString mode = r.sequential() ? "S" : "H";
                if (c.json)
                    emit_json(c, {{"x", r.x}, {"y", r.y}, {"gear", gear}, {"mode", mode}});
                else
                    c.out << QString("x=%1 y=%2 gear=%3 mode=%4").arg(r.x).arg(r.y).arg(gear).arg(mode) << Qt::endl;
                // A reader that went away (a closed pipe) or a full disk ends
                // the monitor, which would otherwise run on unseen for ever.
                if (c.out.status() != QTextStream::Ok) return output_failed(c);
                if (++shown == count) return kCliOk;
            }
        }
        c.env.pause(interval);
    }
}

}  // namespace ctl::box
