// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "GearCheck.h"

#include <algorithm>
#include <array>

#include "MonitorState.h"

namespace monitor {

namespace {

using device::Thresholds;

constexpr int kLineCount = 7;
constexpr int kPositions = 256;

// The gate along one axis of the box's rule. Columns: 0 left, 1 middle,
// 2 right. H rows: 0 upper, 1 neutral, 2 lower, 3 reverse (the right column
// only). Sequential rows: 0 plus, 1 neutral, 2 minus.
int column_of(int x, const Thresholds& t) { return x < t.h1 ? 0 : (x > t.h2 ? 2 : 1); }

int h_row_of(int y, const Thresholds& t, bool right_column) {
    if (y > t.v2) return 0;
    if (y < t.v1) return right_column && 4 * y < t.v1 ? 3 : 2;
    return 1;
}

int s_row_of(int y, const Thresholds& t) { return y > t.s2 ? 0 : (y < t.s1 ? 2 : 1); }

Gear h_gear(int column, int row) {
    static constexpr Gear kUpper[3] = {Gear::G1, Gear::G3, Gear::G5};
    static constexpr Gear kLower[3] = {Gear::G2, Gear::G4, Gear::G6};
    switch (row) {
    case 0: return kUpper[column];
    case 2: return kLower[column];
    case 3: return Gear::Reverse;
    default: return Gear::Neutral;
    }
}

Gear s_gear(int row) { return row == 0 ? Gear::Plus : (row == 2 ? Gear::Minus : Gear::Neutral); }

// The line between two neighbouring classes of an axis.
GateLine column_line(int a, int b) { return a == 0 || b == 0 ? GateLine::H1 : GateLine::H2; }
GateLine h_row_line(int a, int b) {
    if (std::min(a, b) == 2 && std::max(a, b) == 3) return GateLine::Reverse;
    return a == 0 || b == 0 ? GateLine::V2 : GateLine::V1;
}
GateLine s_row_line(int a, int b) { return a == 0 || b == 0 ? GateLine::S2 : GateLine::S1; }

// How far a position moves down or up its axis before the class changes
// (0: it does not within 0..255), and the line it meets.
struct Step {
    int slack = 0;
    GateLine line = GateLine::H1;
};

struct Axis {
    std::array<std::uint8_t, kPositions> cls{};
    std::array<Step, kPositions> down{};
    std::array<Step, kPositions> up{};
};

template <class Classify, class LineBetween>
Axis make_axis(Classify classify, LineBetween line_between) {
    Axis a;
    for (int p = 0; p < kPositions; ++p) a.cls[p] = static_cast<std::uint8_t>(classify(p));
    for (int p = 1; p < kPositions; ++p) {
        if (a.cls[p - 1] != a.cls[p])
            a.down[p] = {1, line_between(a.cls[p - 1], a.cls[p])};
        else if (a.down[p - 1].slack > 0)
            a.down[p] = {a.down[p - 1].slack + 1, a.down[p - 1].line};
    }
    for (int p = kPositions - 2; p >= 0; --p) {
        if (a.cls[p + 1] != a.cls[p])
            a.up[p] = {1, line_between(a.cls[p], a.cls[p + 1])};
        else if (a.up[p + 1].slack > 0)
            a.up[p] = {a.up[p + 1].slack + 1, a.up[p + 1].line};
    }
    return a;
}

// The box's gate under one set of thresholds, as lookup tables: the check
// reads every report through them.
struct Gate {
    Gate(const Thresholds& t, bool seq) : sequential(seq) {
        if (sequential) {
            rows = make_axis([&](int y) { return s_row_of(y, t); }, s_row_line);
        } else {
            columns = make_axis([&](int x) { return column_of(x, t); }, column_line);
            rows = make_axis([&](int y) { return h_row_of(y, t, false); }, h_row_line);
            right_rows = make_axis([&](int y) { return h_row_of(y, t, true); }, h_row_line);
        }
    }

    const Axis& rows_at(int column) const { return column == 2 ? right_rows : rows; }

    Gear gear(std::uint8_t x, std::uint8_t y) const {
        if (sequential) return s_gear(rows.cls[y]);
        const int column = columns.cls[x];
        return h_gear(column, rows_at(column).cls[y]);
    }

