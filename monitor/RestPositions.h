// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the stick rests, found in the record of reports. The way into and out
// of a gear passes close to every line near it, so a calibration is judged
// where the hand lets go of the stick: many reports within a few counts. A
// gear the stick only passed through is judged at the far end of its gate.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "monitor/GearRecord.h"

namespace monitor {

// A place where the stick stayed: the middle (median X and Y) of the reports
// within kRestSpan counts of it, and the gear the box decoded most there.
struct RestSpot {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    std::size_t reports = 0;
    Gear gear = Gear::Neutral;
};

struct Rest {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    // True: a place where the stick stayed; false: the far end of its gate.
    bool resting = false;
};

// A resting hand and the sensor's noise keep the stick within a few counts:
// reports within a square of this side count as one place.
inline constexpr int kRestSpan = 8;
// A place holds at least this many reports, and at least this share of the
// mode's reports, to count as one where the stick stayed.
inline constexpr std::size_t kRestReports = 10;
inline constexpr double kRestShare = 0.02;

struct Rests {
    bool sequential = false;
    // Reports of the mode the box decoded as each gear.
    std::array<std::size_t, kGearCount> reports{};
    // Each decoded gear's rest: its largest spot, else the far end of its gate.
    std::array<std::optional<Rest>, kGearCount> of_gear{};
    // Every place the stick stayed, most reports first.
    std::vector<RestSpot> spots;

    const std::optional<Rest>& rest(Gear g) const { return of_gear[static_cast<int>(g)]; }
    std::size_t decoded(Gear g) const { return reports[static_cast<int>(g)]; }
};

Rests find_rests(std::span<const RecordedReport> reports, bool sequential);

// The box decoded one gear at two places in different columns or on both
// sides of neutral (neutral: at two heights far apart): its decoding does not
// follow the gate, so its gears cannot group the rests.
bool decoded_apart(const Rests& rests);

}  // namespace monitor
