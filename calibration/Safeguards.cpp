#include "Safeguards.h"

namespace calibration {

std::vector<int> differing_writes(const std::vector<SettingWrite>& sent, const device::Thresholds& read) {
    std::vector<int> differ;
    for (const SettingWrite& w : sent)
        if (read.get(w.index) != w.value) differ.push_back(w.index);
    return differ;
}

std::string readback_mismatch_message(const std::vector<SettingWrite>& sent, const device::Thresholds& read) {
    std::string list;
    for (const SettingWrite& w : sent) {
        if (read.get(w.index) == w.value) continue;
        if (!list.empty()) list += ", ";
        list += std::string(setting_name(w.index)) + " " + std::to_string(read.get(w.index)) + " instead of " +
                std::to_string(w.value);
    }
    return "The box kept other thresholds than were saved: " + list +
           ". The values you set are still in the window; save again.";
}

std::string readback_failed_message(const std::string& reason) {
    return "The thresholds were sent, but the box did not answer when they were read back (" + reason +
           "), so it is not known whether it kept them. Save again.";
}

std::optional<CrossedPair> crossed_pair(const device::Thresholds& t, bool sequential) {
    using namespace device;
    const std::vector<CrossedPair> pairs =
        sequential ? std::vector<CrossedPair>{{kS1, kS2}} : std::vector<CrossedPair>{{kH1, kH2}, {kV1, kV2}};
    for (const CrossedPair& p : pairs)
        if (t.get(p.low) >= t.get(p.high)) return p;
    return std::nullopt;
}

std::string crossed_pair_question(const CrossedPair& pair, const device::Thresholds& t) {
    const std::string low = setting_name(pair.low);
    const std::string high = setting_name(pair.high);
    return low + " (" + std::to_string(t.get(pair.low)) + ") is not below " + high + " (" +
           std::to_string(t.get(pair.high)) + "). The box decodes the gears between these lines, so some gears " +
           "could not be reached.\r\n\r\nSave anyway?";
}

std::string thresholds_text(const device::Thresholds& t) {
    std::string text;
    for (int i = 0; i < device::kSettingCount; ++i) {
        if (i) text += ' ';
        text += std::string(setting_name(i)) + "=" + std::to_string(t.get(i));
    }
    return text;
}

std::optional<device::Thresholds> restore_offer(const Backup& before, const QString& serial,
                                                const device::Thresholds& now) {
    if (before.serial != serial) return std::nullopt;
    if (before.thresholds == now) return std::nullopt;
    return before.thresholds;
}

std::string restore_question(const Backup& before, const device::Thresholds& now) {
    return "The box holds other thresholds than before the firmware update (a new firmware may start from its "
           "factory values).\r\n\r\nNow: " +
           thresholds_text(now) + "\r\nBefore: " + thresholds_text(before.thresholds) +
           "\r\n\r\nPut the calibration from before back into the box?";
}

}  // namespace calibration
