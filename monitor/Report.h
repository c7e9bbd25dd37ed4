// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One input report as the monitor reads it, and the modes its flags name.

#include <cstdint>

namespace monitor {

inline constexpr std::uint8_t kModeH = 0;
inline constexpr std::uint8_t kModeSequential = 2;
inline constexpr std::uint8_t kModeNone = 255;

// One input report as the monitor reads it (bytes 1..5 of the report).
struct Report {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    std::uint8_t gear = 0;
    std::uint8_t minus = 0;
    std::uint8_t flags = 0;
    std::uint8_t mode() const { return flags & 2; }
    bool sequential() const { return mode() == kModeSequential; }
};

}  // namespace monitor
