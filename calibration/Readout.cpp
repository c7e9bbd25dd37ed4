// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/Readout.h"

#include <algorithm>
#include <cmath>

#include "device/Commands.h"
#include "device/Products.h"

namespace calibration {

namespace {
constexpr std::size_t kMaxStringUnits = 50;

std::optional<std::string> decoded(const std::optional<std::u16string>& s) {
    if (!s) return std::nullopt;
    return decode_box_string(*s);
}

std::optional<QString> exact(const std::optional<std::u16string>& s) {
    if (!s) return std::nullopt;
    return box_string(*s);
}
}  // namespace

std::string decode_box_string(const std::u16string& units) {
    std::string text;
    for (std::size_t i = 0; i < units.size() && i < kMaxStringUnits; ++i) {
        const auto low = static_cast<unsigned char>(units[i] & 0xFF);
        if (low == 0) break;
        // A label would take a control for what it is (U+011B has ESC for its
        // low byte, U+200B a vertical tab), and a soft hyphen shows nothing.
        const bool hidden = low < 0x20 || (low >= 0x7F && low <= 0x9F) || low == 0xAD;
        text.push_back(hidden ? kHiddenByteMark : static_cast<char>(low));
    }
    return text;
}

QString box_string(const std::u16string& units) {
    const std::size_t end = std::min({units.find(u'\0'), units.size(), kMaxUsbStringUnits});
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(end));
}

std::string version_caption(std::uint16_t version_number) {
    const int v = static_cast<std::int16_t>(version_number);
    const int major = static_cast<int>(std::floor(v / 256.0));
    const int minor = v - major * 256;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(minor));
    return " " + std::to_string(major) + "." + hex;
}

const char* window_title(bool device_found, std::uint32_t product_id) {
    if (!device_found) return device::kGenericTitle;
    const device::ProductInfo* p = device::find_product(product_id);
    return p ? p->title : device::kGenericTitle;
}

device::Thresholds thresholds_from_reply(const device::SettingsBytes& reply) {
    return device::thresholds_from_bytes(reply);
}

DeviceInfo read_device_info(device::DeviceConnection& conn) {
    DeviceInfo info;
    if (!conn.device_found) return info;
    if (device::Status ready = device::application_ready(conn); !ready) {
        info.thresholds = ready;
    } else {
        (void)device::set_tool_attached(conn, true);
        const device::Result<device::SettingsBytes> reply = device::read_settings(conn);
        info.thresholds = reply ? device::Result<device::Thresholds>(thresholds_from_reply(*reply))
                                : device::Result<device::Thresholds>(reply.status());
    }
    // The strings are plain USB descriptors; the bootloader answers them too.
    if (conn.read_handle) {
        const std::optional<std::u16string> manufacturer = conn.read_handle->manufacturer_string();
        info.manufacturer = decoded(manufacturer);
        info.manufacturer_text = exact(manufacturer);
        conn.last_result = info.manufacturer.has_value();
        if (info.manufacturer) info.version = version_caption(conn.hid_attributes.version_number);
        const std::optional<std::u16string> product = conn.read_handle->product_string();
        info.product = decoded(product);
        info.product_text = exact(product);
        const std::optional<std::u16string> serial = conn.read_handle->serial_number_string();
        info.serial = decoded(serial);
        info.serial_text = exact(serial);
    }
    return info;
}

}  // namespace calibration
