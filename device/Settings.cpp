// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Settings.h"

namespace device {

int Thresholds::get(int index) const {
    switch (index) {
    case kH1: return h1;
    case kH2: return h2;
    case kV1: return v1;
    case kV2: return v2;
    case kS1: return s1;
    case kS2: return s2;
    }
    return 0;
}

void Thresholds::set(int index, int value) {
    switch (index) {
    case kH1: h1 = value; break;
    case kH2: h2 = value; break;
    case kV1: v1 = value; break;
    case kV2: v2 = value; break;
    case kS1: s1 = value; break;
    case kS2: s2 = static_cast<std::int16_t>(value); break;
    }
}

Thresholds thresholds_from_bytes(const SettingsBytes& bytes) {
    Thresholds t;
    for (int i = 0; i < kSettingCount; ++i) t.set(i, bytes[static_cast<std::size_t>(i)]);
    return t;
}

const char* setting_name(int index) {
    static constexpr const char* kNames[kSettingCount] = {"h1", "h2", "v1", "v2", "s1", "s2"};
    return index >= 0 && index < kSettingCount ? kNames[index] : "?";
}

}  // namespace device
