// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Suggested thresholds: the lines of a mode placed where the stick's rests
// leave them the most room, so that the smallest margin over the mode's
// gears is as large as it can be, each line in the middle of its gap where
// the smallest margin allows. Nothing here reaches the box: a front end
// shows the suggestion and a save writes it like any other thresholds.

#include <optional>
#include <string>
#include <vector>

#include "monitor/Gate.h"
#include "monitor/RestPositions.h"
#include "device/Settings.h"

namespace monitor {

struct SuggestedRest {
    Zone zone = Zone::None;  // where the rest belongs
    std::string name;        // "3", "R", "N", or by position "6/R"
    std::string words;       // "gear 3", "reverse", "gear 6 or reverse"
    std::uint8_t x = 0, y = 0;
    // The margin inside its zone under the current thresholds and under the
    // suggested ones; none when it lies in another zone (then the *_zone).
    std::optional<int> now, then;
    Zone now_zone = Zone::None, then_zone = Zone::None;
};

struct Suggestion {
    bool sequential = false;
    // The box's own decoding was too far off to group the rests by gear, so
    // they are grouped by where they lie.
    bool by_position = false;
    // The current thresholds with this mode's lines moved; a line whose
    // gears on either side have no rest keeps its value.
    device::Thresholds thresholds;
    std::vector<int> moved;  // device::SettingIndex of each line placed
    std::vector<Gear> missing;  // gears of the mode the box never decoded
    std::vector<SuggestedRest> rests;
    std::optional<int> smallest_now, smallest_then;
};

Suggestion suggest_thresholds(const Rests& rests, const device::Thresholds& current);

// How the rests were grouped, a line per rest with its margins in counts
// ("Gear 3: margin 5 now, 44 suggested", "Gear 4: in neutral now, margin 30
// suggested"), then the gears missing.
std::vector<std::string> suggestion_lines(const Suggestion& s);

}  // namespace monitor
