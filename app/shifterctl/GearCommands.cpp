// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The gear check: what the box decodes while the user moves the stick
// through the gears, and how safely each gear sits inside its lines.
#include <QJsonArray>

#include "CliRunner.h"
#include "GearCheck.h"
#include "MonitorState.h"

namespace ctl {

namespace {

constexpr int kDefaultSeconds = 20;
constexpr int kMaxSeconds = 3600;

QJsonObject gear_json(const monitor::GearStatus& g) {
    QJsonArray mismatches;
    for (const monitor::GearMismatch& m : g.mismatches)
        mismatches.append(QJsonObject{{"decoded", monitor::gear_name(m.decoded)}, {"reports", qint64(m.reports)}});
    return {{"gear", monitor::gear_name(g.gear)},
            {"reports", qint64(g.reports)},
            {"reached", qint64(g.reached)},
            {"margin", g.margin ? QJsonValue(*g.margin) : QJsonValue()},
            {"line", g.margin ? QJsonValue(monitor::line_name(g.line)) : QJsonValue()},
            {"at_risk", g.at_risk},
            {"mismatches", mismatches}};
}

}  // namespace

int Cli::gears() {
    if (const int status = arguments(0, "")) return status;
    int seconds = kDefaultSeconds;
    int count = 0;  // 0: for the time given
    if (r_.has("--seconds")) {
        const std::optional<int> n = parse_count(r_.options.value("--seconds"), 1, kMaxSeconds);
        if (!n) return fail(Kind::Usage, QString("--seconds needs a time from 1 to %1 seconds.").arg(kMaxSeconds));
        seconds = *n;
    }
    if (r_.has("--count")) {
        const std::optional<int> n = parse_count(r_.options.value("--count"), 1, 999999999);
        if (!n) return fail(Kind::Usage, "--count needs a number of reports of 1 or more.");
        count = *n;
    }
    if (const int status = find_box(true, false)) return status;
    const auto lease = session_.lease(false);
    // The check reads the gate with the thresholds the box decodes with.
    const calibration::DeviceInfo info = session_.read_info();
    if (!info.thresholds) return fail(Kind::Box, "The box did not answer with its thresholds.");

    say(count ? QString("Move the stick through every gear; recording %1 reports.").arg(count)
              : QString("Move the stick through every gear; recording for %1 s.").arg(seconds));
    monitor::GearRecord record;
    const int total_ms = seconds * 1000;
    for (int waited = 0; count ? int(record.size()) < count : waited < total_ms; waited += kDefaultInterval) {
        if (const CliStops stops = env_.stops(); stops.count > 0) return stops.status;
        const device::Poll polled = device::poll(conn_);
        if (polled == device::Poll::Gone) return fail(Kind::Box, "The box was removed.");
        if (polled == device::Poll::Reports)
            for (const monitor::Report& r :
                 monitor::cut_batch(conn_.input_report.data(), conn_.bytes_read, conn_.hid_caps.input_report_length))
                if (!count || int(record.size()) < count) record.add(r);
        show_percent(count ? int(record.size() * 100 / count) : waited * 100 / total_ms);
        env_.pause(kDefaultInterval);
    }
    show_percent(100);
    end_percent();

    bool at_risk = false;
    bool mismatch = false;
    QJsonArray modes;
    for (const bool sequential : {false, true}) {
        const monitor::GearCheck check = monitor::check_gears(record.reports(), *info.thresholds, sequential);
        if (check.gears.empty()) continue;
        at_risk = at_risk || check.any_at_risk();
        mismatch = mismatch || check.any_mismatch();
        if (json_) {
            QJsonArray gears;
            for (const monitor::GearStatus& g : check.gears) gears.append(gear_json(g));
            modes.append(QJsonObject{{"mode", sequential ? "S" : "H"}, {"gears", gears}});
            continue;
        }
        const device::Thresholds& t = *info.thresholds;
        out_ << (sequential ? QString("Sequential (s1=%1 s2=%2):").arg(t.s1).arg(t.s2)
                            : QString("H-pattern (h1=%1 h2=%2 v1=%3 v2=%4):").arg(t.h1).arg(t.h2).arg(t.v1).arg(t.v2))
             << '\n';
        for (const std::string& line : monitor::gear_lines(check)) out_ << "  " << QString::fromStdString(line) << '\n';
    }
    if (json_) {
        emit_json({{"reports", qint64(record.size())},
                   {"limit", monitor::kMarginLimit},
                   {"thresholds", thresholds_json(*info.thresholds)},
                   {"modes", modes},
                   {"at_risk", at_risk},
                   {"mismatch", mismatch}});
    } else if (record.size() == 0) {
        out_ << "No stick report arrived; move the stick while shifterctl gears records." << Qt::endl;
    } else {
        out_ << (at_risk ? QString("A gear sits closer than %1 counts to a line: it may drop out or flicker; "
                                   "calibrate again and move the stick deep into every gear.")
                                 .arg(monitor::kMarginLimit)
                         : QString("Every gear sits at least %1 counts inside its lines.").arg(monitor::kMarginLimit))
             << Qt::endl;
    }
    return at_risk ? kCliBoxProblem : kCliOk;
}

}  // namespace ctl
