#pragma once
// What the window checks around a save and a firmware update, so that a
// calibration does not silently fail to stick: the read-back after a save,
// crossed threshold pairs, and whether a box that came back from an update
// should be offered its calibration again.

#include <optional>
#include <string>
#include <vector>

#include "Backup.h"
#include "Settings.h"
#include "Writes.h"

namespace calibration {

// The indices, in the order they were sent, whose value the box holds
// differently from what was sent.
std::vector<int> differing_writes(const std::vector<SettingWrite>& sent, const device::Thresholds& read);

// The critical message after a save whose read-back differs, naming each
// threshold with what was sent and what the box kept.
std::string readback_mismatch_message(const std::vector<SettingWrite>& sent, const device::Thresholds& read);
// The box answered no settings after the writes.
std::string readback_failed_message(const std::string& reason);

// A pair of thresholds whose lower line is not below the upper one. The box
// decodes gears between these lines, so a crossed pair makes gears
// unreachable.
struct CrossedPair {
    int low;   // device::SettingIndex: h1, v1 or s1
    int high;  // h2, v2 or s2
};

// The first crossed pair of the mode being saved: h1 < h2 and v1 < v2 in
// H-pattern mode, s1 < s2 in sequential mode.
std::optional<CrossedPair> crossed_pair(const device::Thresholds& t, bool sequential);
std::string crossed_pair_question(const CrossedPair& pair, const device::Thresholds& t);

// "h1=102 h2=152 v1=64 v2=190 s1=100 s2=155".
std::string thresholds_text(const device::Thresholds& t);

// After a firmware update (or a box that comes back from one that broke
// off): the calibration remembered before it, when the box now holds other
// thresholds. A remembered calibration of another box is never offered.
std::optional<device::Thresholds> restore_offer(const Backup& before, const QString& serial,
                                                const device::Thresholds& now);
std::string restore_question(const Backup& before, const device::Thresholds& now);

}  // namespace calibration
