#include "Readout.h"

#include <cmath>

#include "Commands.h"
#include "Products.h"

namespace calibration {

namespace {
constexpr std::size_t kMaxStringUnits = 50;

std::optional<std::string> decoded(const std::optional<std::u16string>& s) {
    if (!s) return std::nullopt;
    return decode_box_string(*s);
}
}  // namespace

std::string decode_box_string(const std::u16string& units) {
    std::string text;
    for (std::size_t i = 0; i < units.size() && i < kMaxStringUnits; ++i) {
        const auto low = static_cast<unsigned char>(units[i] & 0xFF);
        if (low == 0) break;
        text.push_back(static_cast<char>(low));
    }
    return text;
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
        info.manufacturer = decoded(conn.read_handle->manufacturer_string());
        conn.last_result = info.manufacturer.has_value();
        if (info.manufacturer) info.version = version_caption(conn.hid_attributes.version_number);
        info.product = decoded(conn.read_handle->product_string());
        const std::optional<std::u16string> serial = conn.read_handle->serial_number_string();
        info.serial = decoded(serial);
        if (serial) info.serial_units = serial->substr(0, serial->find(u'\0'));
    }
    return info;
}

}  // namespace calibration
