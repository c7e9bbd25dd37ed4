// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Suggest.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace monitor {

namespace {

using device::Thresholds;

// A threshold the text boxes take.
constexpr int kHighestLine = 254;

// One line of the gate: the zones below and above it along its axis, and
// whether the line's own value belongs to the zones above (h1, v1, s1) or
// below (h2, v2, s2).
struct LineRule {
    GateLine line;
    bool along_x;
    std::vector<Zone> low, high;
    bool value_above;
};

const std::vector<LineRule>& rules(bool sequential) {
    static const std::vector<LineRule> h{
        {GateLine::H1, true, {Zone::G1, Zone::G2}, {Zone::G3, Zone::G4}, true},
        {GateLine::H2, true, {Zone::G3, Zone::G4}, {Zone::G5, Zone::SixOrReverse}, false},
        {GateLine::V1, false, {Zone::G2, Zone::G4, Zone::SixOrReverse}, {Zone::Neutral}, true},
        {GateLine::V2, false, {Zone::Neutral}, {Zone::G1, Zone::G3, Zone::G5}, false},
    };
    static const std::vector<LineRule> s{
        {GateLine::S1, false, {Zone::Minus}, {Zone::Neutral}, true},
        {GateLine::S2, false, {Zone::Neutral}, {Zone::Plus}, false},
    };
    return sequential ? s : h;
}

bool among(Zone z, const std::vector<Zone>& zones) { return std::find(zones.begin(), zones.end(), z) != zones.end(); }

// The best value for a line between the highest rest below it (a) and the
// lowest above it (b): the largest smaller margin, then the value nearest
// the middle of the gap. None when no value leaves both sides a margin.
std::optional<int> place(int a, int b, bool value_above) {
    std::optional<int> best;
    int best_margin = 0;
    for (int t = 0; t <= kHighestLine; ++t) {
        const int m = value_above ? std::min(t - a, b - t + 1) : std::min(t - a + 1, b - t);
        if (m <= 0) continue;
        if (!best || m > best_margin || (m == best_margin && std::abs(2 * t - (a + b)) < std::abs(2 * *best - (a + b)))) {
            best = t;
            best_margin = m;
        }
    }
    return best;
}

// The places of the lines for rests grouped into zones; false when the
// groups overlap, so that some line finds no value.
bool place_lines(const std::vector<SuggestedRest>& rests, bool sequential, Suggestion& s) {
    for (const LineRule& r : rules(sequential)) {
        std::optional<int> a, b;
        for (const SuggestedRest& p : rests) {
            const int v = r.along_x ? p.x : p.y;
            if (among(p.zone, r.low)) a = std::max(a.value_or(v), v);
            if (among(p.zone, r.high)) b = std::min(b.value_or(v), v);
        }
        if (!a || !b) continue;
        const std::optional<int> t = place(*a, *b, r.value_above);
        if (!t) return false;
        s.thresholds.set(threshold_index(r.line), *t);
        s.moved.push_back(threshold_index(r.line));
    }
    return true;
}

// Exact clustering of a few values into k groups along one axis: the split
// of the sorted values with the smallest sum of squares. Answers the upper
// end of each group but the last.
std::vector<double> split(std::vector<int> v, int k) {
    std::sort(v.begin(), v.end());
    const int n = static_cast<int>(v.size());
    auto cost = [&](int from, int to) {  // [from, to)
        double sum = 0, sq = 0;
        for (int i = from; i < to; ++i) {
            sum += v[static_cast<std::size_t>(i)];
            sq += double(v[static_cast<std::size_t>(i)]) * v[static_cast<std::size_t>(i)];
        }
        return sq - sum * sum / (to - from);
    };
    double best = -1;
    std::vector<double> cut;
    for (int i = 1; i < n; ++i) {
        if (k == 2) {
            const double c = cost(0, i) + cost(i, n);
            if (best < 0 || c < best) best = c, cut = {(v[i - 1] + v[i]) / 2.0};
            continue;
        }
        for (int j = i + 1; j < n; ++j) {
            const double c = cost(0, i) + cost(i, j) + cost(j, n);
            if (best < 0 || c < best) best = c, cut = {(v[i - 1] + v[i]) / 2.0, (v[j - 1] + v[j]) / 2.0};
        }
    }
    return cut;
}

int group_of(int v, const std::vector<double>& cut) {
    int g = 0;
    while (g < static_cast<int>(cut.size()) && v > cut[static_cast<std::size_t>(g)]) ++g;
    return g;
}

std::size_t distinct(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return static_cast<std::size_t>(std::unique(v.begin(), v.end()) - v.begin());
}

// The rests grouped by where the stick stayed: rows along Y (for H the
// lower row, neutral and the upper row), then three columns along X. Empty
// when the places are too few to tell the groups.
std::vector<SuggestedRest> by_position(const Rests& rests) {
    std::vector<int> ys, xs;
    for (const RestSpot& p : rests.spots) ys.push_back(p.y);
    if (distinct(ys) < 3) return {};
    const std::vector<double> rows = split(ys, 3);
    std::vector<SuggestedRest> out;
    for (const RestSpot& p : rests.spots) {
        SuggestedRest r;
        r.x = p.x;
        r.y = p.y;
        const int row = group_of(p.y, rows);  // 0 lower, 1 neutral, 2 upper
        r.zone = row == 1 ? Zone::Neutral : rests.sequential ? (row == 0 ? Zone::Minus : Zone::Plus) : Zone::None;
        if (r.zone == Zone::None) xs.push_back(p.x);
        out.push_back(r);
    }
    if (!rests.sequential) {
        if (distinct(xs) < 3) return {};
        const std::vector<double> columns = split(xs, 3);
        static constexpr Zone kUpper[3] = {Zone::G1, Zone::G3, Zone::G5};
        static constexpr Zone kLower[3] = {Zone::G2, Zone::G4, Zone::SixOrReverse};
        for (SuggestedRest& r : out)
            if (r.zone == Zone::None)
                r.zone = (r.y > rows[1] ? kUpper : kLower)[group_of(r.x, columns)];
    }
    for (SuggestedRest& r : out) {
        r.name = zone_name(r.zone);
        r.words = zone_words(r.zone);
    }
    return out;
}

void judge(SuggestedRest& r, bool sequential, const Thresholds& t, std::optional<int>& margin, Zone& zone) {
    zone = zone_at(r.x, r.y, sequential, t);
    margin.reset();
    if (zone == r.zone)
        if (const auto m = margin_at(r.x, r.y, sequential, t)) margin = m->counts;
}

std::optional<int> smaller(std::optional<int> a, std::optional<int> m, bool in_zone) {
    const int v = in_zone ? m.value_or(256) : 0;
    return a ? std::min(*a, v) : v;
}

}  // namespace

