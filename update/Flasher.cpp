#include "Flasher.h"

#include <cmath>
#include <span>

namespace update {

using device::DeviceConnection;

std::optional<QString> check_image(qsizetype received, int announced_size) {
    if (announced_size <= 0) return QString("The update service announced an empty firmware image.");
    if (received != announced_size)
        return QString("The firmware image has %1 bytes instead of the announced %2.").arg(received).arg(announced_size);
    if (received % kPageSize != 0)
        return QString("The firmware image of %1 bytes is not a whole number of %2-byte pages.")
            .arg(received)
            .arg(kPageSize);
    return std::nullopt;
}

namespace {

// Ten 100 ms passes, the bar moving from `from` by a twentieth of the frame.
bool settle(const FlashEnvironment& env, double from) {
    for (int k = 0; k < 10; ++k) {
        env.bar(k * 0.05 / 10 + from);
        env.pause(100);
        if (env.stop_requested()) return false;
    }
    return true;
}

// Only the bootloader of the box that was sent into it is flashed: a box still
// running its application would take the pages for commands, and another box
// waiting in its bootloader would get an image that was not asked for it.
FlashResult wait_for_bootloader(DeviceConnection& conn, const FlashEnvironment& env, const FlashLimits& limits,
                                const device::BootloaderTarget& target) {
    for (int pass = 0; pass < limits.bootloader_passes; ++pass) {
        const device::BootloaderSearch search = device::find_bootloader(*env.backend, conn, env.vendor_id, target);
        if (env.found) env.found();
        if (search == device::BootloaderSearch::Found) return FlashResult::Done;
        if (search == device::BootloaderSearch::Ambiguous) return FlashResult::SeveralBootloaders;
        env.pause(100);
        if (env.stop_requested()) return FlashResult::Stopped;
    }
    return FlashResult::BootloaderMissing;
}

}  // namespace

namespace {

FlashOutcome hand_over(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                       const FlashLimits& limits);

}  // namespace

FlashOutcome switch_to_bootloader(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                                  FlashLimits limits) {
    FlashOutcome outcome = hand_over(conn, image, env, limits);
    // Stopped by the user: let go of the box, which waits in its bootloader.
    if (outcome.result == FlashResult::Stopped) conn.close_handles();
    return outcome;
}

namespace {

FlashOutcome hand_over(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                       const FlashLimits& limits) {
    FlashOutcome outcome;
    outcome.pages = static_cast<int>(image.size() / kPageSize);
    if (!env.find()) {
        outcome.result = FlashResult::NoDevice;
        return outcome;
    }
    if (!conn.bootloader()) {
        const device::BootloaderTarget target = device::bootloader_target(*env.backend, conn, env.vendor_id);
        device::enter_bootloader(conn);
        conn.close_handles();
        if (!settle(env, 0.05)) return {FlashResult::Stopped, -1, outcome.pages, {}};
        if (FlashResult r = wait_for_bootloader(conn, env, limits, target); r != FlashResult::Done)
            return {r, -1, outcome.pages, {}};
        if (!settle(env, 0.1)) return {FlashResult::Stopped, -1, outcome.pages, {}};
        // The bootloader may have re-enumerated once more while it settled.
        if (FlashResult r = wait_for_bootloader(conn, env, limits, target); r != FlashResult::Done)
            return {r, -1, outcome.pages, {}};
    }
    return flash_firmware(conn, image, env);
}

}  // namespace

FlashOutcome flash_firmware(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env) {
    FlashOutcome outcome;
    const auto size = static_cast<int>(image.size());
    outcome.pages = size / kPageSize;
    if (conn.device_found && !conn.served()) {
        // Its pages would be cut short: say why rather than fail on page 1.
        outcome.result = FlashResult::NotServed;
        outcome.reason = QString::fromStdString(conn.not_served);
        conn.close_handles();
        return outcome;
    }
    env.show_bar();
    env.bar(0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.constData());
    for (int i = 0; i < outcome.pages; ++i) {
        const std::span<const std::uint8_t, kPageSize> page(bytes + i * kPageSize, kPageSize);
        if (device::send_firmware_page(conn, page) != device::CommandResult::Sent) {
            outcome.result = FlashResult::PageFailed;
            outcome.page = i;
            break;
        }
        env.bar(static_cast<double>(i) * kPageSize / size * 0.8 + 0.2);
        env.pump();
    }
    conn.close_handles();
    return outcome;
}

QString outcome_message(const FlashOutcome& outcome) {
    switch (outcome.result) {
    case FlashResult::Done: return {};
    case FlashResult::NoDevice: return "The box was not found, so the firmware was not written. Plug it in and try again.";
    case FlashResult::BootloaderMissing:
        return "The box did not restart into its update mode, so the firmware was not written. Unplug the box, plug it "
               "in again and click \"Get latest firmware\" once more.";
    case FlashResult::PageFailed:
        return QString("The box did not take part %1 of %2 of the firmware, so the update stopped. The box stays in its "
                       "update mode: click \"Get latest firmware\" to write the firmware again.")
            .arg(outcome.page + 1)
            .arg(outcome.pages);
    case FlashResult::Stopped: return "The firmware update was stopped before it was written.";
    case FlashResult::SeveralBootloaders:
        return "More than one box is in its update mode, so the firmware was not written. Unplug the other boxes, "
               "leave only this one plugged in and click \"Get latest firmware\" once more.";
    case FlashResult::NotServed:
        return outcome.reason + " Its update mode cannot take the firmware, so nothing was written.";
    }
    return {};
}

}  // namespace update
