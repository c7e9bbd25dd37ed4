#include "Commands.h"

#include <algorithm>

#include "Products.h"

namespace device {

namespace {

CommandResult transfer_ready(const DeviceConnection& conn) {
    if (!conn.device_found || !conn.device_handle) return CommandResult::NoDevice;
    if (!conn.not_served.empty()) return CommandResult::NotServed;
    return CommandResult::Sent;
}

// The only place where the report-ID byte and the transfer length are decided.
CommandResult write_feature(DeviceConnection& conn, const std::uint8_t* buffer) {
    const auto length = static_cast<std::size_t>(conn.hid_caps.feature_report_length);
    conn.last_result = conn.device_handle->send_feature_report(std::span<const std::uint8_t>(buffer, length));
    return conn.last_result ? CommandResult::Sent : CommandResult::Failed;
}

// A reply shorter than `needed` bytes (report-ID byte included) is a failed
// read: the bytes it did not reach still hold whatever the buffer held before,
// such as a stick position, and must never be taken for the box's answer.
CommandResult read_feature(DeviceConnection& conn, int needed) {
    const auto length = static_cast<std::size_t>(conn.hid_caps.feature_report_length);
    conn.input_report[0] = 0;
    const int answered =
        conn.device_handle->get_feature_report(std::span<std::uint8_t>(conn.input_report.data(), length));
    conn.last_result = answered >= needed;
    return conn.last_result ? CommandResult::Sent : CommandResult::Failed;
}

CommandResult write_command(DeviceConnection& conn, std::uint8_t code) {
    conn.feature_report[0] = 0x00;
    conn.feature_report[1] = code;
    return write_feature(conn, conn.feature_report.data());
}

}  // namespace

std::optional<std::uint8_t> to_setting_byte(int value) {
    if (value < 0 || value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

CommandResult application_ready(const DeviceConnection& conn) {
    const CommandResult ready = transfer_ready(conn);
    if (ready != CommandResult::Sent) return ready;
    if (is_bootloader(conn.product_id)) return CommandResult::Bootloader;
    return CommandResult::Sent;
}

CommandResult send_setting(DeviceConnection& conn, int index, int value) {
    const CommandResult ready = application_ready(conn);
    if (ready != CommandResult::Sent) return ready;
    const std::optional<std::uint8_t> byte = to_setting_byte(value);
    if (!byte || index < 0 || index >= kSettingCount) return CommandResult::OutOfRange;
    conn.feature_report[2] = static_cast<std::uint8_t>(index);
    conn.feature_report[3] = *byte;
    return write_command(conn, cmd::kSetSetting);
}

CommandResult set_tool_attached(DeviceConnection& conn, bool attached) {
    const CommandResult ready = application_ready(conn);
    if (ready != CommandResult::Sent) return ready;
    conn.feature_report[2] = attached ? 1 : 0;
    return write_command(conn, cmd::kSetToolAttached);
}

CommandResult read_settings(DeviceConnection& conn, SettingsBytes& out) {
    const CommandResult ready = application_ready(conn);
    if (ready != CommandResult::Sent) return ready;
    // Bytes 2 and 3 go out as the previous command left them; the box ignores them.
    if (CommandResult r = write_command(conn, cmd::kReadSettings); r != CommandResult::Sent) return r;
    if (CommandResult r = read_feature(conn, 2 + kSettingCount); r != CommandResult::Sent) return r;
    std::copy_n(conn.input_report.begin() + 2, kSettingCount, out.begin());
    return CommandResult::Sent;
}

CommandResult read_memory(DeviceConnection& conn, MemoryDump& out) {
    const CommandResult ready = application_ready(conn);
    if (ready != CommandResult::Sent) return ready;
    if (CommandResult r = write_command(conn, cmd::kReadMemory); r != CommandResult::Sent) return r;
    CommandResult result = CommandResult::Sent;
    for (int block = 0; block < kMemoryBlocks; ++block) {
        // All eight reads are made even if one fails, so the box's block
        // counter ends where it expects.
        if (read_feature(conn, 2 + kMemoryBlockSize) != CommandResult::Sent) result = CommandResult::Failed;
        std::copy_n(conn.input_report.begin() + 2, kMemoryBlockSize, out.begin() + block * kMemoryBlockSize);
    }
    return result;
}

CommandResult enter_bootloader(DeviceConnection& conn) {
    const CommandResult ready = application_ready(conn);
    if (ready != CommandResult::Sent) return ready;
    std::array<std::uint8_t, kMaxFeatureLength> report{};
    std::copy(cmd::kBootloaderEntry.begin(), cmd::kBootloaderEntry.end(), report.begin() + 1);
    return write_feature(conn, report.data());
}

CommandResult send_firmware_page(DeviceConnection& conn, std::span<const std::uint8_t, kFirmwarePageSize> page) {
    const CommandResult ready = transfer_ready(conn);
    if (ready != CommandResult::Sent) return ready;
    if (!is_bootloader(conn.product_id)) return CommandResult::NoDevice;
    std::array<std::uint8_t, kMaxFeatureLength> report{};
    std::copy(page.begin(), page.end(), report.begin() + 1);
    return write_feature(conn, report.data());
}

}  // namespace device
