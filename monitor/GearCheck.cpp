// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/GearCheck.h"

#include <algorithm>
#include <array>

namespace monitor {

namespace {

using device::Thresholds;

constexpr std::array kHOrder{Gear::G1, Gear::G2, Gear::G3, Gear::G4, Gear::G5, Gear::G6, Gear::Reverse, Gear::Neutral};
constexpr std::array kSOrder{Gear::Plus, Gear::Minus, Gear::Neutral};

std::span<const Gear> order_of(bool sequential) {
    return sequential ? std::span<const Gear>(kSOrder) : std::span<const Gear>(kHOrder);
}

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string title(const char* words) {
    std::string t = words;
    t[0] = static_cast<char>(t[0] - 'a' + 'A');
    return t;
}

// "gear 3", "gear 3 and reverse", "gears 1, 2 and neutral" ...
std::string listed(const std::vector<Gear>& gears) {
    std::string text;
    for (std::size_t i = 0; i < gears.size(); ++i) {
        if (i > 0) text += i + 1 == gears.size() ? " and " : ", ";
        text += gear_words(gears[i]);
    }
    return text;
}

std::string at_words(const Rest& r) { return "(X " + std::to_string(r.x) + ", Y " + std::to_string(r.y) + ")"; }

std::string crossed_sentence(const CrossedLines& c) {
    return std::string(line_name(c.low)) + " (" + std::to_string(c.low_value) + ") is not below " +
           line_name(c.high) + " (" + std::to_string(c.high_value) + "): the pair is crossed.";
}

}  // namespace

bool GearCheck::any_at_risk() const {
    return std::any_of(gears.begin(), gears.end(), [](const GearStatus& g) { return g.at_risk; });
}

bool GearCheck::any_mismatch() const {
    return std::any_of(gears.begin(), gears.end(), [](const GearStatus& g) { return g.mismatch(); });
}

bool GearCheck::any_missing() const {
    return std::any_of(gears.begin(), gears.end(), [](const GearStatus& g) { return !g.reached(); });
}

bool GearCheck::all_clear() const {
    return !gears.empty() && crossed.empty() && std::all_of(gears.begin(), gears.end(), [](const GearStatus& g) {
               return g.reached() && !g.no_zone && !g.mismatch() && !g.at_risk;
           });
}

GearCheck check_gears(const Rests& rests, const Thresholds& t, int limit) {
    GearCheck check;
    check.sequential = rests.sequential;
    check.limit = limit;
    check.crossed = crossed_lines(t, rests.sequential);
    for (const Gear g : order_of(rests.sequential)) {
        GearStatus st;
        st.gear = g;
        st.reports = rests.decoded(g);
        st.rest = rests.rest(g);
        st.no_zone = !zone_has_room(zone_of(g), rests.sequential, t);
        if (st.rest) {
            st.zone = zone_at(st.rest->x, st.rest->y, rests.sequential, t);
            if (st.zone == zone_of(g)) {
                if (const auto m = margin_at(st.rest->x, st.rest->y, rests.sequential, t)) {
                    st.margin = m->counts;
                    st.line = m->line;
                }
            }
        }
        st.at_risk = st.margin && *st.margin < limit;
        check.gears.push_back(st);
    }
    return check;
}

GearCheck check_gears(std::span<const RecordedReport> reports, const Thresholds& t, bool sequential, int limit) {
    return check_gears(find_rests(reports, sequential), t, limit);
}

std::string gear_line(const GearStatus& s) {
    std::string line = title(gear_words(s.gear)) + ": ";
    if (!s.reached()) {
        line += "not reached yet";
        if (s.no_zone) line += "; these thresholds leave it no zone";
        return line;
    }
    line += counted(s.reports, "report", "reports");
    if (s.no_zone) line += "; these thresholds leave it no zone";
    if (s.mismatch()) {
        line += std::string(s.no_zone ? " and" : ", but") + " it rests where they put " + zone_words(s.zone) +
                " \u2014 mismatch";
        return line;
    }
    if (!s.margin) return line + ", no line bounds it";
    line += ", margin " + counted(static_cast<std::size_t>(*s.margin), "count", "counts") + " to " + line_name(s.line);
    if (s.rest && !s.rest->resting) line += " at the far end of its gate";
    if (s.at_risk) line += " \u2014 at risk";
    return line;
}

std::vector<std::string> gear_lines(const GearCheck& check) {
    std::vector<std::string> lines;
    for (const GearStatus& s : check.gears) lines.push_back(gear_line(s));
    for (const CrossedLines& c : check.crossed) lines.push_back(crossed_sentence(c));
    return lines;
}

std::string check_summary(const GearCheck& check) {
    if (check.all_clear())
        return "Every gear sits at least " + std::to_string(check.limit) + " counts inside its lines.";
    std::vector<Gear> missing, no_zone, mismatch, at_risk;
    for (const GearStatus& g : check.gears) {
        if (!g.reached()) missing.push_back(g.gear);
        if (g.no_zone) no_zone.push_back(g.gear);
        if (g.mismatch()) mismatch.push_back(g.gear);
        if (g.at_risk) at_risk.push_back(g.gear);
    }
    if (missing.size() == check.gears.size() && check.crossed.empty() && no_zone.empty())
        return "Move the stick through every gear and rest in each for a moment.";
    std::vector<std::string> parts;
    if (!missing.empty()) parts.push_back(listed(missing) + " not reached yet");
    if (!no_zone.empty()) parts.push_back("no zone for " + listed(no_zone));
    if (!mismatch.empty()) parts.push_back(listed(mismatch) + " resting in another gear's zone");
    if (!at_risk.empty())
        parts.push_back(listed(at_risk) + " closer than " + std::to_string(check.limit) +
                        " counts to a line, so it may drop out or flicker");
    if (!check.crossed.empty()) parts.push_back("a crossed pair of lines");
    std::string text = "Not safe yet: ";
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i > 0 ? "; " : "") + parts[i];
    return text + ".";
}

