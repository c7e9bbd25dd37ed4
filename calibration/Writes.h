#pragma once
// Which thresholds go to the box, in which order, and whether they fit.

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "Settings.h"

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

// The first write whose value does not fit in a setting byte.
std::optional<SettingWrite> first_out_of_range(const std::vector<SettingWrite>& writes);

// The message shown when a save cannot send a threshold.
std::string out_of_range_message(const SettingWrite& w);

struct SendOutcome {
    // Set when a value did not fit: then nothing was sent.
    std::optional<SettingWrite> out_of_range;
    // Writes the box did not take (a failed transfer does not stop the rest).
    int failed = 0;
};

// Sends the writes in order, all or nothing as far as the values go: when any
// value is out of range nothing is sent.
SendOutcome send_writes(device::DeviceConnection& conn, const std::vector<SettingWrite>& writes);

// Sends every write whose value fits and skips the others (closing the window
// must not be held up, and a threshold that does not fit is not wrapped).
void send_fitting_writes(device::DeviceConnection& conn, const std::vector<SettingWrite>& writes);

}  // namespace calibration
