// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which thresholds go to the box, and in which order.

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/Commands.h"
#include "device/Settings.h"

namespace calibration {

struct SettingWrite {
    int index;  // device::SettingIndex
    int value;
};

// Save: the four H-pattern thresholds (v2, v1, h1, h2) or the two sequential
// ones (s2, s1).
std::vector<SettingWrite> save_writes(const device::Thresholds& t, bool sequential);
// All six, as on closing: v2, v1, h1, h2, s2, s1.
std::vector<SettingWrite> all_writes(const device::Thresholds& t);
// The factory thresholds, in the order they are assigned and sent.
std::vector<SettingWrite> factory_writes();
device::Thresholds factory_thresholds();

// Which working thresholds the tool knows, by setting index: read from the
// box since it was found, or set by the user since (typed, derived by a
// calibration, a factory reset). A threshold the tool does not know holds the
// start value 0, not the box's calibration, and must never be written back.
using KnownSettings = std::bitset<device::kSettingCount>;
// The indices a mode's text boxes and calibration set: h1, h2, v1, v2 or s1, s2.
KnownSettings mode_settings(bool sequential);
// The writes of known thresholds only, in their order.
std::vector<SettingWrite> known_writes(const std::vector<SettingWrite>& writes, KnownSettings known);

const char* setting_name(int index);

// What writes put into the box, as a person reads it: "h1=102 h2=152 v1=64
// v2=190 (H-pattern)", in the thresholds' order, with the mode when the
// writes are exactly one mode's thresholds.
std::string written_values(const std::vector<SettingWrite>& writes);

}  // namespace calibration
