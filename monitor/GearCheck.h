// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calibration check: for each gear of a mode, whether the box decoded it,
// where the stick rests in it, whether the thresholds put that rest into the
// gear's own zone and how far inside; and which gears a new set of thresholds
// would take the resting stick out of. Plain C++: the window shows the lines
// beside the map, shifterctl prints them or the structured result as JSON.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "monitor/Gate.h"
#include "monitor/GearRecord.h"
#include "monitor/RestPositions.h"
#include "device/Settings.h"

namespace monitor {

// A resting hand moves the stick by a few counts and the sensor adds a count
// or two of noise, so a gear that rests closer than this to a line drops out
// of gear, or into the next one, now and then.
inline constexpr int kMarginLimit = 8;

struct GearStatus {
    Gear gear = Gear::Neutral;
    // Reports the box decoded as this gear; 0: not reached.
    std::size_t reports = 0;
    std::optional<Rest> rest;
    // The zone the thresholds give the rest; the gear's own one unless a mismatch.
    Zone zone = Zone::None;
    // The thresholds leave the gear's zone no position at all.
    bool no_zone = false;
    // The rest's margin inside its own zone; none outside it, or unbounded.
    std::optional<int> margin;
    GateLine line = GateLine::H1;
    bool at_risk = false;  // margin below the limit

    bool reached() const { return reports > 0; }
    // The box decoded the gear where the thresholds give another zone.
    bool mismatch() const { return rest && zone != zone_of(gear); }
};

struct GearCheck {
    bool sequential = false;
    int limit = kMarginLimit;
    // Every gear of the mode, in the gate's order: 1 .. 6, R, N or +, -, N.
    std::vector<GearStatus> gears;
    std::vector<CrossedLines> crossed;

    bool any_at_risk() const;
    bool any_mismatch() const;
    bool any_missing() const;
    // Every gear reached, resting in its own zone clear of the margin, and no
    // pair crossed.
    bool all_clear() const;
};

// The check of one mode's reports against the thresholds (those on screen,
// typed or derived, need not be the box's).
GearCheck check_gears(std::span<const RecordedReport> reports, const device::Thresholds& t, bool sequential,
                      int limit = kMarginLimit);
GearCheck check_gears(const Rests& rests, const device::Thresholds& t, int limit = kMarginLimit);

// One short line per gear, e.g. "Gear 3: 412 reports, margin 5 counts to v2 — at risk".
std::string gear_line(const GearStatus& status);
// A line per gear, then one per crossed pair.
std::vector<std::string> gear_lines(const GearCheck& check);
// The verdict under the lines: the all-clear, or what keeps it back.
std::string check_summary(const GearCheck& check);

// A gear whose rest the thresholds about to be saved would put into another
// zone, or within the margin of a line.
// When the box's own gears do not follow the gate, its gears say nothing of
// where the stick rests in each: then every place where it rested is judged
// by the margin alone, and `gear` is Between.
struct GearCrossing {
    Gear gear;  // what the box decoded there
    Rest rest;
    Zone into;                       // the zone the new lines give the rest
    std::optional<int> margin;       // inside its own zone: how far
    std::vector<GateLine> lines;     // the lines that move it, by index
};

std::vector<GearCrossing> save_crossings(std::span<const RecordedReport> reports, const device::Thresholds& to_save,
                                         bool sequential, int limit = kMarginLimit);
// "With v2 at 240, the stick resting in gear 3 (X 127, Y 234) would be in neutral."
std::string crossing_sentence(const GearCrossing& crossing, const device::Thresholds& to_save);
// Every crossing's sentence; empty without crossings. The box session asks
// it before a save as it asks about a crossed pair.
std::string crossings_statement(const std::vector<GearCrossing>& crossings, const device::Thresholds& to_save);

}  // namespace monitor
