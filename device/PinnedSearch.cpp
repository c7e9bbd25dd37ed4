// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/PinnedSearch.h"

#include <algorithm>

#include "device/Products.h"

namespace device {

namespace {

bool is_bootloader_of(const HidDeviceInfo& info, std::uint16_t vendor_id) {
    return accepted_box(info, vendor_id) && is_bootloader(info.attributes.product_id);
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
        if (!accepted_box(info, vendor_id) || !wanted(info)) continue;
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
        if (accepted_box(info, vendor_id) && !is_bootloader(info.attributes.product_id) && info.path != pin.path)
            pin.other_applications.push_back(info.path);
    return pin;
}

void pin_bootloaders_before(HidBackend& backend, PinnedBox& pin, std::uint16_t vendor_id) {
    pin.bootloaders_before.clear();
    for (const HidDeviceInfo& info : backend.enumerate())
        if (is_bootloader_of(info, vendor_id)) pin.bootloaders_before.push_back(info.path);
}

PinnedSearch find_pinned(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id, const PinnedBox& pin) {
    forget_box(conn);
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
    forget_box(conn);
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
    forget_box(conn);
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

}  // namespace device