    bool sequential;
    Axis columns;
    Axis rows;        // the left and middle columns, or the sequential rows
    Axis right_rows;  // the right column, where reverse splits the lower row
};

constexpr std::array kHOrder{Gear::G1, Gear::G2, Gear::G3, Gear::G4, Gear::G5, Gear::G6, Gear::Reverse, Gear::Neutral};
constexpr std::array kSOrder{Gear::Plus, Gear::Minus, Gear::Neutral};

int index_of(Gear g) { return static_cast<int>(g); }
int index_of(GateLine l) { return static_cast<int>(l); }

bool of_mode(const RecordedReport& r, bool sequential) { return (r.mode == kModeSequential) == sequential; }

int threshold_index(GateLine line) {
    switch (line) {
    case GateLine::H1: return device::kH1;
    case GateLine::H2: return device::kH2;
    case GateLine::V1: return device::kV1;
    case GateLine::V2: return device::kV2;
    case GateLine::S1: return device::kS1;
    case GateLine::S2: return device::kS2;
    case GateLine::Reverse: return device::kV1;
    }
    return device::kV1;
}

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string title(Gear g) {
    std::string words = gear_words(g);
    words[0] = static_cast<char>(words[0] - 'a' + 'A');
    return words;
}

std::string line_words(GateLine line) {
    return line == GateLine::Reverse ? "the reverse line (v1 / 4)" : line_name(line);
}

// Where a gear's zone lies: its column (-1 for neutral and sequential) and
// its row in the classes of the right column's rows or the sequential rows.
struct Place {
    int column;
    int row;
};

Place place_of(Gear g) {
    switch (g) {
    case Gear::G1: return {0, 0};
    case Gear::G2: return {0, 2};
    case Gear::G3: return {1, 0};
    case Gear::G4: return {1, 2};
    case Gear::G5: return {2, 0};
    case Gear::G6: return {2, 2};
    case Gear::Reverse: return {2, 3};
    case Gear::Plus: return {-1, 0};
    case Gear::Minus: return {-1, 2};
    default: return {-1, 1};
    }
}

// The thresholds a point passes from one zone to the other, by index.
std::vector<GateLine> lines_between(Gear from, Gear to, bool sequential) {
    const Place a = place_of(from), b = place_of(to);
    std::vector<GateLine> lines;
    if (a.column >= 0 && b.column >= 0)
        for (int k = std::min(a.column, b.column); k < std::max(a.column, b.column); ++k)
            lines.push_back(k == 0 ? GateLine::H1 : GateLine::H2);
    for (int k = std::min(a.row, b.row); k < std::max(a.row, b.row); ++k) {
        if (sequential)
            lines.push_back(k == 0 ? GateLine::S2 : GateLine::S1);
        else
            lines.push_back(k == 0 ? GateLine::V2 : GateLine::V1);  // the reverse line moves with v1
    }
    std::sort(lines.begin(), lines.end(),
              [](GateLine l, GateLine r) { return threshold_index(l) < threshold_index(r); });
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

}  // namespace

const char* line_name(GateLine line) {
    static constexpr const char* kNames[kLineCount] = {"h1", "h2", "v1", "v2", "s1", "s2", "reverse"};
    return kNames[index_of(line)];
}

Gear gear_at(std::uint8_t x, std::uint8_t y, bool sequential, const Thresholds& t) {
    if (sequential) return s_gear(s_row_of(y, t));
    const int column = column_of(x, t);
    return h_gear(column, h_row_of(y, t, column == 2));
}

bool GearCheck::any_at_risk() const {
    return std::any_of(gears.begin(), gears.end(), [](const GearStatus& g) { return g.at_risk; });
}

bool GearCheck::any_mismatch() const {
    return std::any_of(gears.begin(), gears.end(), [](const GearStatus& g) { return !g.mismatches.empty(); });
}

GearCheck check_gears(std::span<const RecordedReport> reports, const Thresholds& t, bool sequential, int limit) {
    const Gate gate(t, sequential);
    // Slack counts of the agreeing reports per gear and line: the medians
    // come from these without sorting.
    std::vector<std::uint32_t> slack(static_cast<std::size_t>(kGearCount) * kLineCount * kPositions, 0);
    std::array<std::array<std::size_t, kLineCount>, kGearCount> bounded{};
    std::array<std::array<std::size_t, kGearCount>, kGearCount> decoded_at{};  // [expected][decoded]
    std::array<std::size_t, kGearCount> decoded{};

    auto count = [&](Gear g, const Step& s) {
        if (s.slack == 0) return;
        const std::size_t k = static_cast<std::size_t>(index_of(g) * kLineCount + index_of(s.line));
        ++slack[k * kPositions + static_cast<std::size_t>(s.slack)];
        ++bounded[index_of(g)][index_of(s.line)];
    };

    for (const RecordedReport& r : reports) {
        if (!of_mode(r, sequential)) continue;
        const Gear expected = gate.gear(r.x, r.y);
        ++decoded[index_of(r.gear)];
        ++decoded_at[index_of(expected)][index_of(r.gear)];
        if (r.gear != expected) continue;
        if (sequential) {
            count(expected, gate.rows.down[r.y]);
            count(expected, gate.rows.up[r.y]);
            continue;
        }
        const int column = gate.columns.cls[r.x];
        const Axis& rows = gate.rows_at(column);
        // Across neutral the stick may go from side to side without a change.
        if (expected != Gear::Neutral) {
            count(expected, gate.columns.down[r.x]);
            count(expected, gate.columns.up[r.x]);
        }
        count(expected, rows.down[r.y]);
        count(expected, rows.up[r.y]);
    }

    GearCheck check;
    check.sequential = sequential;
    check.limit = limit;
    const std::span<const Gear> order = sequential ? std::span<const Gear>(kSOrder) : std::span<const Gear>(kHOrder);
    for (Gear g : order) {
        GearStatus st;
        st.gear = g;
        st.reports = decoded[index_of(g)];
        for (int d = 0; d < kGearCount; ++d) {
            const std::size_t n = decoded_at[index_of(g)][d];
            st.reached += n;
            if (d != index_of(g) && n > 0) st.mismatches.push_back({static_cast<Gear>(d), n});
        }
        if (st.reports == 0 && st.reached == 0) continue;
        for (int l = 0; l < kLineCount; ++l) {
            const std::size_t n = bounded[index_of(g)][l];
            if (n == 0) continue;
            const std::uint32_t* h = &slack[(static_cast<std::size_t>(index_of(g)) * kLineCount + l) * kPositions];
            // The lower median: the ((n + 1) / 2)-th smallest slack.
            std::size_t seen = 0;
            int median = 0;
            while (seen < (n + 1) / 2) seen += h[++median];
            if (!st.margin || median < *st.margin) {
                st.margin = median;
                st.line = static_cast<GateLine>(l);
            }
        }
        st.at_risk = st.margin && *st.margin < limit;
        check.gears.push_back(std::move(st));
    }
    return check;
}

std::string gear_line(const GearStatus& s) {
    std::string line = title(s.gear) + ": " + counted(s.reports, "report", "reports");
    if (s.margin)
        line += ", margin " + counted(static_cast<std::size_t>(*s.margin), "count", "counts") + " to " +
                line_words(s.line);
    else if (s.reports > 0)
        line += ", none where these thresholds put it";
    if (s.at_risk) line += " \u2014 at risk";
    if (!s.mismatches.empty()) {
        line += "; at its position ";
        for (std::size_t i = 0; i < s.mismatches.size(); ++i) {
            const GearMismatch& m = s.mismatches[i];
            if (i > 0) line += i + 1 == s.mismatches.size() ? " and " : ", ";
            line += i == 0 ? counted(m.reports, "report was", "reports were") + " decoded" : std::to_string(m.reports);
            line += std::string(" as ") + gear_words(m.decoded);
        }
        line += " \u2014 mismatch";
    }
    return line;
}

std::vector<std::string> gear_lines(const GearCheck& check) {
    std::vector<std::string> lines;
    for (const GearStatus& s : check.gears) lines.push_back(gear_line(s));
    return lines;
}

std::vector<GearCrossing> save_crossings(std::span<const RecordedReport> reports, const Thresholds& to_save,
                                         bool sequential) {
    const Gate gate(to_save, sequential);
    std::array<std::array<std::size_t, kGearCount>, kGearCount> moved{};  // [decoded][new]
    std::array<std::size_t, kGearCount> decoded{};
    for (const RecordedReport& r : reports) {
        if (!of_mode(r, sequential)) continue;
        ++decoded[index_of(r.gear)];
        ++moved[index_of(r.gear)][index_of(gate.gear(r.x, r.y))];
    }
    std::vector<GearCrossing> crossings;
    const std::span<const Gear> order = sequential ? std::span<const Gear>(kSOrder) : std::span<const Gear>(kHOrder);
    for (Gear g : order) {
        for (Gear into : order) {
            const std::size_t n = moved[index_of(g)][index_of(into)];
            if (into == g || n == 0) continue;
            if (static_cast<double>(n) < kCrossingShare * static_cast<double>(decoded[index_of(g)])) continue;
            crossings.push_back({g, into, n, lines_between(g, into, sequential)});
        }
    }
    return crossings;
}

std::string crossing_sentence(const GearCrossing& c, const Thresholds& t) {
    std::string sentence = "With ";
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        if (i > 0) sentence += i + 1 == c.lines.size() ? " and " : ", ";
        sentence += std::string(line_name(c.lines[i])) + " at " + std::to_string(t.get(threshold_index(c.lines[i])));
    }
    sentence += ", " + counted(c.reports, "recorded point ", "recorded points ");
    sentence += c.gear == Gear::Neutral ? std::string("in neutral") : std::string("of ") + gear_words(c.gear);
    sentence += std::string(" would fall into ") + gear_words(c.into) + ".";
    return sentence;
}

std::string crossings_statement(const std::vector<GearCrossing>& crossings, const Thresholds& t) {
    std::string text;
    for (const GearCrossing& c : crossings) text += (text.empty() ? "" : " ") + crossing_sentence(c, t);
    return text;
}

}  // namespace monitor
