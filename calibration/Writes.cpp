// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/Writes.h"

#include <algorithm>

namespace calibration {

using namespace device;

std::vector<SettingWrite> save_writes(const device::Thresholds& t, bool sequential) {
    if (sequential) return {{kS2, t.s2}, {kS1, t.s1}};
    return {{kV2, t.v2}, {kV1, t.v1}, {kH1, t.h1}, {kH2, t.h2}};
}

std::vector<SettingWrite> all_writes(const device::Thresholds& t) {
    return {{kV2, t.v2}, {kV1, t.v1}, {kH1, t.h1}, {kH2, t.h2}, {kS2, t.s2}, {kS1, t.s1}};
}

device::Thresholds factory_thresholds() {
    device::Thresholds t;
    t.v2 = 190;
    t.v1 = 64;
    t.h1 = 102;
    t.h2 = 152;
    t.s2 = 155;
    t.s1 = 100;
    return t;
}

std::vector<SettingWrite> factory_writes() { return all_writes(factory_thresholds()); }

KnownSettings mode_settings(bool sequential) {
    KnownSettings k;
    if (sequential) {
        k.set(kS1).set(kS2);
    } else {
        k.set(kH1).set(kH2).set(kV1).set(kV2);
    }
    return k;
}

std::vector<SettingWrite> known_writes(const std::vector<SettingWrite>& writes, KnownSettings known) {
    std::vector<SettingWrite> out;
    for (const SettingWrite& w : writes)
        if (w.index >= 0 && w.index < kSettingCount && known.test(static_cast<std::size_t>(w.index))) out.push_back(w);
    return out;
}

const char* setting_name(int index) { return device::setting_name(index); }

std::string written_values(const std::vector<SettingWrite>& writes) {
    std::vector<SettingWrite> sorted = writes;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
    std::string text;
    KnownSettings written;
    for (const SettingWrite& w : sorted) {
        // NAME=VALUE, as every line of thresholds is told.
        if (!text.empty()) text += ' ';
        text += std::string(setting_name(w.index)) + "=" + std::to_string(w.value);
        if (w.index >= 0 && w.index < kSettingCount) written.set(static_cast<std::size_t>(w.index));
    }
    if (written == mode_settings(false)) text += " (H-pattern)";
    if (written == mode_settings(true)) text += " (sequential)";
    return text;
}

}  // namespace calibration
