// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The box's feature-report commands, framed in one place. Every transfer goes
// through device_handle and passes exactly the box's feature report length.
// Application commands are never sent to the bootloader: it takes every
// feature report as the next firmware page and would write it into flash.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "device/Connection.h"
#include "device/Result.h"
#include "device/Settings.h"

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

// Every command ends in a Status: done, or why it was not put on the wire
// (NoDevice, NotServed, Bootloader, OutOfRange) or how its transfer failed
// (Failed).

// The precondition of every application command: an open, served box running
// its application firmware.
Status application_ready(const DeviceConnection& conn);

Status send_setting(DeviceConnection& conn, int index, int value);
Status set_tool_attached(DeviceConnection& conn, bool attached);
// Writes ReadSettings, then one feature read into input_report: bytes 2..7 of
// the reply.
Result<SettingsBytes> read_settings(DeviceConnection& conn);
// Writes ReadMemory, then eight feature reads with nothing between them.
Result<MemoryDump> read_memory(DeviceConnection& conn);
Status enter_bootloader(DeviceConnection& conn);
// Bootloader only: one 40-byte page in bytes 1..40 of a zeroed 65-byte buffer.
Status send_firmware_page(DeviceConnection& conn, std::span<const std::uint8_t, kFirmwarePageSize> page);

}  // namespace device
