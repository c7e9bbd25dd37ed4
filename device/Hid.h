// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one seam between the tool and the platform's HID stack. Everything the
// tool does with a box goes through HidBackend (find and open) and HidDevice
// (one open handle). The product uses hidapi; tests and --demo use the
// in-process emulated box.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace device {

struct HidAttributes {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t version_number = 0;  // bcdDevice: high byte major, low byte minor
};

struct HidDeviceInfo {
    std::string path;
    // Zero vendor and product ID when the platform could not read them; such an
    // interface never matches.
    HidAttributes attributes;
    // The serial number as the platform lists it, without opening the
    // interface; empty when it gives none.
    std::u16string serial;
};

// Report lengths as the box declares them, report-ID byte included.
struct HidCaps {
    int input_report_length = 0;
    int feature_report_length = 0;
};

enum class HidErrorKind {
    None,
    NotFound,          // the path no longer names a present device
    PermissionDenied,  // present, but this user may not open it
    Io,                // any other failure of the platform call
};

struct HidError {
    HidErrorKind kind = HidErrorKind::None;
    std::string reason;  // one plain sentence
    explicit operator bool() const { return kind != HidErrorKind::None; }
};

// One open handle on a HID interface. Closing is destruction.
class HidDevice {
public:
    virtual ~HidDevice() = default;

    // Report lengths from the interface's report descriptor; nullopt when the
    // descriptor cannot be read.
    virtual std::optional<HidCaps> caps() = 0;

    // report[0] is the report ID (always 0 for the box); the span's size is the
    // length passed to the platform, report-ID byte included.
    virtual bool send_feature_report(std::span<const std::uint8_t> report) = 0;
    // The number of bytes the box answered, report-ID byte included (a box
    // may answer fewer than asked for, leaving the rest of report as it was),
    // or -1 when the transfer failed.
    virtual int get_feature_report(std::span<std::uint8_t> report) = 0;

    // Takes one queued input report without waiting. Returns the number of
    // bytes stored in out (the report without a report-ID byte, as the box uses
    // none), 0 when nothing is queued, -1 when the device failed or is gone.
    virtual int read_input(std::span<std::uint8_t> out) = 0;

    // USB string descriptors as UTF-16 code units; nullopt when the query
    // failed.
    virtual std::optional<std::u16string> manufacturer_string() = 0;
    virtual std::optional<std::u16string> product_string() = 0;
    virtual std::optional<std::u16string> serial_number_string() = 0;

    // True while the device behind this handle is still attached. Must ask the
    // device (or the platform's live view of it), never a cache.
    virtual bool probe() = 0;
};

struct OpenResult {
    std::unique_ptr<HidDevice> device;
    HidError error;
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Present HID interfaces, in the platform's order.
    virtual std::vector<HidDeviceInfo> enumerate() = 0;
    virtual OpenResult open(const std::string& path) = 0;
};

}  // namespace device
