// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The choice both front ends make before anything else: the real HID stack,
// or for --demo an emulated box whose stick moves by itself (and, for the
// window, an update service of its own on 127.0.0.1).

#include <QLockFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

#include "device/Hid.h"

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
    // Demo only: a per-box store of the emulated box's own, in a private
    // folder under an unpredictable name, removed with the choice (at exit),
    // so that a demo never writes into the store of the user's real boxes.
    std::unique_ptr<QTemporaryDir> store;
    // Held while the demo runs: a later demo removes only the stores of demos
    // that ended without removing theirs (killed), never one in use.
    std::unique_ptr<QLockFile> store_lock;
    // Where the store is when no temporary folder could be made: a name no
    // one can guess, which the store makes private itself when it writes.
    QString fallback_store;

    // The folder of that store; empty without one (the user's own store).
    QString box_store_folder() const {
        if (store && store->isValid()) return store->path();
        return fallback_store;
    }
};

// The beginning of every demo store's folder name, in the temporary folder.
inline constexpr const char* kDemoStorePrefix = "shifter-demo-store-";
// The lock file in a demo store that says it is in use.
inline constexpr const char* kDemoStoreLock = "in-use.lock";

// demo: an emulated box with vendor_id; with_service also starts an update
// service that offers the next version, and the box takes that version once
// flashed. Otherwise hidapi.
BackendChoice choose_backend(bool demo, std::uint16_t vendor_id, bool with_service);
