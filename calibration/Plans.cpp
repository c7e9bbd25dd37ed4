// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/Plans.h"

#include "monitor/GearCheck.h"
#include "calibration/Words.h"

namespace calibration {

using device::Thresholds;

namespace {

constexpr CrossedPair kHPairs[] = {{device::kH1, device::kH2}, {device::kV1, device::kV2}};
constexpr CrossedPair kSequentialPair{device::kS1, device::kS2};

bool is_crossed(const CrossedPair& p, const Thresholds& t) { return t.get(p.low) >= t.get(p.high); }

Question crossed_question(const CrossedPair& p, const Thresholds& t, const char* ask) {
    const std::string low = device::setting_name(p.low);
    const std::string high = device::setting_name(p.high);
    return {Question::Kind::CrossedPair,
            low + " (" + std::to_string(t.get(p.low)) + ") is not below " + high + " (" +
                std::to_string(t.get(p.high)) +
                "). The box decodes the gears between these lines, so some gears could not be reached.",
            ask};
}

}  // namespace

std::vector<CrossedPair> crossed_pairs(const Thresholds& t, bool h_pattern, bool sequential) {
    std::vector<CrossedPair> crossed;
    if (h_pattern)
        for (const CrossedPair& p : kHPairs)
            if (is_crossed(p, t)) crossed.push_back(p);
    if (sequential && is_crossed(kSequentialPair, t)) crossed.push_back(kSequentialPair);
    return crossed;
}

WritePlan plan_save(const Thresholds& t, bool sequential, std::span<const monitor::RecordedReport> recorded) {
    WritePlan plan;
    plan.writes = save_writes(t, sequential);
    plan.crossed = crossed_pairs(t, !sequential, sequential);
    for (const CrossedPair& p : plan.crossed) plan.questions.push_back(crossed_question(p, t, "Save anyway?"));
    if (const std::string moved = monitor::crossings_statement(monitor::save_crossings(recorded, t, sequential), t);
        !moved.empty())
        plan.questions.push_back({Question::Kind::GearCrossing, moved, "Save anyway?"});
    return plan;
}

WritePlan plan_set(const BoxFacts& box, const std::vector<SettingWrite>& writes) {
    WritePlan plan;
    plan.writes = writes;
    // A pair is checked with the box's value for the threshold not given.
    Thresholds t = box.thresholds.value_or(Thresholds{});
    KnownSettings given;
    for (const SettingWrite& w : writes) {
        t.set(w.index, w.value);
        given.set(static_cast<std::size_t>(w.index));
    }
    for (const CrossedPair& p : crossed_pairs(t, true, true)) {
        const bool low = given.test(static_cast<std::size_t>(p.low)), high = given.test(static_cast<std::size_t>(p.high));
        if (!low && !high) continue;
        if (!box.thresholds && !(low && high)) continue;  // the other line is not known
        plan.crossed.push_back(p);
        plan.questions.push_back(crossed_question(p, t, "Write them anyway?"));
    }
    return plan;
}

WritePlan plan_restore(const BoxFacts& box, const Backup& file) {
    WritePlan plan;
    plan.writes = all_writes(file.thresholds);
    const std::uint16_t pid = box.product_id;
    // Without a serial number only its place on the bus tells a box from
    // another of its model.
    const std::string here = "this " + model_name(pid).toStdString() + " box (" +
                             (box.serial.isEmpty() ? "no serial number, at " + box.path
                                                : "serial number \"" + box.serial.toStdString() + "\"") +
                             ")";
    const bool same_box = box.serial.isEmpty() ? file.serial.isEmpty() && file.path.toStdString() == box.path
                                            : file.serial == box.serial;
    if (file.product_id != pid)
        plan.questions.push_back({Question::Kind::OtherModel,
                                  "The file was saved from a " + model_name(file.product_id).toStdString() +
                                      " box (product ID " + QString::number(file.product_id, 16).toUpper().toStdString() +
                                      "), not from " + here + ".",
                                  "Write its thresholds into this box?"});
    else if (!same_box && file.serial.isEmpty())
        plan.questions.push_back({Question::Kind::OtherBox,
                                  "The file was saved from a box without a serial number" +
                                      (file.path.isEmpty() ? std::string() : " at " + file.path.toStdString()) +
                                      ", so nothing tells that it came from " + here + ".",
                                  "Write its thresholds into this box?"});
    else if (!same_box)
        plan.questions.push_back({Question::Kind::OtherBox,
                                  "The file was saved from the box with serial number \"" + file.serial.toStdString() +
                                      "\", not from " + here + ".",
                                  "Write its thresholds into this box?"});
    plan.crossed = crossed_pairs(file.thresholds, true, true);
    for (const CrossedPair& p : plan.crossed)
        plan.questions.push_back(crossed_question(p, file.thresholds, "Write them anyway?"));
    return plan;
}

WritePlan plan_factory_reset(bool calibrating) {
    WritePlan plan;
    plan.writes = factory_writes();
    if (calibrating)
        plan.questions.push_back({Question::Kind::EndsCalibration,
                                  "A calibration is running. A factory reset ends it, and the thresholds it found "
                                  "are not saved.",
                                  "Write the factory thresholds into the box?"});
    return plan;
}

WritePlan plan_put_back(const Thresholds& t) {
    WritePlan plan;
    plan.writes = all_writes(t);
    return plan;
}

namespace {

bool confirmed(const BoxFacts& box, const CrossedPair& pair, const Thresholds& t) {
    for (const ConfirmedPair& c : box.confirmed)
        if (c.pair.low == pair.low && c.low_value == t.get(pair.low) && c.high_value == t.get(pair.high)) return true;
    return false;
}

}  // namespace

std::vector<SettingWrite> closing_writes(const BoxFacts& box, const Thresholds& working, bool calibrating) {
    Thresholds t = working;
    KnownSettings known = box.known;
    if (calibrating) {
        // The calibration is cancelled: what it derived is not written.
        for (int i = 0; i < device::kSettingCount; ++i) {
            if (!box.derived.test(static_cast<std::size_t>(i))) continue;
            if (box.thresholds)
                t.set(i, box.thresholds->get(i));
            else
                known.reset(static_cast<std::size_t>(i));
        }
    }
    // A pair is judged only where both of its lines are known.
    for (const CrossedPair& p : crossed_pairs(t, true, true)) {
        const auto low = static_cast<std::size_t>(p.low), high = static_cast<std::size_t>(p.high);
        if (known.test(low) && known.test(high) && !confirmed(box, p, t)) known.reset(low).reset(high);
    }
    std::vector<SettingWrite> writes;
    for (const SettingWrite& w : known_writes(all_writes(t), known))
        if (w.value >= kMinThreshold && w.value <= kMaxThreshold) writes.push_back(w);
    return writes;
}

}  // namespace calibration
