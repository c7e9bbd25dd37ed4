// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/GearDecoding.h"

namespace emulator {

namespace {

// Gear bits of input byte 3.
constexpr std::uint8_t kGear1 = 1, kGear2 = 2, kGear3 = 4, kGear4 = 8, kGear5 = 16, kGear6 = 32;
constexpr std::uint8_t kReverse = 64, kPlus = 128;

}  // namespace

const char* reverse_rule_name(ReverseRule rule) {
    switch (rule) {
    case ReverseRule::Position: return "position";
    case ReverseRule::Flag: return "flag";
    case ReverseRule::Gate: return "gate";
    case ReverseRule::None: return "none";
    }
    return "position";
}

DecodedGear decode_gear(std::uint8_t x, std::uint8_t y, bool sequential, const BoxSettings& s, ReverseRule rule,
                        bool reverse_held) {
    const std::uint8_t h1 = s.value[0], h2 = s.value[1], v1 = s.value[2], v2 = s.value[3];
    const std::uint8_t s1 = s.value[4], s2 = s.value[5];
    if (sequential) {
        if (y > s2) return {kPlus, 0};
        if (y < s1) return {0, 1};
        return {};
    }
    // With crossed thresholds the first test wins, so a box with a bad
    // calibration still reports one gear at most.
    const int column = x < h1 ? 0 : (x > h2 ? 2 : 1);
    if (y > v2) {
        constexpr std::uint8_t upper[3] = {kGear1, kGear3, kGear5};
        return {upper[column], 0};
    }
    if (y < v1) {
        if (column == 2) {
            bool reverse = false;
            switch (rule) {
            // Pushed on past sixth, through the bottom quarter of the lower
            // row. 4y < v1 avoids rounding v1 / 4.
            case ReverseRule::Position: reverse = 4 * int{y} < int{v1}; break;
            case ReverseRule::Flag: reverse = reverse_held; break;
            case ReverseRule::Gate: reverse = true; break;
            case ReverseRule::None: break;
            }
            if (reverse) return {kReverse, 0};
        }
        constexpr std::uint8_t lower[3] = {kGear2, kGear4, kGear6};
        return {lower[column], 0};
    }
    return {};
}

}  // namespace emulator
