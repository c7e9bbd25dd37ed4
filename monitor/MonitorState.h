// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The live monitor's part of the window state, and the pure arithmetic over
// it: cutting a batch into reports, gear captions, range capture, threshold
// derivation, text validation and the mapping onto the travel map.

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/GearRecord.h"
#include "monitor/Report.h"
#include "device/Settings.h"

namespace monitor {

// One trace cell per stick position, indexed x * 256 + y.
using Trace = std::bitset<256 * 256>;

using device::Thresholds;

// A stick position as the first report of a batch gave it.
struct Position {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
};

// The smallest and largest X and Y seen; a fresh range holds 255 and 0.
struct TravelRange {
    int x_min = 255;
    int x_max = 0;  // 0..255
    int y_min = 255;
    int y_max = 0;  // 0..255
    bool seen() const { return x_min <= x_max; }
};

struct MonitorState {
    Trace h_pattern_trace;
    Trace sequential_trace;
    // The gear decoded last at each traced cell, per mode, for the gear view.
    GearMap h_pattern_gears;
    GearMap sequential_gears;
    // Every report's position and gear, both modes, for the calibration check.
    GearRecord gear_record;
    // The travel over both modes: the union of the two below.
    int x_min = 255;
    int x_max = 0;  // 0..255
    int y_min = 255;
    int y_max = 0;  // 0..255
    // Each mode's own travel: the sequential stick moves along Y only, and
    // through a narrower stretch than the H gate, so each mode's thresholds
    // come from its own.
    TravelRange h_pattern_range;
    TravelRange sequential_range;
    const TravelRange& range_of(std::uint8_t mode) const {
        return mode == kModeSequential ? sequential_range : h_pattern_range;
    }
    std::uint8_t shown_mode = 0;
    bool auto_calibrating = false;
    // Where the markers stand: the first report of the last batch, none
    // before the first batch.
    std::optional<Position> marked;
};

// Reports start at 0, L, 2L, ... while a whole report fits in bytes_read;
// a trailing part shorter than L is ignored. Empty for L < 6.
std::vector<Report> cut_batch(const std::uint8_t* buffer, int bytes_read, int report_length);

// The caption of Gear for a report; nullopt leaves the caption as it was.
std::optional<std::string> gear_caption(const Report& r);

// Widens the range of the report's mode by one position, and the range over
// both modes with it; answers whether a bound of the mode's range moved.
// Keeps every range at least 10 wide once a report was seen; a maximum never
// passes 255.
bool capture_range(MonitorState& s, std::uint8_t x, std::uint8_t y, std::uint8_t mode = kModeH);
bool capture_range(TravelRange& r, std::uint8_t x, std::uint8_t y);

// Thresholds of the given mode derived from that mode's range; the other
// mode's thresholds are taken from `current` unchanged.
Thresholds derive_thresholds(const TravelRange& r, std::uint8_t mode, const Thresholds& current);
Thresholds derive_thresholds(const MonitorState& s, std::uint8_t mode, const Thresholds& current);

// A threshold typed into a text box: optional blanks around, optional sign,
// digits with at most one decimal point; rounded to the nearest whole number,
// halves to even; accepted when 0..254.
std::optional<int> parse_threshold_text(std::string_view text);

// The same, with the reason a text is not taken ("is empty", "is not a
// number", "is not within 0 to 254"); the reason is empty when it is taken.
struct ThresholdText {
    std::optional<int> value;
    std::string problem;
};
ThresholdText check_threshold_text(std::string_view text);

// Position of a raw value on the travel map's drawing area.
double map_x(double x, double scale_width);
double map_y(double y, double scale_height);

}  // namespace monitor
