// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The choice both front ends make before anything else: the real HID stack,
// or for --demo an emulated box whose stick moves by itself (and, for the
// window, an update service of its own on 127.0.0.1).

#include <QDir>
#include <QString>
#include <QTemporaryDir>
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
    // Demo only: a per-box store of the emulated box's own, removed with the
    // choice (at exit), so that a demo never writes into the store of the
    // user's real boxes.
    std::unique_ptr<QTemporaryDir> store;

    // The folder of that store; empty without one (the user's own store).
    // Should the temporary folder fail, a fixed one in the temporary folder
    // stands in: never the user's own.
    QString box_store_folder() const {
        if (!store) return {};
        return store->isValid() ? store->path() : QDir::tempPath() + "/shifter-demo-store";
    }
};

// demo: an emulated box with vendor_id; with_service also starts an update
// service that offers the next version, and the box takes that version once
// flashed. Otherwise hidapi.
BackendChoice choose_backend(bool demo, std::uint16_t vendor_id, bool with_service);
