// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Connection.h"

#include <algorithm>

#include "device/Products.h"

namespace device {

void DeviceConnection::close_handles() {
    device_handle.reset();
    read_handle.reset();
}

bool DeviceConnection::application() const { return device_found && is_application(product_id); }
bool DeviceConnection::bootloader() const { return device_found && is_bootloader(product_id); }

Status check_report_lengths(std::uint32_t product_id, const HidCaps& caps) {
    const int feature = caps.feature_report_length;
    const int input = caps.input_report_length;
    if (feature <= 0 && input <= 0)
        return {Fault::NotServed, "The box does not describe its reports, so this tool cannot talk to it."};
    const int min_feature = is_bootloader(product_id) ? kMinBootloaderFeatureLength : kMinFeatureLength;
    if (feature < min_feature || feature > kMaxFeatureLength)
        return {Fault::NotServed, "The box declares feature reports of " + std::to_string(feature) +
                                      " bytes; this tool serves boxes whose feature reports are " +
                                      std::to_string(min_feature) + " to " + std::to_string(kMaxFeatureLength) +
                                      " bytes long."};
    if (!is_bootloader(product_id) && input < kMinInputLength)
        return {Fault::NotServed, "The box declares input reports of " + std::to_string(input) +
                                      " bytes; this tool needs at least " + std::to_string(kMinInputLength) + "."};
    return {};
}

void forget_box(DeviceConnection& conn) {
    // A caller that finds again means to replace the old connection.
    conn.close_handles();
    conn.device_found = false;
    conn.serving = {};
    conn.open_error = {};
}

bool accepted_box(const HidDeviceInfo& info, std::uint16_t vendor_id) {
    return info.attributes.vendor_id == vendor_id && find_product(info.attributes.product_id);
}

std::u16string up_to_zero(const std::optional<std::u16string>& s) {
    if (!s) return {};
    return s->substr(0, s->find(u'\0'));
}

// The open box's report lengths and its second handle.
void finish_open(HidBackend& backend, DeviceConnection& conn) {
    conn.open_error = {};
    const std::optional<HidCaps> caps = conn.device_handle->caps();
    conn.hid_caps = caps.value_or(HidCaps{});
    conn.serving = check_report_lengths(conn.product_id, conn.hid_caps);

    // A failed second open still counts as found: the next read and probe fail
    // on the missing handle and the monitor takes that for a removal.
    conn.read_handle = backend.open(conn.device_path).device;
    conn.last_result = static_cast<bool>(conn.read_handle);
}

bool FindTheHid(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id) {
    forget_box(conn);

    // The platform lists each interface with its attributes, so only an
    // accepted interface is opened; other programs' devices are left alone.
    for (const HidDeviceInfo& info : backend.enumerate()) {
        conn.device_path = info.path;
        conn.hid_attributes = info.attributes;
        if (!accepted_box(info, vendor_id)) continue;
        if (!conn.choice.path.empty() && info.path != conn.choice.path) continue;
        OpenResult opened = backend.open(info.path);
        conn.last_result = static_cast<bool>(opened.device);
        if (!opened.device) {
            // Treated as not matching; remember why for the window.
            conn.open_error = std::move(opened.error);
            continue;
        }
        if (!conn.choice.serial.empty() && up_to_zero(opened.device->serial_number_string()) != conn.choice.serial)
            continue;
        conn.device_found = true;
        conn.product_id = info.attributes.product_id;
        conn.device_handle = std::move(opened.device);
        break;
    }
    if (!conn.device_found) return false;
    finish_open(backend, conn);
    return true;
}

std::vector<HidDeviceInfo> accepted_boxes(HidBackend& backend, std::uint16_t vendor_id) {
    std::vector<HidDeviceInfo> boxes;
    for (const HidDeviceInfo& info : backend.enumerate())
        if (accepted_box(info, vendor_id)) boxes.push_back(info);
    return boxes;
}

DrainResult drain_input(DeviceConnection& conn) {
    conn.bytes_read = 0;
    conn.input_report[0] = 0;
    if (!conn.read_handle) {
        conn.last_result = false;
        return DrainResult::Failed;
    }
    const int length = std::max(conn.hid_caps.input_report_length, 2);
    int stored = 0;
    while (stored + length <= kMaxBatchBytes) {
        std::uint8_t* slot = conn.input_report.data() + stored;
        const int n = conn.read_handle->read_input(std::span<std::uint8_t>(slot + 1, length - 1));
        if (n < 0) {
            conn.last_result = false;
            // Reports already collected are still delivered; the failure shows
            // on the next drain (or the probe) if the box is gone.
            if (stored > 0) break;
            return DrainResult::Failed;
        }
        if (n == 0) break;
        slot[0] = 0;
        // A short report is padded so that every report keeps its slot.
        std::fill(slot + 1 + n, slot + length, std::uint8_t{0});
        stored += length;
    }
    conn.bytes_read = stored;
    conn.last_result = stored > 0;
    return stored > 0 ? DrainResult::Reports : DrainResult::Nothing;
}

bool probe_presence(DeviceConnection& conn) {
    conn.last_result = conn.read_handle && conn.read_handle->probe();
    return conn.last_result;
}

Poll poll(DeviceConnection& conn) {
    if (drain_input(conn) == DrainResult::Reports) return Poll::Reports;
    // Nothing read: a silent box still answers the probe; a removed one does not.
    return probe_presence(conn) ? Poll::Quiet : Poll::Gone;
}

BoxClass classify(const DeviceConnection& conn) {
    if (!conn.device_found) {
        if (conn.open_error) return {BoxState::NotServed, conn.open_error.reason, conn.open_error.kind};
        return {};
    }
    if (!conn.serving) return {BoxState::NotServed, conn.serving.sentence()};
    if (conn.bootloader()) return {BoxState::Bootloader, {}};
    return {BoxState::Ready, {}};
}

}  // namespace device
