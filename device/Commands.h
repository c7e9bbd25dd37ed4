#pragma once
// The box's feature-report commands, framed in one place. Every transfer goes
// through device_handle and passes exactly the box's feature report length.
// Application commands are never sent to the bootloader: it takes every
// feature report as the next firmware page and would write it into flash.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "Connection.h"
#include "Settings.h"

namespace device {

namespace cmd {
inline constexpr std::uint8_t kSetSetting = 0xEE;
inline constexpr std::uint8_t kReadSettings = 0xF0;
inline constexpr std::uint8_t kSetToolAttached = 0xDB;
inline constexpr std::uint8_t kReadMemory = 0xD0;
inline constexpr std::array<std::uint8_t, 3> kBootloaderEntry{0xA7, 0x3C, 0x51};
}  // namespace cmd

inline constexpr int kMemoryBlocks = 8;
inline constexpr int kMemoryBlockSize = 16;
inline constexpr int kMemoryDumpSize = kMemoryBlocks * kMemoryBlockSize;
inline constexpr int kFirmwarePageSize = 40;

using MemoryDump = std::array<std::uint8_t, kMemoryDumpSize>;

// A working value fits on the wire when it is a whole number 0..255.
std::optional<std::uint8_t> to_setting_byte(int value);

// Why a command was not put on the wire, or how its transfer ended.
enum class CommandResult {
    Sent,
    Failed,       // the platform call failed
    NoDevice,     // no box open, or its handle is closed
    NotServed,    // the box's report lengths are outside what we serve
    Bootloader,   // application command refused: the bootloader is open
    OutOfRange,   // the value does not fit in one byte
};

// True for every application command's precondition: an open, served box
// running its application firmware.
CommandResult application_ready(const DeviceConnection& conn);

CommandResult send_setting(DeviceConnection& conn, int index, int value);
CommandResult set_tool_attached(DeviceConnection& conn, bool attached);
// Writes ReadSettings, then one feature read into input_report; on Sent,
// out holds bytes 2..7 of the reply.
CommandResult read_settings(DeviceConnection& conn, SettingsBytes& out);
// Writes ReadMemory, then eight feature reads with nothing between them.
CommandResult read_memory(DeviceConnection& conn, MemoryDump& out);
CommandResult enter_bootloader(DeviceConnection& conn);
// Bootloader only: one 40-byte page in bytes 1..40 of a zeroed 65-byte buffer.
CommandResult send_firmware_page(DeviceConnection& conn, std::span<const std::uint8_t, kFirmwarePageSize> page);

}  // namespace device
