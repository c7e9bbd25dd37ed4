#pragma once
// Writing a downloaded image into the box: hand it over to its bootloader,
// wait for the bootloader to appear, send the image page by page. Plain code
// over the connection; the window supplies the search, the waits (which keep
// it responsive) and the progress bar.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "Commands.h"
#include "Connection.h"

namespace update {

inline constexpr int kPageSize = device::kFirmwarePageSize;

// Why an image may not be written, or nullopt when it may: it must be exactly
// the announced size and a whole number of pages (a partial last page would be
// cut off or padded with bytes the maker never sent).
std::optional<QString> check_image(qsizetype received, int announced_size);

struct FlashEnvironment {
    // The bus, for finding the same box again in its bootloader.
    device::HidBackend* backend = nullptr;
    std::uint16_t vendor_id = 0;
    std::function<bool()> find;               // the window's search; answers device_found
    std::function<void()> found;              // after each search for the bootloader (may be empty)
    std::function<void(int ms)> pause;        // waits without blocking the window
    std::function<void()> pump;               // lets pending window events run
    std::function<void(double)> bar;          // bar width as a fraction of its frame
    std::function<void()> show_bar;           // the bar becomes visible
    std::function<bool()> stop_requested;     // the window is closing
};

struct FlashLimits {
    // How long to wait for the bootloader to appear, in 100 ms passes. A box
    // takes about a second; a box that never comes back must not hang the tool.
    int bootloader_passes = 300;
};

enum class FlashResult {
    Done,
    NoDevice,            // no box at the start: nothing was sent
    BootloaderMissing,   // the box did not come back in its bootloader
    PageFailed,          // a page did not go through; the box stays in its bootloader
    Stopped,             // the window closed during the wait
    SeveralBootloaders,  // another box is in its bootloader too: nothing was written
    NotServed,           // the bootloader's report lengths cannot carry a page: nothing was written
};

struct FlashOutcome {
    FlashResult result = FlashResult::Done;
    int page = -1;   // the page that failed
    int pages = 0;   // pages in the image
    QString reason;  // NotServed: the bootloader's report lengths, in a sentence
};

// Sends a box running its application into its bootloader, waits for it and
// flashes; a box already in its bootloader is flashed at once.
FlashOutcome switch_to_bootloader(device::DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                                  FlashLimits limits = {});

// Writes the image into the open bootloader, 40 bytes a report, in order, then
// closes both handles. Stops at the first page the box does not take: a lost
// page would shift every later one.
FlashOutcome flash_firmware(device::DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env);

// What the window tells the user about an outcome other than Done; empty for Done.
QString outcome_message(const FlashOutcome& outcome);

}  // namespace update
