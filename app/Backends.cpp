// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Backends.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include "emulator/DemoStick.h"
#include "emulator/EmulatedBackend.h"
#include "device/HidapiBackend.h"
#include "emulator/UpdateService.h"

BackendChoice::BackendChoice() = default;
BackendChoice::~BackendChoice() {
    // The stick moves a box that the backend owns.
    stick.reset();
    // Let go of the lock before its folder goes.
    store_lock.reset();
}
BackendChoice::BackendChoice(BackendChoice&&) noexcept = default;
BackendChoice& BackendChoice::operator=(BackendChoice&&) noexcept = default;

namespace {

// A demo that was killed left its store behind: whatever an earlier demo of
// this user left in base and no longer uses goes. A store whose lock is held
// by a running demo stays, and so does a store just made whose demo has not
// taken its lock yet.
void remove_demo_leftovers(const QString& base, const QString& own) {
    const QDir dir(base);
    const QFileInfo mine(own);
    for (const QFileInfo& entry :
         dir.entryInfoList({QString(kDemoStorePrefix) + '*'}, QDir::Dirs | QDir::NoSymLinks | QDir::Hidden)) {
        if (entry.absoluteFilePath() == mine.absoluteFilePath() || entry.ownerId() != mine.ownerId()) continue;
        const QString lock_path = entry.absoluteFilePath() + '/' + kDemoStoreLock;
        if (!QFileInfo::exists(lock_path) && entry.lastModified().secsTo(QDateTime::currentDateTime()) < 60) continue;
        QLockFile lock(lock_path);
        // Only a lock whose demo has ended is stale, however old it is.
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0)) continue;
        lock.unlock();
        QDir(entry.absoluteFilePath()).removeRecursively();
    }
}

void make_demo_store(BackendChoice& choice) {
    const QString name = QString(kDemoStorePrefix) + "XXXXXX";
    // Made private (0700) under a name no one can guess, in the temporary
    // folder or, should that refuse, in the user's own runtime folder (asked
    // only then: Qt warns on the terminal when the session names none).
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString base =
            attempt == 0 ? QDir::tempPath() : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (base.isEmpty()) continue;
        auto dir = std::make_unique<QTemporaryDir>(base + '/' + name);
        if (!dir->isValid()) continue;
        choice.store_lock = std::make_unique<QLockFile>(dir->path() + '/' + kDemoStoreLock);
        choice.store_lock->setStaleLockTime(0);
        (void)choice.store_lock->tryLock(0);
        remove_demo_leftovers(base, dir->path());
        choice.store = std::move(dir);
        return;
    }
    // Never the user's own store, nor a name someone could have made first.
    choice.fallback_store = QDir::tempPath() + '/' + kDemoStorePrefix +
                            QString::number(QRandomGenerator::system()->generate64(), 36);
}

}  // namespace

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
    make_demo_store(choice);
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
