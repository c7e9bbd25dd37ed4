#pragma once
// The choice both front ends make before anything else: the real HID stack,
// or for --demo an emulated box whose stick moves by itself (and, for the
// window, an update service of its own on 127.0.0.1).

#include <QString>
#include <cstdint>
#include <memory>

#include "Hid.h"

namespace emulator {
class DemoStick;
class UpdateService;
}  // namespace emulator

struct BackendChoice {
    BackendChoice();
    ~BackendChoice();
    BackendChoice(BackendChoice&&) noexcept;
    BackendChoice& operator=(BackendChoice&&) noexcept;

    std::unique_ptr<device::HidBackend> backend;
    // Demo only: the hand on the stick (it goes before the box it moves) and
    // the update service, when one was asked for.
    std::unique_ptr<emulator::DemoStick> stick;
    std::unique_ptr<emulator::UpdateService> service;
};

// demo: an emulated box with vendor_id; with_service also starts an update
// service that offers the next version, and the box takes that version once
// flashed. Otherwise hidapi.
BackendChoice choose_backend(bool demo, std::uint16_t vendor_id, bool with_service);
