// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The searches an update makes for the one box it is for, from its start to
// the box's return in its application.

#include <cstdint>
#include <string>
#include <vector>

#include "device/Connection.h"
#include "device/Hid.h"

namespace device {

// The one box an update is for, recorded when the update starts (its query,
// or the search of a flash), so that every later step finds that box and no
// other. Boxes of one model look alike on the bus, and an image written into
// the wrong one leaves it, and the one meant, unusable.
struct PinnedBox {
    std::string path;
    std::uint32_t product_id = 0;
    std::uint16_t version = 0;
    // Up to the first zero unit; empty when the box gives none.
    std::u16string serial;
    // Other boxes running their application when it was pinned.
    std::vector<std::string> other_applications;
    // Bootloaders on the bus just before the box was sent into its own:
    // other boxes' (pin_bootloaders_before records them).
    std::vector<std::string> bootloaders_before;
};

// Pins the box open in conn (which must hold one).
PinnedBox pin_box(HidBackend& backend, const DeviceConnection& conn, std::uint16_t vendor_id);
// Records the bootloaders on the bus, right before the pinned box is sent
// into its own.
void pin_bootloaders_before(HidBackend& backend, PinnedBox& pin, std::uint16_t vendor_id);

enum class PinnedSearch {
    Found,      // the pinned box is open in conn
    NotYet,     // not on the bus (yet); conn holds nothing
    Other,      // another box is where the pinned one was; conn holds nothing
    Ambiguous,  // several boxes could be it and nothing tells them apart
};

// The pinned box as it was pinned: at its path with its product ID, serial
// and version, or, when it reports a serial, with that serial and product ID
// wherever it is now.
PinnedSearch find_pinned(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id, const PinnedBox& pin);

// The pinned box in its bootloader. A bootloader that reports the pinned
// serial is the one; one that reports another serial never is. Without a
// serial to match, a bootloader is taken when it is the one that appeared
// since the hand-over (others that were already waiting do not count);
// Ambiguous when more than one appeared.
PinnedSearch find_pinned_bootloader(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id,
                                    const PinnedBox& pin);

// The pinned box back in its application after a flash: the pinned serial
// (and the pinned product ID, when it was pinned in its application); without
// a serial, the one application box of that product ID that was not on the
// bus beside it when it was pinned.
PinnedSearch find_pinned_application(HidBackend& backend, DeviceConnection& conn, std::uint16_t vendor_id,
                                     const PinnedBox& pin);

}  // namespace device