std::vector<GearCrossing> save_crossings(std::span<const RecordedReport> reports, const Thresholds& to_save,
                                         bool sequential, int limit) {
    const Rests rests = find_rests(reports, sequential);
    std::vector<GearCrossing> crossings;
    if (decoded_apart(rests)) {
        for (const RestSpot& p : rests.spots) {
            const auto m = margin_at(p.x, p.y, sequential, to_save);
            if (m && m->counts < limit)
                crossings.push_back({Gear::Between, Rest{p.x, p.y, true}, zone_at(p.x, p.y, sequential, to_save),
                                     m->counts, {m->line}});
        }
        return crossings;
    }
    for (const Gear g : order_of(sequential)) {
        const std::optional<Rest>& rest = rests.rest(g);
        if (!rest) continue;
        const Zone into = zone_at(rest->x, rest->y, sequential, to_save);
        if (into != zone_of(g)) {
            crossings.push_back({g, *rest, into, std::nullopt, lines_between(zone_of(g), into, sequential)});
            continue;
        }
        const auto m = margin_at(rest->x, rest->y, sequential, to_save);
        if (m && m->counts < limit) crossings.push_back({g, *rest, into, m->counts, {m->line}});
    }
    return crossings;
}

std::string crossing_sentence(const GearCrossing& c, const Thresholds& t) {
    std::string sentence = "With ";
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        if (i > 0) sentence += i + 1 == c.lines.size() ? " and " : ", ";
        sentence += std::string(line_name(c.lines[i])) + " at " + std::to_string(t.get(threshold_index(c.lines[i])));
    }
    if (c.gear == Gear::Between)
        sentence += ", the stick resting there";
    else if (c.rest.resting)
        sentence += std::string(", the stick resting in ") + gear_words(c.gear);
    else
        sentence += std::string(", the stick as far into ") + gear_words(c.gear) + " as it went";
    sentence += " " + at_words(c.rest) + " would be ";
    if (c.margin)
        sentence += "only " + counted(static_cast<std::size_t>(*c.margin), "count", "counts") + " from " +
                    line_name(c.lines.front()) + ".";
    else
        sentence += std::string("in ") + zone_words(c.into) + ".";
    return sentence;
}

std::string crossings_statement(const std::vector<GearCrossing>& crossings, const Thresholds& t) {
    std::string text;
    for (const GearCrossing& c : crossings) text += (text.empty() ? "" : " ") + crossing_sentence(c, t);
    return text;
}

}  // namespace monitor
