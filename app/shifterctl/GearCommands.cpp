// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The gear check: what the box decodes while the user moves the stick
// through the gears, how safely each gear rests inside its lines, and with
// --suggest the lines that would leave every rest the most room.
#include <QJsonArray>

#include <algorithm>

#include "app/shifterctl/Commands.h"
#include "app/shifterctl/Context.h"
#include "app/shifterctl/Output.h"
#include "monitor/GearCheck.h"
#include "monitor/MonitorState.h"
#include "monitor/Suggest.h"
#include "calibration/Writes.h"

namespace ctl {

namespace {

constexpr int kDefaultSeconds = 20;
constexpr int kMaxSeconds = 3600;

QJsonValue rest_json(const std::optional<monitor::Rest>& r) {
    if (!r) return QJsonValue();
    return QJsonObject{{"x", r->x}, {"y", r->y}, {"resting", r->resting}};
}

QJsonObject gear_json(const monitor::GearStatus& g) {
    return {{"gear", monitor::gear_name(g.gear)},
            {"reports", qint64(g.reports)},
            {"reached", g.reached()},
            {"rest", rest_json(g.rest)},
            {"zone", g.rest ? QJsonValue(monitor::zone_name(g.zone)) : QJsonValue()},
            {"no_zone", g.no_zone},
            {"margin", g.margin ? QJsonValue(*g.margin) : QJsonValue()},
            {"line", g.margin ? QJsonValue(monitor::line_name(g.line)) : QJsonValue()},
            {"at_risk", g.at_risk},
            {"mismatch", g.mismatch()}};
}

QJsonValue margin_json(const std::optional<int>& m, monitor::Zone zone, monitor::Zone own) {
    if (zone != own) return QJsonObject{{"zone", monitor::zone_name(zone)}};
    return m ? QJsonValue(*m) : QJsonValue();
}

QJsonObject suggestion_json(const monitor::Suggestion& s) {
    QJsonArray rests, missing;
    for (const monitor::SuggestedRest& r : s.rests)
        rests.append(QJsonObject{{"gear", QString::fromStdString(r.name)},
                                 {"x", r.x},
                                 {"y", r.y},
                                 {"now", margin_json(r.now, r.now_zone, r.zone)},
                                 {"suggested", margin_json(r.then, r.then_zone, r.zone)}});
    for (const monitor::Gear g : s.missing) missing.append(monitor::gear_name(g));
    QJsonObject moved;
    for (const int i : s.moved) moved.insert(device::setting_name(i), s.thresholds.get(i));
    return {{"by_position", s.by_position}, {"thresholds", moved}, {"rests", rests}, {"missing", missing}};
}

// The writes that would store a suggestion, in the order a save sends them.
std::vector<calibration::SettingWrite> suggested_writes(const monitor::Suggestion& s) {
    std::vector<calibration::SettingWrite> writes;
    for (const calibration::SettingWrite& w : calibration::save_writes(s.thresholds, s.sequential))
        if (std::find(s.moved.begin(), s.moved.end(), w.index) != s.moved.end()) writes.push_back(w);
    return writes;
}

}  // namespace

int gears(Context& c) {
    if (const int status = arguments(c, 0, "")) return status;
    int seconds = kDefaultSeconds;
    int count = 0;  // 0: for the time given
    if (c.request.has("--seconds")) {
        const std::optional<int> n = parse_count(c.request.options.value("--seconds"), 1, kMaxSeconds);
        if (!n) return fail(c, Kind::Usage, QString("--seconds needs a time from 1 to %1 seconds.").arg(kMaxSeconds));
        seconds = *n;
    }
    if (c.request.has("--count")) {
        const std::optional<int> n = parse_count(c.request.options.value("--count"), 1, 999999999);
        if (!n) return fail(c, Kind::Usage, "--count needs a number of reports of 1 or more.");
        count = *n;
    }
    const bool suggest = c.request.has("--suggest");
    if (const int status = find_box(c, true, false)) return status;
    const auto lease = c.session.lease(false);
    // The check reads the gate with the thresholds the box decodes with.
    const calibration::DeviceInfo info = c.session.read_info();
    if (!info.thresholds) return fail(c, Kind::Box, "The box did not answer with its thresholds.");

    say(c, count ? QString("Move the stick through every gear; recording %1 reports.").arg(count)
                 : QString("Move the stick through every gear; recording for %1 s.").arg(seconds));
    monitor::GearRecord record;
    const int total_ms = seconds * 1000;
    for (int waited = 0; count ? int(record.size()) < count : waited < total_ms; waited += kDefaultInterval) {
        if (const CliStops stops = c.env.stops(); stops.count > 0) return stops.status;
        const device::Poll polled = device::poll(c.conn);
        if (polled == device::Poll::Gone) return fail(c, Kind::Box, "The box was removed.");
        if (polled == device::Poll::Reports)
            for (const monitor::Report& r :
                 monitor::cut_batch(c.conn.input_report.data(), c.conn.bytes_read, c.conn.hid_caps.input_report_length))
                if (!count || int(record.size()) < count) record.add(r);
        show_percent(c, count ? int(record.size() * 100 / count) : waited * 100 / total_ms);
        c.env.pause(kDefaultInterval);
    }
    show_percent(c, 100);
    end_percent(c);

    // Each mode the stick reported in is checked (the H gate when it reported
    // in none); the all-clear needs every gear of each.
    const device::Thresholds& t = *info.thresholds;
    bool at_risk = false, mismatch = false, clear = true;
    QJsonArray modes;
    std::vector<calibration::SettingWrite> suggested;
    const bool any_sequential = std::any_of(record.reports().begin(), record.reports().end(),
                                            [](const monitor::RecordedReport& r) { return r.mode == monitor::kModeSequential; });
    const bool any_h = std::any_of(record.reports().begin(), record.reports().end(),
                                   [](const monitor::RecordedReport& r) { return r.mode == monitor::kModeH; });
    for (const bool sequential : {false, true}) {
        if (sequential ? !any_sequential : (!any_h && any_sequential)) continue;
        const monitor::Rests rests = monitor::find_rests(record.reports(), sequential);
        const monitor::GearCheck check = monitor::check_gears(rests, t);
        at_risk = at_risk || check.any_at_risk();
        mismatch = mismatch || check.any_mismatch();
        clear = clear && check.all_clear();
        std::optional<monitor::Suggestion> suggestion;
        if (suggest) {
            suggestion = monitor::suggest_thresholds(rests, t);
            for (const calibration::SettingWrite& w : suggested_writes(*suggestion)) suggested.push_back(w);
        }
        if (!c.json && record.size() == 0) continue;  // said below
        if (c.json) {
            QJsonArray gears;
            for (const monitor::GearStatus& g : check.gears) gears.append(gear_json(g));
            QJsonObject mode{{"mode", sequential ? "S" : "H"},
                             {"gears", gears},
                             {"all_clear", check.all_clear()},
                             {"summary", QString::fromStdString(monitor::check_summary(check))}};
            if (suggestion) mode.insert("suggestion", suggestion_json(*suggestion));
            modes.append(mode);
            continue;
        }
        c.out << (sequential ? QString("Sequential (s1=%1 s2=%2):").arg(t.s1).arg(t.s2)
                             : QString("H-pattern (h1=%1 h2=%2 v1=%3 v2=%4):").arg(t.h1).arg(t.h2).arg(t.v1).arg(t.v2))
              << '\n';
        for (const std::string& line : monitor::gear_lines(check)) c.out << "  " << QString::fromStdString(line) << '\n';
        c.out << "  " << QString::fromStdString(monitor::check_summary(check)) << '\n';
        if (!suggestion) continue;
        c.out << "  Suggested (margins in counts):\n";
        for (const std::string& line : monitor::suggestion_lines(*suggestion))
            c.out << "    " << QString::fromStdString(line) << '\n';
    }
    const QString set_line =
        suggested.empty() ? QString() : "shifterctl set " + QString::fromStdString(calibration::assignments(suggested));
    if (c.json) {
        QJsonObject o{{"reports", qint64(record.size())},
                      {"limit", monitor::kMarginLimit},
                      {"thresholds", thresholds_json(t)},
                      {"modes", modes},
                      {"at_risk", at_risk},
                      {"mismatch", mismatch},
                      {"all_clear", clear}};
        if (suggest) o.insert("set", set_line.isEmpty() ? QJsonValue() : QJsonValue(set_line));
        emit_json(c, o);
    } else if (record.size() == 0) {
        c.out << "No stick report arrived; move the stick while shifterctl gears records." << Qt::endl;
    } else if (suggest) {
        // The command alone on the last line, for a script to take.
        c.out << (set_line.isEmpty() ? QString("No threshold to suggest yet.") : "To store the suggestion:\n" + set_line)
              << Qt::endl;
    }
    return clear ? kCliOk : kCliBoxProblem;
}

}  // namespace ctl
