// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calibration check: how safely each gear sits inside the zone the
// thresholds give it, read from the recorded reports, and which gears a new
// set of thresholds would take recorded points away from. Plain C++: the
// window shows the lines beside the map, shifterctl prints them or the
// structured result as JSON.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "GearRecord.h"
#include "Settings.h"

namespace monitor {

// The lines of the gate. Reverse is where the box splits its right column's
// lower row: below v1 / 4 is reverse, above it sixth, so it moves with v1.
enum class GateLine : std::uint8_t { H1, H2, V1, V2, S1, S2, Reverse };
// "h1" .. "s2", "reverse" (stable keys for JSON).
const char* line_name(GateLine line);

// The gear the box decodes at a position under these thresholds, by the box's
// own rule: X below h1 is the left column, above h2 the right one, h1..h2
// the middle; Y above v2 the upper row, below v1 the lower row, v1..v2
// neutral; reverse in the right column where 4 Y < v1. Sequential: Y above s2
// plus, below s1 minus. A threshold's own value belongs to the middle column
// or to neutral. With crossed thresholds the first test wins, as in the box.
Gear gear_at(std::uint8_t x, std::uint8_t y, bool sequential, const device::Thresholds& t);

// A resting hand moves the stick by a few counts and the sensor adds a count
// or two of noise, so a gear that usually sits closer than this to a line
// drops out of gear, or into the next one, now and then while the stick
// rests in it.
inline constexpr int kMarginLimit = 8;

struct GearMismatch {
    Gear decoded;
    std::size_t reports = 0;
};

struct GearStatus {
    Gear gear = Gear::Neutral;
    // Reports the box decoded as this gear.
    std::size_t reports = 0;
    // Reports at a position the thresholds give to this gear.
    std::size_t reached = 0;
    // How far the stick moves toward `line` before the box decodes something
    // else, in counts (1 = on the zone's edge), from the reports where box and
    // thresholds agree on this gear: for each line that bounds the zone the
    // median over those reports, and the smallest of these. The median stands
    // for where the stick rests in the gear; the way in and out of a gear
    // always passes close to its lines. None without such reports.
    std::optional<int> margin;
    GateLine line = GateLine::H1;
    bool at_risk = false;  // margin below the limit
    // Reports at this gear's position that the box decoded otherwise.
    std::vector<GearMismatch> mismatches;
};

struct GearCheck {
    bool sequential = false;
    int limit = kMarginLimit;
    // In the gate's order (1 .. 6, R, N or +, -, N); only gears that were
    // decoded or reached.
    std::vector<GearStatus> gears;

    bool any_at_risk() const;
    bool any_mismatch() const;
};

// The check of one mode's reports against the thresholds (those on screen,
// typed or derived, need not be the box's).
GearCheck check_gears(std::span<const RecordedReport> reports, const device::Thresholds& t, bool sequential,
                      int limit = kMarginLimit);

// One short line per gear, e.g. "Gear 3: 412 reports, margin 5 counts to v2 — at risk".
std::string gear_line(const GearStatus& status);
std::vector<std::string> gear_lines(const GearCheck& check);

// Recorded points of a gear (or of neutral) that the thresholds about to be
// saved would decode as another one.
struct GearCrossing {
    Gear gear;  // what the box decoded there
    Gear into;  // what the new thresholds make of it
    std::size_t reports = 0;
    std::vector<GateLine> lines;  // the thresholds between the two zones, by index
};

// The way into and out of a gear passes every line near it, so any line that
// moves takes some of those points along, and a calibration moves every line
// a little. Where the stick rests there are many reports at a few positions.
// A crossing is named when it holds at least this share of the gear's
// reports: the place where the stick rests, or most of the way to it.
inline constexpr double kCrossingShare = 0.25;

std::vector<GearCrossing> save_crossings(std::span<const RecordedReport> reports, const device::Thresholds& to_save,
                                         bool sequential);
// "With v2 at 200, 35 recorded points of gear 3 would fall into neutral."
std::string crossing_sentence(const GearCrossing& crossing, const device::Thresholds& to_save);
// Every crossing's sentence; empty without crossings. The box session asks
// it before a save as it asks about a crossed pair.
std::string crossings_statement(const std::vector<GearCrossing>& crossings, const device::Thresholds& to_save);

}  // namespace monitor
