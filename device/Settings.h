// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The box's six stored thresholds: their indices on the wire and the tool's
// working copy of them.

#include <array>
#include <cstdint>

namespace device {

inline constexpr int kSettingCount = 6;

// Setting indices on the wire: X splits the columns (h1, h2), Y the rows of
// the H gate (v1, v2) and the plus and minus of the sequential gate (s1, s2).
enum SettingIndex : int { kH1 = 0, kH2 = 1, kV1 = 2, kV2 = 3, kS1 = 4, kS2 = 5 };

using SettingsBytes = std::array<std::uint8_t, kSettingCount>;

// What may be written into a threshold: one byte, 0 to 255. Whatever was read
// from a box can thus be written back into it: a calibration file, shifterctl
// set and closing the window take 255 too.
inline constexpr int kMinThreshold = 0;
inline constexpr int kMaxThreshold = 255;
// What the window's threshold boxes take when a value is typed: 0 to 254, as
// the window always has; 255 typed there is ignored like any text it does not
// take. A box that holds 255 keeps it and shows it; only typing it is refused.
inline constexpr int kMaxTypedThreshold = 254;

// The six working thresholds. They are whole numbers but may leave 0..255
// (automatic calibration can derive -3 or 260); only the wire needs a byte.
struct Thresholds {
    int h1 = 0;
    int h2 = 0;
    int v1 = 0;
    int v2 = 0;
    int s1 = 0;
    std::int16_t s2 = 0;

    bool operator==(const Thresholds&) const = default;
    int get(int index) const;
    void set(int index, int value);
};

// The thresholds of a settings reply, by index.
Thresholds thresholds_from_bytes(const SettingsBytes& bytes);

// "h1" .. "s2"; "?" for an index outside 0..5.
const char* setting_name(int index);

}  // namespace device
