// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/MonitorState.h"

#include "device/Settings.h"

#include <algorithm>
#include <cmath>

namespace monitor {

namespace {

// The monitor reads bytes 1..5 of every report.
constexpr int kMinReportLength = 6;

int floor_of(double v) { return static_cast<int>(std::floor(v)); }

// (maximum - minimum) x fraction + minimum, in double, floored.
int derive(int minimum, int maximum, double fraction) {
    return floor_of(static_cast<double>(maximum - minimum) * fraction + minimum);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::vector<Report> cut_batch(const std::uint8_t* buffer, int bytes_read, int report_length) {
    std::vector<Report> reports;
    if (buffer == nullptr || report_length < kMinReportLength || bytes_read < report_length)
        return reports;
    reports.reserve(static_cast<std::size_t>(bytes_read / report_length));
    for (int pos = 0; pos <= bytes_read - report_length; pos += report_length) {
        const std::uint8_t* r = buffer + pos;
        reports.push_back(Report{r[1], r[2], r[3], r[4], r[5]});
    }
    return reports;
}

std::optional<std::string> gear_caption(const Report& r) {
    const Gear g = gear_of(r);
    if (g == Gear::Between) return std::nullopt;  // the box is between gears
    return std::string(gear_name(g));
}

bool capture_range(TravelRange& s, std::uint8_t x, std::uint8_t y) {
    bool moved = false;
    if (s.x_min > x) { s.x_min = x; moved = true; }
    if (s.x_max < x) { s.x_max = x; moved = true; }
    if (s.y_min > y) { s.y_min = y; moved = true; }
    if (s.y_max < y) { s.y_max = y; moved = true; }
    // A single position gives no travel to split; a band of 10 keeps the derived
    // thresholds apart. The maxima are bytes, so the band stops at 255 there.
    if (s.y_min == s.y_max) {
        s.y_max = std::min(s.y_min + 5, 255);
        s.y_min = s.y_min - 5;
    }
    if (s.x_min == s.x_max) {
        s.x_max = std::min(s.x_min + 5, 255);
        s.x_min = s.x_min - 5;
    }
    return moved;
}

bool capture_range(MonitorState& s, std::uint8_t x, std::uint8_t y, std::uint8_t mode) {
    const bool moved = capture_range(mode == kModeSequential ? s.sequential_range : s.h_pattern_range, x, y);
    TravelRange both;
    for (const TravelRange* r : {&s.h_pattern_range, &s.sequential_range}) {
        if (!r->seen()) continue;
        both.x_min = std::min(both.x_min, r->x_min);
        both.x_max = std::max(both.x_max, r->x_max);
        both.y_min = std::min(both.y_min, r->y_min);
        both.y_max = std::max(both.y_max, r->y_max);
    }
    s.x_min = both.x_min;
    s.x_max = both.x_max;
    s.y_min = both.y_min;
    s.y_max = both.y_max;
    return moved;
}

Thresholds derive_thresholds(const MonitorState& s, std::uint8_t mode, const Thresholds& current) {
    return derive_thresholds(s.range_of(mode), mode, current);
}

Thresholds derive_thresholds(const TravelRange& s, std::uint8_t mode, const Thresholds& current) {
    Thresholds t = current;
    if (mode == kModeSequential) {
        t.s2 = static_cast<std::int16_t>(derive(s.y_min, s.y_max, 0.8));
        t.s1 = derive(s.y_min, s.y_max, 0.2);
    } else {
        t.v2 = derive(s.y_min, s.y_max, 0.8);
        t.v1 = derive(s.y_min, s.y_max, 0.2);
        t.h1 = derive(s.x_min, s.x_max, 0.25);
        t.h2 = derive(s.x_min, s.x_max, 0.75);
    }
    return t;
}

ThresholdText check_threshold_text(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return {std::nullopt, "is empty"};
    const ThresholdText not_a_number{std::nullopt, "is not a number"};
    static const std::string within = "is not within " + std::to_string(device::kMinThreshold) + " to " +
                                      std::to_string(device::kMaxTypedThreshold);
    const ThresholdText outside{std::nullopt, within};

    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }

    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) return not_a_number;
    if (!std::all_of(whole.begin(), whole.end(), is_digit)) return not_a_number;
    if (!std::all_of(fraction.begin(), fraction.end(), is_digit)) return not_a_number;

    // Anything with more than a handful of integer digits is far outside the
    // accepted range; stopping here keeps the sum below from overflowing.
    std::string_view significant = whole.substr(std::min(whole.find_first_not_of('0'), whole.size()));
    if (significant.size() > 6) return outside;
    int value = 0;
    for (char c : significant) value = value * 10 + (c - '0');

    // Round on the decimal digits themselves: a binary double cannot tell
    // 12.5 from a text that only looks like it.
    if (!fraction.empty()) {
        const char first = fraction.front();
        const bool rest_nonzero =
            fraction.size() > 1 && fraction.substr(1).find_first_not_of('0') != std::string_view::npos;
        if (first > '5' || (first == '5' && (rest_nonzero || value % 2 == 1))) ++value;
    }
    if (negative) value = -value;
    if (value < device::kMinThreshold || value > device::kMaxTypedThreshold) return outside;
    return {value, {}};
}

std::optional<int> parse_threshold_text(std::string_view text) { return check_threshold_text(text).value; }

double map_x(double x, double scale_width) {
    return static_cast<float>((x / 255.0) * scale_width);
}

double map_y(double y, double scale_height) {
    return static_cast<float>(((255.0 - y) / 255.0) * scale_height);
}

}  // namespace monitor
