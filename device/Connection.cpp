// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Connection.h"

#include <algorithm>

#include "Products.h"

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

namespace {

void forget(DeviceConnection& conn) {
    // A caller that finds again means to replace the old connection.
    conn.close_handles();
    conn.device_found = false;
    conn.serving = {};
    conn.open_error = {};
}

bool accepted(const HidDeviceInfo& info, std::uint16_t vendor_id) {
    return info.attributes.vendor_id == vendor_id && find_product(info.attributes.product_id);
}

bool is_bootloader_of(const HidDeviceInfo& info, std::uint16_t vendor_id) {
    return accepted(info, vendor_id) && is_bootloader(info.attributes.product_id);
}

std::u16string up_to_zero(const std::optional<std::u16string>& s) {
    if (!s) return {};
    return s->substr(0, s->find(u'\0'));
}

// The open box's report lengths and its second handle.
bool finish_open(HidBackend& backend, DeviceConnection& conn) {
    conn.open_error = {};
    const std::optional<HidCaps> caps = conn.device_handle->caps();
    conn.hid_caps = caps.value_or(HidCaps{});
    conn.serving = check_report_lengths(conn.product_id, conn.hid_caps);

    // A failed second open still counts as found: the next read and probe fail
    // on the missing handle and the monitor takes that for a removal.
    conn.read_handle = backend.open(conn.device_path).device;
    conn.last_result = static_cast<bool>(conn.read_handle);
    return true;
}

}  // namespace

