// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/Words.h"

#include "device/Products.h"

namespace calibration {

QString version_text(std::uint16_t version) {
    return QString("%1.%2").arg(version >> 8, 0, 16).arg(version & 0xFF, 2, 16, QChar('0')).toUpper();
}

QString model_name(std::uint32_t product_id) {
    const device::ProductInfo* p = device::find_product(product_id);
    return p ? QString(p->name) : QString("unknown");
}

std::string thresholds_line(const device::Thresholds& t) {
    std::string text;
    for (int i = 0; i < device::kSettingCount; ++i) {
        if (i > 0) text += ' ';
        text += std::string(device::setting_name(i)) + "=" + std::to_string(t.get(i));
    }
    return text;
}

std::string failure_text(const device::Status& status, const std::string& again) {
    const std::string& sentence = status.sentence();
    switch (status.fault()) {
    case device::Fault::NoDevice: return sentence + " Plug it in and " + again + ".";
    case device::Fault::Missing: return sentence + " Unplug the box, plug it in again and " + again + ".";
    case device::Fault::Failed:
    case device::Fault::Stopped:
        return sentence + " The box may be waiting in its update mode for a whole firmware: " + again +
               " to write it.";
    case device::Fault::Ambiguous:
        return sentence + " Unplug the other boxes, leave only this one plugged in and " + again + ".";
    default: return sentence;
    }
}

}  // namespace calibration
