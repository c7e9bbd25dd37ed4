// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Commands.h"

#include <algorithm>

#include "device/Products.h"

namespace device {

namespace {

Status transfer_ready(const DeviceConnection& conn) {
    if (!conn.device_found || !conn.device_handle) return {Fault::NoDevice, "No box is open."};
    if (!conn.serving) return conn.serving;
    return {};
}

Status transfer_failed() { return {Fault::Failed, "The box did not take the report."}; }

// The only place where the report-ID byte and the transfer length are decided.
Status write_feature(DeviceConnection& conn, const std::uint8_t* buffer) {
    const auto length = static_cast<std::size_t>(conn.hid_caps.feature_report_length);
    conn.last_result = conn.device_handle->send_feature_report(std::span<const std::uint8_t>(buffer, length));
    return conn.last_result ? Status{} : transfer_failed();
}

// A reply shorter than `needed` bytes (report-ID byte included) is a failed
// read: the bytes it did not reach still hold whatever the buffer held before,
// such as a stick position, and must never be taken for the box's answer.
Status read_feature(DeviceConnection& conn, int needed) {
    const auto length = static_cast<std::size_t>(conn.hid_caps.feature_report_length);
    conn.input_report[0] = 0;
    const int answered =
        conn.device_handle->get_feature_report(std::span<std::uint8_t>(conn.input_report.data(), length));
    conn.last_result = answered >= needed;
    if (conn.last_result) return {};
    if (answered < 0) return {Fault::Failed, "The box did not answer."};
    return {Fault::Failed, "The box answered " + std::to_string(answered) + " bytes where " + std::to_string(needed) +
                               " were needed."};
}

Status write_command(DeviceConnection& conn, std::uint8_t code) {
    conn.feature_report[0] = 0x00;
    conn.feature_report[1] = code;
    return write_feature(conn, conn.feature_report.data());
}

}  // namespace

std::optional<std::uint8_t> to_setting_byte(int value) {
    if (value < 0 || value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

Status application_ready(const DeviceConnection& conn) {
    if (Status ready = transfer_ready(conn); !ready) return ready;
    if (is_bootloader(conn.product_id))
        return {Fault::Bootloader, "The box is in its update mode, which takes no commands but firmware."};
    return {};
}

Status send_setting(DeviceConnection& conn, int index, int value) {
    if (Status ready = application_ready(conn); !ready) return ready;
    if (index < 0 || index >= kSettingCount)
        return {Fault::OutOfRange, "The box has no setting " + std::to_string(index) + "."};
    const std::optional<std::uint8_t> byte = to_setting_byte(value);
    if (!byte)
        return {Fault::OutOfRange, std::string("The threshold ") + setting_name(index) + " is " +
                                       std::to_string(value) + ", outside 0 to 255."};
    conn.feature_report[2] = static_cast<std::uint8_t>(index);
    conn.feature_report[3] = *byte;
    return write_command(conn, cmd::kSetSetting);
}

Status set_tool_attached(DeviceConnection& conn, bool attached) {
    if (Status ready = application_ready(conn); !ready) return ready;
    conn.feature_report[2] = attached ? 1 : 0;
    return write_command(conn, cmd::kSetToolAttached);
}

Result<SettingsBytes> read_settings(DeviceConnection& conn) {
    if (Status ready = application_ready(conn); !ready) return ready;
    // Bytes 2 and 3 go out as the previous command left them; the box ignores them.
    if (Status r = write_command(conn, cmd::kReadSettings); !r) return r;
    if (Status r = read_feature(conn, 2 + kSettingCount); !r) return r;
    SettingsBytes out{};
    std::copy_n(conn.input_report.begin() + 2, kSettingCount, out.begin());
    return out;
}

Result<MemoryDump> read_memory(DeviceConnection& conn) {
    if (Status ready = application_ready(conn); !ready) return ready;
    if (Status r = write_command(conn, cmd::kReadMemory); !r) return r;
    Status result;
    MemoryDump out{};
    for (int block = 0; block < kMemoryBlocks; ++block) {
        // All eight reads are made even if one fails, so the box's block
        // counter ends where it expects.
        if (Status r = read_feature(conn, 2 + kMemoryBlockSize); !r && result) result = r;
        std::copy_n(conn.input_report.begin() + 2, kMemoryBlockSize, out.begin() + block * kMemoryBlockSize);
    }
    if (!result) return result;
    return out;
}

Status enter_bootloader(DeviceConnection& conn) {
    if (Status ready = application_ready(conn); !ready) return ready;
    std::array<std::uint8_t, kMaxFeatureLength> report{};
    std::copy(cmd::kBootloaderEntry.begin(), cmd::kBootloaderEntry.end(), report.begin() + 1);
    return write_feature(conn, report.data());
}

Status send_firmware_page(DeviceConnection& conn, std::span<const std::uint8_t, kFirmwarePageSize> page) {
    if (Status ready = transfer_ready(conn); !ready) return ready;
    // A box running its application would take the page for a command.
    if (!is_bootloader(conn.product_id)) return {Fault::NoDevice, "No box in its update mode is open."};
    std::array<std::uint8_t, kMaxFeatureLength> report{};
    std::copy(page.begin(), page.end(), report.begin() + 1);
    return write_feature(conn, report.data());
}

}  // namespace device
