// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing a downloaded image into the box: hand it over to its bootloader,
// wait for the bootloader to appear, send the image page by page, and wait
// for the box to come back with it. Plain code over the connection; the front
// end supplies the waits (which keep it responsive), the stop request and
// what it shows of the progress. Every step finds the one box the update was
// pinned to, and no other.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "device/Commands.h"
#include "device/Connection.h"
#include "device/PinnedSearch.h"
#include "device/Result.h"

namespace update {

using std::chrono::milliseconds;

inline constexpr int kPageSize = device::kFirmwarePageSize;

// Every wait of an update, one value each, measured on the environment's
// clock. A wait polls once a `poll`.
struct UpdateLimits {
    milliseconds answer_deadline{60'000};  // for the update service's answer
    milliseconds settle{1'000};            // each pause while the box restarts and its bootloader settles
    milliseconds bootloader_wait{30'000};  // for the box to come back in its bootloader
    milliseconds restart_wait{30'000};     // for the box to come back running the new firmware
    milliseconds poll{100};
    // The image's download: a minute, plus a second for every KiB (a line
    // slower than 1 KiB/s is taken for a stalled one), and never more than
    // ten minutes, whatever size was announced.
    milliseconds image_deadline(qint64 bytes) const;
};

// Whether an image may be written: exactly the announced size and a whole
// number of pages (a partial last page would be cut off or padded with bytes
// the maker never sent). BadAnswer with the reason otherwise.
device::Status check_image(qint64 received, qint64 announced_size);

// Where an update stands.
enum class Stage {
    Download,      // done/total: bytes of the image received
    Settle,        // done/total: passes of the pause after the restart order
    SecondSettle,  // done/total: passes of the pause once the bootloader is there
    Flash,         // done/total: pages written (0 when the writing starts)
    Restart,       // done/total: milliseconds waited for the box to come back
};

// How far the whole update has come, 0..1, for a stage: the download fills
// the first twentieth, each pause of the hand-over the next; the writing
// starts again from 0, then runs from 0.2 to 1 with the pages sent; the
// restart leaves it full. Both front ends show this one figure.
double progress_fraction(Stage stage, std::int64_t done, std::int64_t total);

struct FlashEnvironment {
    // The bus, for finding the pinned box again in each of its modes.
    device::HidBackend* backend = nullptr;
    std::uint16_t vendor_id = 0;
    // After each search, which replaced the connection (may be empty).
    std::function<void()> found;
    std::function<void(int ms)> pause;  // waits without blocking the front end
    // The one clock every wait of the update is measured on (empty: the
    // steady clock); tests move it by hand.
    std::function<std::chrono::milliseconds()> clock;
    std::function<void()> pump;         // lets pending events run between pages (may be empty)
    std::function<void(Stage, std::int64_t done, std::int64_t total)> progress;  // may be empty
    // Asked at every wait and between pages (may be empty: never). A stop
    // between pages leaves the box in its bootloader, waiting for a whole
    // image; the front end decides whether that is what the user wants.
    std::function<bool()> stop_requested;
};

struct FlashOutcome {
    // NoDevice: the pinned box is gone, nothing was sent. Ambiguous: another
    // box is where it was, or another bootloader could be it. Missing: it did
    // not come back in its bootloader. NotServed: the bootloader's reports
    // cannot carry a page. Failed: page `page` did not go through. Stopped:
    // the user stopped it (`page` pages were written).
    device::Status status;
    int page = -1;
    int pages = 0;  // pages in the image
};

// Sends the pinned box, running its application, into its bootloader, waits
// for it and flashes; the pinned box already in its bootloader is flashed at
// once.
FlashOutcome switch_to_bootloader(device::DeviceConnection& conn, const QByteArray& image,
                                  const FlashEnvironment& env, device::PinnedBox& pin, const UpdateLimits& limits = {});

// Writes the image into the open bootloader, 40 bytes a report, in order, then
// closes both handles. Stops at the first page the box does not take (a lost
// page would shift every later one), or when a stop is requested.
FlashOutcome flash_firmware(device::DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env);

// The environment's clock.
std::chrono::milliseconds now(const FlashEnvironment& env);

// Why the box is not back after a good flash.
device::Status restart_missing(const UpdateLimits& limits);
device::Status restart_ambiguous();

}  // namespace update
