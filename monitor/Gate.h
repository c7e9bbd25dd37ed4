// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The gate as the thresholds split it, and nothing more: h1 and h2 split X
// into three columns, v1 and v2 split Y into the upper row, neutral and the
// lower row; s1 and s2 split Y in sequential mode. Sixth and reverse share
// the right column's lower row, and how the box tells them apart there (a
// position, a push-down, a switch, or not at all) is the box's own, so the
// gate holds one zone for both and never puts a line between them.

#include <cstdint>
#include <optional>
#include <vector>

#include "monitor/GearRecord.h"
#include "device/Settings.h"

namespace monitor {

enum class GateLine : std::uint8_t { H1, H2, V1, V2, S1, S2 };
// "h1" .. "s2" (stable keys for JSON).
const char* line_name(GateLine line);
// The threshold a line stands for (device::SettingIndex).
int threshold_index(GateLine line);

enum class Zone : std::uint8_t { Neutral, G1, G2, G3, G4, G5, SixOrReverse, Plus, Minus, None };
inline constexpr int kZoneCount = 10;

// The zone a gear the box decoded belongs to; None for "between two gears".
Zone zone_of(Gear gear);
// "N", "1" .. "5", "6/R", "+", "-" (stable keys for JSON).
const char* zone_name(Zone zone);
// In a sentence: "neutral", "gear 3", "gear 6 or reverse", "plus", "minus".
const char* zone_words(Zone zone);

// The zone at a position. A threshold's own value belongs to the middle
// column or to neutral; with crossed thresholds the outer column or row is
// tested first.
Zone zone_at(int x, int y, bool sequential, const device::Thresholds& t);

// How far a position inside its zone moves toward the nearest line that
// bounds the zone before it leaves it, in counts (1 = on the zone's edge).
// Neutral is bounded by its rows only: across it the stick may go from side
// to side. None when no line bounds the zone within 0..255.
struct Margin {
    int counts = 0;
    GateLine line = GateLine::H1;
};
std::optional<Margin> margin_at(int x, int y, bool sequential, const device::Thresholds& t);

// The lines a position passes from one zone into the other, by index.
std::vector<GateLine> lines_between(Zone from, Zone to, bool sequential);

// Whether the thresholds leave a zone any position at all.
bool zone_has_room(Zone zone, bool sequential, const device::Thresholds& t);

// A pair whose lower line is not below the upper one: h1/h2, v1/v2 or s1/s2.
struct CrossedLines {
    GateLine low, high;
    int low_value, high_value;
};
std::vector<CrossedLines> crossed_lines(const device::Thresholds& t, bool sequential);

}  // namespace monitor