namespace {

bool listed(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

// One accepted interface on the bus, opened to ask for its serial number.
struct Candidate {
    HidDeviceInfo info;
    std::unique_ptr<HidDevice> handle;  // null when it may not be opened
    std::u16string serial;
};

// Opens every accepted interface that `wanted` lets through.
template <class Wanted>
std::vector<Candidate> candidates(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id, Wanted wanted) {
    std::vector<Candidate> found;
    for (const HidDeviceInfo& info : backend.enumerate()) {
        if (!accepted(info, vendor_id) || !wanted(info)) continue;
        OpenResult opened = backend.open(info.path);
        if (!opened.device) {
            // Present all the same: it still makes a choice ambiguous.
            conn.open_error = std::move(opened.error);
            found.push_back({info, nullptr, {}});
            continue;
        }
        const std::u16string serial = up_to_zero(opened.device->serial_number_string());
        found.push_back({info, std::move(opened.device), serial});
    }
    return found;
}

PinnedSearch take(HidBackend& backend, DeviceConnection& conn, Candidate& c) {
    conn.device_found = true;
    conn.device_path = c.info.path;
    conn.hid_attributes = c.info.attributes;
    conn.product_id = c.info.attributes.product_id;
    conn.device_handle = std::move(c.handle);
    finish_open(backend, conn);
    return PinnedSearch::Found;
}

}  // namespace

PinnedBox pin_box(HidBackend& backend, const DeviceConnection& conn, std::uint16_t vendor_id) {
    PinnedBox pin;
    pin.path = conn.device_path;
    pin.product_id = conn.product_id;
    pin.version = conn.hid_attributes.version_number;
    if (conn.read_handle) pin.serial = up_to_zero(conn.read_handle->serial_number_string());
    for (const HidDeviceInfo& info : backend.enumerate())
        if (accepted(info, vendor_id) && !is_bootloader(info.attributes.product_id) && info.path != pin.path)
            pin.other_applications.push_back(info.path);
    return pin;
}

void pin_bootloaders_before(HidBackend& backend, PinnedBox& pin, std::uint16_t vendor_id) {
    pin.bootloaders_before.clear();
    for (const HidDeviceInfo& info : backend.enumerate())
        if (is_bootloader_of(info, vendor_id)) pin.bootloaders_before.push_back(info.path);
}

PinnedSearch find_pinned(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id, const PinnedBox& pin) {
    forget(conn);
    std::vector<Candidate> seen = candidates(backend, conn, vendor_id, [&](const HidDeviceInfo& info) {
        const std::uint16_t pid = info.attributes.product_id;
        return info.path == pin.path || (!pin.serial.empty() && (pid == pin.product_id || is_bootloader(pid)));
    });
    bool other_in_place = false;
    for (Candidate& c : seen) {
        if (!c.handle) continue;
        const bool same_kind = c.info.attributes.product_id == pin.product_id;
        // A box that reports the pinned serial is the one, also when it has
        // restarted into its bootloader on its own meanwhile.
        if (!pin.serial.empty() && c.serial == pin.serial && (same_kind || is_bootloader(c.info.attributes.product_id)))
            return take(backend, conn, c);
        if (c.info.path != pin.path) continue;
        // Without a serial, only what the bus tells of it can say that the box
        // at its path is still the one.
        if (pin.serial.empty() && c.serial.empty() && same_kind && c.info.attributes.version_number == pin.version)
            return take(backend, conn, c);
        other_in_place = true;
    }
    return other_in_place ? PinnedSearch::Other : PinnedSearch::NotYet;
}

PinnedSearch find_pinned_bootloader(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id,
                                    const PinnedBox& pin) {
    forget(conn);
    std::vector<Candidate> seen =
        candidates(backend, conn, vendor_id, [](const HidDeviceInfo& info) { return is_bootloader(info.attributes.product_id); });
    for (Candidate& c : seen)
        if (c.handle && !pin.serial.empty() && c.serial == pin.serial) return take(backend, conn, c);
    // A box with a serial is known by it alone: a bootloader without one is
    // another box's.
    if (!pin.serial.empty()) return PinnedSearch::NotYet;
    // Without a serial to tell it by, ours is the bootloader that appeared
    // since the hand-over: the ones that were waiting before are other
    // boxes', and so is one that reports another serial.
    std::vector<Candidate*> appeared;
    for (Candidate& c : seen)
        if (c.serial.empty() && !listed(pin.bootloaders_before, c.info.path)) appeared.push_back(&c);
    if (appeared.size() > 1) return PinnedSearch::Ambiguous;
    if (appeared.size() == 1 && appeared.front()->handle) return take(backend, conn, *appeared.front());
    return PinnedSearch::NotYet;
}

PinnedSearch find_pinned_application(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id,
                                     const PinnedBox& pin) {
    forget(conn);
    const bool pinned_in_application = is_application(pin.product_id);
    std::vector<Candidate> seen = candidates(backend, conn, vendor_id, [&](const HidDeviceInfo& info) {
        const std::uint16_t pid = info.attributes.product_id;
        if (!is_application(pid) || (pinned_in_application && pid != pin.product_id)) return false;
        return !pin.serial.empty() || !listed(pin.other_applications, info.path);
    });
    if (!pin.serial.empty()) {
        for (Candidate& c : seen)
            if (c.handle && c.serial == pin.serial) return take(backend, conn, c);
        return PinnedSearch::NotYet;
    }
    if (seen.size() > 1) return PinnedSearch::Ambiguous;
    if (seen.size() == 1 && seen.front().handle && seen.front().serial.empty()) return take(backend, conn, seen.front());
    return PinnedSearch::NotYet;
}

bool FindTheHid(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id) {
    forget(conn);

    // The platform lists each interface with its attributes, so only an
    // accepted interface is opened; other programs' devices are left alone.
    for (const HidDeviceInfo& info : backend.enumerate()) {
        conn.device_path = info.path;
        conn.hid_attributes = info.attributes;
        if (!accepted(info, vendor_id)) continue;
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
    return finish_open(backend, conn);
}

std::vector<HidDeviceInfo> accepted_boxes(HidBackend& backend, std::uint16_t vendor_id) {
    std::vector<HidDeviceInfo> boxes;
    for (const HidDeviceInfo& info : backend.enumerate())
        if (accepted(info, vendor_id)) boxes.push_back(info);
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
