// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bringing the window in line with the open box: its strings, version caption,
// stored thresholds and the window title by model.

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "device/Commands.h"
#include "device/Connection.h"
#include "device/Settings.h"

namespace calibration {

// What the window shows for a low byte that would not show as itself: a
// control character (C0, DEL, C1) or the soft hyphen.
inline constexpr char kHiddenByteMark = '?';

// A USB string as the window shows it: the low byte of each UTF-16 code unit
// (Latin-1), ending at the first unit whose low byte is zero; at most 50
// units; a low byte that would not show as itself is kHiddenByteMark.
std::string decode_box_string(const std::u16string& units);

// The most UTF-16 units a USB string descriptor can carry: its length field is
// one byte and counts the two bytes of its header.
inline constexpr std::size_t kMaxUsbStringUnits = 126;

// A USB string as the box reports it, for the command line and the per-box
// store: every UTF-16 unit up to the first zero unit, unchanged, so that an
// honest "ě" stays "ě" and two serials that differ anywhere, even after the
// 50 units the window shows, stay two. At most kMaxUsbStringUnits: no box can
// send more, and a backend that hands over more is not believed.
QString box_string(const std::u16string& units);

// " 1.6" for 0x0106: a leading space, the major number in decimal (the version
// taken as signed 16 bits, so the top bit gives a negative major), a full
// stop, the minor number in upper-case hexadecimal.
std::string version_caption(std::uint16_t version_number);

// The window title for the open box (or none).
const char* window_title(bool device_found, std::uint32_t product_id);

// The six thresholds of a settings reply (bytes 2..7: h1, h2, v1, v2, s1, s2).
device::Thresholds thresholds_from_reply(const device::SettingsBytes& reply);

struct DeviceInfo {
    // nullopt where the query failed: the window keeps what it showed.
    std::optional<std::string> manufacturer;
    std::optional<std::string> version;  // shown only when the manufacturer query worked
    std::optional<std::string> product;
    std::optional<std::string> serial;
    // The same three strings as box_string decodes them, for the command line
    // and the store.
    std::optional<QString> manufacturer_text;
    std::optional<QString> product_text;
    std::optional<QString> serial_text;
    // Why there are none when the box was not asked (bootloader, not served)
    // or the read failed: the working thresholds stay as they were rather than
    // taking a stale input report for settings.
    device::Result<device::Thresholds> thresholds{
        device::Status{device::Fault::NoDevice, "The box was not asked for its thresholds."}};
};

// The exchanges of a readout with an open box: tool attached, settings, the
// three strings. Application commands go only to a served application box.
DeviceInfo read_device_info(device::DeviceConnection& conn);

}  // namespace calibration
