#pragma once
// Writing a downloaded image into the box: hand it over to its bootloader,
// wait for the bootloader to appear, send the image page by page. Plain code
// over the connection; the front end supplies the waits (which keep it
// responsive), the stop request and what it shows of the progress.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

#include "Commands.h"
#include "Connection.h"
#include "Result.h"

namespace update {

inline constexpr int kPageSize = device::kFirmwarePageSize;

// Whether an image may be written: exactly the announced size and a whole
// number of pages (a partial last page would be cut off or padded with bytes
// the maker never sent). BadAnswer with the reason otherwise.
device::Status check_image(qint64 received, qint64 announced_size);

// Where an update stands. The front end shows it as it likes: the window as
// fractions of its progress bar, the command line as a percentage.
enum class Stage {
    Download,           // done/total: bytes of the image received
    Settle,             // done/total: passes of the pause after the restart order
    SecondSettle,       // done/total: passes of the pause once the bootloader is there
    Flash,              // done/total: pages written (0 when the writing starts)
};

struct FlashEnvironment {
    // The bus, for finding the box and then the same box in its bootloader.
    device::HidBackend* backend = nullptr;
    std::uint16_t vendor_id = 0;
    // After each search (may be empty): the front end shows what it found.
    std::function<void()> found;
    std::function<void(int ms)> pause;                          // waits without blocking the front end
    std::function<void()> pump;                                 // lets pending events run (may be empty)
    std::function<void(Stage, std::int64_t done, std::int64_t total)> progress;  // may be empty
    std::function<bool()> stop_requested;                       // may be empty: never
};

struct FlashLimits {
    // How long to wait for the bootloader to appear, in 100 ms passes. A box
    // takes about a second; a box that never comes back must not hang the tool.
    int bootloader_passes = 300;
};

struct FlashOutcome {
    // NoDevice: no box at the start, nothing was sent. Missing: the box did
    // not come back in its bootloader. Ambiguous: another box is in its
    // bootloader too. NotServed: the bootloader's reports cannot carry a page.
    // Failed: page `page` did not go through; the box stays in its
    // bootloader. Stopped: the user stopped it.
    device::Status status;
    int page = -1;   // the page that failed
    int pages = 0;   // pages in the image
};

// Sends a box running its application into its bootloader, waits for it and
// flashes; a box already in its bootloader is flashed at once. The box open
// in conn (found again first) is the one written.
FlashOutcome switch_to_bootloader(device::DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                                  FlashLimits limits = {});

// Writes the image into the open bootloader, 40 bytes a report, in order, then
// closes both handles. Stops at the first page the box does not take: a lost
// page would shift every later one.
FlashOutcome flash_firmware(device::DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env);

}  // namespace update
