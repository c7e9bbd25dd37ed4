// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device part of the window's state: which box is open, its two handles,
// its report lengths and the two report buffers that every exchange uses.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/Hid.h"
#include "device/Result.h"

namespace device {

inline constexpr int kInputBufferSize = 32001;   // input_report, indices 0..32000
inline constexpr int kMaxBatchBytes = 32000;     // what one drain may collect
inline constexpr int kFeatureBufferSize = 257;   // feature_report, indices 0..256
inline constexpr int kMinFeatureLength = 18;     // ReadMemory replies reach byte 17
inline constexpr int kMaxFeatureLength = 65;     // EnterBootloader and FirmwarePage buffers
inline constexpr int kMinInputLength = 6;        // the monitor reads bytes 1..5
inline constexpr int kMinBootloaderFeatureLength = 41;  // a firmware page fills bytes 1..40

// Which of several boxes a search may take: the one at this path and/or with
// this serial number (as the box reports it, up to its first zero unit). An
// empty field takes any box.
struct BoxChoice {
    std::string path;
    std::u16string serial;
    bool any() const { return path.empty() && serial.empty(); }
};

struct DeviceConnection {
    bool device_found = false;
    // Every search of this connection (FindTheHid, and so a flash's search)
    // takes only a box that matches; empty by default: the first box.
    BoxChoice choice;
    std::uint32_t product_id = 0;
    std::string device_path;
    // Feature reports and string queries.
    std::unique_ptr<HidDevice> device_handle;
    // Input reports and the presence probe.
    std::unique_ptr<HidDevice> read_handle;
    HidAttributes hid_attributes;
    HidCaps hid_caps;
    bool last_result = false;

    std::array<std::uint8_t, kInputBufferSize> input_report{};
    // Outgoing feature commands; never cleared, so bytes a command does not
    // write keep what an earlier command left there.
    std::array<std::uint8_t, kFeatureBufferSize> feature_report{};
    int bytes_read = 0;

    // NotServed, with the reason, when the open box declares report lengths
    // this tool cannot serve; nothing but string queries is exchanged with it
    // then.
    Status serving;
    // Why the last accepted interface could not be opened (permissions, ...).
    HidError open_error;

    // Closes device_handle, then read_handle. Closing a closed handle does
    // nothing.
    void close_handles();

    bool served() const { return device_found && static_cast<bool>(serving); }
    bool application() const;
    bool bootloader() const;
};

// Walks the present HID interfaces and opens the first one with vendor_id and
// an accepted product ID that matches conn.choice, twice. A choice by serial
// number opens each candidate to ask it and closes those that differ. Closes whatever the connection held before.
// Answers device_found.
bool FindTheHid(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id);

// The accepted interfaces present, in the order FindTheHid walks them; none
// is opened.
std::vector<HidDeviceInfo> accepted_boxes(HidBackend& backend, std::uint16_t vendor_id);

// For the searches of this file and PinnedSearch.cpp: an interface of an
// accepted product of vendor_id; a string up to its first zero unit (empty
// when there is none); the connection emptied before a new search; and the
// box just opened in conn.device_handle given its report lengths and second
// handle.
bool accepted_box(const HidDeviceInfo& info, std::uint16_t vendor_id);
std::u16string up_to_zero(const std::optional<std::u16string>& s);
void forget_box(DeviceConnection& conn);
void finish_open(HidBackend& backend, DeviceConnection& conn);

// Whether a box with these report lengths can be served (NotServed and why).
Status check_report_lengths(std::uint32_t product_id, const HidCaps& caps);

enum class DrainResult { Reports, Nothing, Failed };

// Collects every queued input report into input_report without waiting, each
// stored with its leading report-ID byte 0 so that X is byte 1, back to back,
// up to kMaxBatchBytes. bytes_read is the number of bytes stored. Reports that
// do not fit stay queued for the next call.
DrainResult drain_input(DeviceConnection& conn);

// The presence probe through read_handle; false on a closed handle.
bool probe_presence(DeviceConnection& conn);

enum class Poll {
    Reports,  // input reports are in input_report (bytes_read of them)
    Quiet,    // nothing queued, and the box still answers
    Gone,     // nothing read and the probe failed: the box was removed
};

// One tick's exchange with the open box: drain what it queued and, when
// nothing was read, probe that it is still there.
Poll poll(DeviceConnection& conn);

// What a search left in the connection, as both front ends present it.
enum class BoxState {
    Absent,      // no accepted box on the bus
    NotServed,   // found but unusable: may not be opened, or report lengths we cannot serve
    Bootloader,  // its bootloader runs: strings and a firmware image only
    Ready,       // its application runs and every command may be sent
};

struct BoxClass {
    BoxState state = BoxState::Absent;
    std::string sentence;  // NotServed: why, in one plain sentence
    HidErrorKind open_error = HidErrorKind::None;  // NotServed because the box may not be opened
};

BoxClass classify(const DeviceConnection& conn);

}  // namespace device
