// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Gate.h"

#include <algorithm>

namespace monitor {

namespace {

using device::Thresholds;

constexpr int kPositions = 256;

// Columns: 0 left, 1 middle, 2 right. Rows: 0 upper (or plus), 1 neutral,
// 2 lower (or minus).
int column_of(int x, const Thresholds& t) { return x < t.h1 ? 0 : (x > t.h2 ? 2 : 1); }
int row_of(int y, bool sequential, const Thresholds& t) {
    const int upper = sequential ? t.s2 : t.v2, lower = sequential ? t.s1 : t.v1;
    return y > upper ? 0 : (y < lower ? 2 : 1);
}

GateLine column_line(int a, int b) { return a == 0 || b == 0 ? GateLine::H1 : GateLine::H2; }
GateLine row_line(int a, int b, bool sequential) {
    if (a == 0 || b == 0) return sequential ? GateLine::S2 : GateLine::V2;
    return sequential ? GateLine::S1 : GateLine::V1;
}

struct Place {
    int column;  // -1: any (neutral, sequential)
    int row;
};

std::optional<Place> place_of(Zone z) {
    switch (z) {
    case Zone::G1: return Place{0, 0};
    case Zone::G2: return Place{0, 2};
    case Zone::G3: return Place{1, 0};
    case Zone::G4: return Place{1, 2};
    case Zone::G5: return Place{2, 0};
    case Zone::SixOrReverse: return Place{2, 2};
    case Zone::Plus: return Place{-1, 0};
    case Zone::Minus: return Place{-1, 2};
    case Zone::Neutral: return Place{-1, 1};
    default: return std::nullopt;
    }
}

// Steps from p along one axis until the class changes; the nearer side wins.
template <class Classify, class LineBetween>
std::optional<Margin> axis_margin(int p, Classify classify, LineBetween line_between) {
    const int own = classify(p);
    std::optional<Margin> best;
    for (const int dir : {-1, 1}) {
        for (int q = p + dir, steps = 1; q >= 0 && q < kPositions; q += dir, ++steps) {
            if (const int other = classify(q); other != own) {
                if (!best || steps < best->counts) best = Margin{steps, line_between(own, other)};
                break;
            }
        }
    }
    return best;
}

std::optional<Margin> nearer(std::optional<Margin> a, std::optional<Margin> b) {
    if (!a) return b;
    if (!b) return a;
    return b->counts < a->counts ? b : a;
}

}  // namespace

const char* line_name(GateLine line) {
    static constexpr const char* kNames[] = {"h1", "h2", "v1", "v2", "s1", "s2"};
    return kNames[static_cast<int>(line)];
}

int threshold_index(GateLine line) {
    switch (line) {
    case GateLine::H1: return device::kH1;
    case GateLine::H2: return device::kH2;
    case GateLine::V1: return device::kV1;
    case GateLine::V2: return device::kV2;
    case GateLine::S1: return device::kS1;
    case GateLine::S2: return device::kS2;
    }
    return device::kH1;
}

Zone zone_of(Gear g) {
    switch (g) {
    case Gear::Neutral: return Zone::Neutral;
    case Gear::G1: return Zone::G1;
    case Gear::G2: return Zone::G2;
    case Gear::G3: return Zone::G3;
    case Gear::G4: return Zone::G4;
    case Gear::G5: return Zone::G5;
    case Gear::G6:
    case Gear::Reverse: return Zone::SixOrReverse;
    case Gear::Plus: return Zone::Plus;
    case Gear::Minus: return Zone::Minus;
    default: return Zone::None;
    }
}

const char* zone_name(Zone z) {
    static constexpr const char* kNames[kZoneCount] = {"N", "1", "2", "3", "4", "5", "6/R", "+", "-", "none"};
    return kNames[static_cast<int>(z)];
}

const char* zone_words(Zone z) {
    static constexpr const char* kWords[kZoneCount] = {"neutral", "gear 1", "gear 2", "gear 3", "gear 4", "gear 5",
                                                       "gear 6 or reverse", "plus", "minus", "no gear"};
    return kWords[static_cast<int>(z)];
}

Zone zone_at(int x, int y, bool sequential, const Thresholds& t) {
    const int row = row_of(y, sequential, t);
    if (sequential) return row == 0 ? Zone::Plus : (row == 2 ? Zone::Minus : Zone::Neutral);
    if (row == 1) return Zone::Neutral;
    static constexpr Zone kUpper[3] = {Zone::G1, Zone::G3, Zone::G5};
    static constexpr Zone kLower[3] = {Zone::G2, Zone::G4, Zone::SixOrReverse};
    const int column = column_of(x, t);
    return row == 0 ? kUpper[column] : kLower[column];
}

std::optional<Margin> margin_at(int x, int y, bool sequential, const Thresholds& t) {
    auto rows = [&](int q) { return row_of(q, sequential, t); };
    auto row_between = [&](int a, int b) { return row_line(a, b, sequential); };
    std::optional<Margin> m = axis_margin(y, rows, row_between);
    if (sequential || rows(y) == 1) return m;
    return nearer(m, axis_margin(x, [&](int q) { return column_of(q, t); }, column_line));
}

std::vector<GateLine> lines_between(Zone from, Zone to, bool sequential) {
    const auto a = place_of(from), b = place_of(to);
    std::vector<GateLine> lines;
    if (!a || !b) return lines;
    if (a->column >= 0 && b->column >= 0)
        for (int k = std::min(a->column, b->column); k < std::max(a->column, b->column); ++k)
            lines.push_back(k == 0 ? GateLine::H1 : GateLine::H2);
    for (int k = std::min(a->row, b->row); k < std::max(a->row, b->row); ++k)
        lines.push_back(row_line(k, k + 1, sequential));
    std::sort(lines.begin(), lines.end(),
              [](GateLine l, GateLine r) { return threshold_index(l) < threshold_index(r); });
    return lines;
}

bool zone_has_room(Zone zone, bool sequential, const Thresholds& t) {
    const auto place = place_of(zone);
    if (!place) return false;
    bool row = false, column = place->column < 0;
    for (int p = 0; p < kPositions; ++p) {
        row = row || row_of(p, sequential, t) == place->row;
        column = column || column_of(p, t) == place->column;
    }
    return row && column;
}

std::vector<CrossedLines> crossed_lines(const Thresholds& t, bool sequential) {
    std::vector<CrossedLines> crossed;
    auto pair = [&](GateLine low, GateLine high) {
        const int a = t.get(threshold_index(low)), b = t.get(threshold_index(high));
        if (a >= b) crossed.push_back({low, high, a, b});
    };
    if (sequential) {
        pair(GateLine::S1, GateLine::S2);
    } else {
        pair(GateLine::H1, GateLine::H2);
        pair(GateLine::V1, GateLine::V2);
    }
    return crossed;
}

}  // namespace monitor
