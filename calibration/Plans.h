// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What each change of thresholds will write and what the user must be asked
// first, decided from a few facts about the box before anything is sent.
// BoxSession keeps those facts and does the writing.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "calibration/Backup.h"
#include "monitor/GearRecord.h"
#include "device/Result.h"
#include "device/Settings.h"
#include "calibration/Writes.h"

namespace calibration {

// A pair of thresholds whose lower line is not below the upper one. The box
// decodes gears between these lines, so a crossed pair makes gears
// unreachable.
struct CrossedPair {
    int low;   // device::SettingIndex: h1, v1 or s1
    int high;  // h2, v2 or s2
};

// The crossed pairs among h1/h2, v1/v2 (H-pattern) and s1/s2 (sequential).
std::vector<CrossedPair> crossed_pairs(const device::Thresholds& t, bool h_pattern, bool sequential);

// Something the user must answer yes to before a write goes out.
struct Question {
    enum class Kind { CrossedPair, OtherModel, OtherBox, GearCrossing, EndsCalibration };
    Kind kind;
    std::string statement;  // what is wrong, in plain sentences
    std::string question;   // "Save anyway?", "Write its thresholds into this box?"
};

// Asks the user; true goes ahead.
using Ask = std::function<bool(const Question&)>;

// What one change of thresholds will write, decided before anything is sent.
struct WritePlan {
    std::vector<SettingWrite> writes;  // in wire order
    std::vector<Question> questions;   // each answered yes before anything is sent
    device::Status refused;            // set: a value cannot be written, and nothing is
    std::vector<CrossedPair> crossed;  // the pairs the questions let through
};

// A crossed pair the user said yes to, with the values it had then.
struct ConfirmedPair {
    CrossedPair pair;
    int low_value, high_value;
};

// What the plans read of the open box.
struct BoxFacts {
    std::uint16_t product_id = 0;
    // Exactly as the box reports it; empty when it gives none.
    QString serial;
    std::string path;
    // What the box holds, as last read or written.
    std::optional<device::Thresholds> thresholds;
    // The working thresholds read from the box or set by the user.
    KnownSettings known;
    // Those a running automatic calibration derived.
    KnownSettings derived;
    std::vector<ConfirmedPair> confirmed;
};

// A crossed pair asks first, and so do lines that would move recorded points
// of a gear into another zone.
WritePlan plan_save(const device::Thresholds& t, bool sequential,
                    std::span<const monitor::RecordedReport> recorded = {});
// The named thresholds only, checked against what the box holds for the
// others of their pairs.
WritePlan plan_set(const BoxFacts& box, const std::vector<SettingWrite>& writes);
// All six of a calibration file; a file from another model or another box
// asks first.
WritePlan plan_restore(const BoxFacts& box, const Backup& file);
// While an automatic calibration runs, it asks first: the reset ends it.
WritePlan plan_factory_reset(bool calibrating = false);
// All six, as a calibration kept from before a firmware update.
WritePlan plan_put_back(const device::Thresholds& t);

// What closing writes back: the known thresholds that fit in a byte, in
// closing order, without a pair that is crossed unless the user said yes to
// it, and with what a running calibration derived taken back to what the box
// holds.
std::vector<SettingWrite> closing_writes(const BoxFacts& box, const device::Thresholds& working, bool calibrating);

}  // namespace calibration
