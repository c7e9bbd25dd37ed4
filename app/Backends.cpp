// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Backends.h"

#include "DemoStick.h"
#include "EmulatedBackend.h"
#include "HidapiBackend.h"
#include "UpdateService.h"

BackendChoice::BackendChoice() = default;
BackendChoice::~BackendChoice() {
    // The stick moves a box that the backend owns.
    stick.reset();
}
BackendChoice::BackendChoice(BackendChoice&&) noexcept = default;
BackendChoice& BackendChoice::operator=(BackendChoice&&) noexcept = default;

BackendChoice choose_backend(bool demo, std::uint16_t vendor_id, bool with_service) {
    BackendChoice choice;
    if (!demo) {
        choice.backend = std::make_unique<device::HidapiBackend>();
        return choice;
    }
    auto emulated = std::make_unique<emulator::EmulatedBackend>();
    emulator::BoxIdentity identity;
    identity.vendor_id = vendor_id;
    emulator::BoxModel& box = emulated->add_box(identity);
    choice.store = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/shifter-demo-store-XXXXXX");
    choice.stick = std::make_unique<emulator::DemoStick>(box);
    choice.stick->start();
    if (with_service) {
        // The demo's own service offers the next version, so the whole update
        // can be tried without a box or the internet.
        choice.service = std::make_unique<emulator::UpdateService>(identity.version);
        box.version_after_flash = static_cast<std::uint16_t>(choice.service->offered_version().toUInt(nullptr, 16));
    }
    choice.backend = std::move(emulated);
    return choice;
}