Suggestion suggest_thresholds(const Rests& rests, const Thresholds& current) {
    Suggestion s;
    s.sequential = rests.sequential;
    s.thresholds = current;
    static constexpr std::array kH{Gear::G1, Gear::G2, Gear::G3, Gear::G4, Gear::G5, Gear::G6, Gear::Reverse, Gear::Neutral};
    static constexpr std::array kS{Gear::Plus, Gear::Minus, Gear::Neutral};
    std::vector<SuggestedRest> grouped;
    for (const Gear g : rests.sequential ? std::span<const Gear>(kS) : std::span<const Gear>(kH)) {
        const std::optional<Rest>& rest = rests.rest(g);
        if (!rest) {
            s.missing.push_back(g);
            continue;
        }
        SuggestedRest r;
        r.zone = zone_of(g);
        r.name = gear_name(g);
        r.words = gear_words(g);
        r.x = rest->x;
        r.y = rest->y;
        grouped.push_back(r);
    }
    if (decoded_apart(rests) || !place_lines(grouped, rests.sequential, s)) {
        s.by_position = true;
        s.thresholds = current;
        s.moved.clear();
        grouped = by_position(rests);
        if (grouped.empty() || !place_lines(grouped, rests.sequential, s)) {
            s.thresholds = current;
            s.moved.clear();
        }
    }
    for (SuggestedRest& r : grouped) {
        judge(r, rests.sequential, current, r.now, r.now_zone);
        judge(r, rests.sequential, s.thresholds, r.then, r.then_zone);
        s.smallest_now = smaller(s.smallest_now, r.now, r.now_zone == r.zone);
        s.smallest_then = smaller(s.smallest_then, r.then, r.then_zone == r.zone);
    }
    s.rests = std::move(grouped);
    return s;
}

std::vector<std::string> suggestion_lines(const Suggestion& s) {
    std::vector<std::string> lines;
    if (s.by_position)
        lines.push_back("The box's gears are too far off to group the rests by gear, so they are grouped by position.");
    if (s.moved.empty()) lines.push_back("No line can be placed from these rests yet.");
    for (const SuggestedRest& r : s.rests) {
        std::string words = r.words;
        words[0] = static_cast<char>(words[0] - 'a' + 'A');
        const bool now_in = r.now_zone == r.zone, then_in = r.then_zone == r.zone;
        auto margin = [](const std::optional<int>& m) { return m ? std::to_string(*m) : std::string("unbounded"); };
        const std::string now = now_in ? "margin " + margin(r.now) : std::string("in ") + zone_words(r.now_zone);
        const std::string then = then_in ? (now_in ? "" : "margin ") + margin(r.then)
                                         : std::string("in ") + zone_words(r.then_zone);
        lines.push_back(words + ": " + now + " now, " + then + " suggested");
    }
    if (!s.missing.empty()) {
        std::string names;
        for (std::size_t i = 0; i < s.missing.size(); ++i) {
            if (i > 0) names += i + 1 == s.missing.size() ? " and " : ", ";
            names += gear_words(s.missing[i]);
        }
        names[0] = static_cast<char>(names[0] - 'a' + 'A');
        lines.push_back(names + " not reached yet: rest in " + (s.missing.size() == 1 ? "it" : "each") +
                        " and suggest again.");
    }
    return lines;
}

}  // namespace monitor
