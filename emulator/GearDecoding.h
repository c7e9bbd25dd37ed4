// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the emulated box decides the gear from a stick position and its stored
// thresholds, with each of the ways a box may tell reverse from sixth.

#include <cstdint>

namespace emulator {

// What the box's application firmware decodes from a stick position.
struct DecodedGear {
    std::uint8_t gear_bits = 0;   // input byte 3
    std::uint8_t minus = 0;       // input byte 4
};

struct BoxSettings {
    // Index order of the wire: h1, h2, v1, v2, s1, s2.
    std::uint8_t value[6] = {102, 152, 64, 190, 100, 155};
};

// How a box tells reverse from sixth in the right column's lower row, which
// the thresholds give to both: the tool must serve each of them.
enum class ReverseRule : std::uint8_t {
    Position,  // pushed on past sixth: the bottom quarter of the lower row (Y below v1 / 4)
    Flag,      // a push-down or a switch on the stick, wherever in the row it stands
    Gate,      // the whole of the row: a five-speed gate with reverse where sixth would be
    None,      // not at all: the row is sixth, reverse is not reported
};
inline constexpr ReverseRule kReverseRules[] = {ReverseRule::Position, ReverseRule::Flag, ReverseRule::Gate,
                                                ReverseRule::None};
// "position", "flag", "gate", "none".
const char* reverse_rule_name(ReverseRule rule);

// The gear the box reports for a stick position under the given thresholds.
// H-pattern: h1 and h2 split X into three columns (1/2, 3/4, 5/6 and
// reverse), Y above v2 is the upper row (1, 3, 5) and below v1 the lower row
// (2, 4, and 6 or reverse by the rule; `reverse_held` is the stick's flag).
// Sequential: Y above s2 is plus, below s1 is minus.
DecodedGear decode_gear(std::uint8_t x, std::uint8_t y, bool sequential, const BoxSettings& s,
                        ReverseRule rule = ReverseRule::Position, bool reverse_held = false);

}  // namespace emulator
