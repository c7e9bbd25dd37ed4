#include "Flasher.h"

#include <span>
#include <string>

namespace update {

using device::DeviceConnection;
using device::Fault;
using device::Status;

Status check_image(qint64 received, qint64 announced_size) {
    if (announced_size <= 0) return {Fault::BadAnswer, "The update service announced an empty firmware image."};
    if (received != announced_size)
        return {Fault::BadAnswer, "The firmware image has " + std::to_string(received) +
                                      " bytes instead of the announced " + std::to_string(announced_size) + "."};
    if (received % kPageSize != 0)
        return {Fault::BadAnswer, "The firmware image of " + std::to_string(received) +
                                      " bytes is not a whole number of " + std::to_string(kPageSize) +
                                      "-byte pages."};
    return {};
}

namespace {

constexpr int kSettlePasses = 10;

void report(const FlashEnvironment& env, Stage stage, std::int64_t done, std::int64_t total) {
    if (env.progress) env.progress(stage, done, total);
}

bool stop_requested(const FlashEnvironment& env) { return env.stop_requested && env.stop_requested(); }

Status stopped() { return {Fault::Stopped, "The firmware update was stopped before it was written."}; }

// Ten 100 ms passes while the box restarts (or the bootloader settles).
bool settle(const FlashEnvironment& env, Stage stage) {
    for (int k = 0; k < kSettlePasses; ++k) {
        report(env, stage, k, kSettlePasses);
        env.pause(100);
        if (stop_requested(env)) return false;
    }
    return true;
}

// Only the bootloader of the box that was sent into it is flashed: a box still
// running its application would take the pages for commands, and another box
// waiting in its bootloader would get an image that was not asked for it.
Status wait_for_bootloader(DeviceConnection& conn, const FlashEnvironment& env, const FlashLimits& limits,
                           const device::BootloaderTarget& target) {
    for (int pass = 0; pass < limits.bootloader_passes; ++pass) {
        const device::BootloaderSearch search = device::find_bootloader(*env.backend, conn, env.vendor_id, target);
        if (env.found) env.found();
        if (search == device::BootloaderSearch::Found) return {};
        if (search == device::BootloaderSearch::Ambiguous)
            return {Fault::Ambiguous, "More than one box is in its update mode, so the firmware was not written."};
        env.pause(100);
        if (stop_requested(env)) return stopped();
    }
    return {Fault::Missing, "The box did not restart into its update mode, so the firmware was not written."};
}

FlashOutcome hand_over(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                       const FlashLimits& limits) {
    const int pages = static_cast<int>(image.size() / kPageSize);
    if (!device::FindTheHid(*env.backend, conn, env.vendor_id)) {
        if (env.found) env.found();
        return {{Fault::NoDevice, "The box was not found, so the firmware was not written."}, -1, pages};
    }
    if (env.found) env.found();
    if (!conn.bootloader()) {
        const device::BootloaderTarget target = device::bootloader_target(*env.backend, conn, env.vendor_id);
        (void)device::enter_bootloader(conn);
        conn.close_handles();
        if (!settle(env, Stage::Settle)) return {stopped(), -1, pages};
        if (Status s = wait_for_bootloader(conn, env, limits, target); !s) return {s, -1, pages};
        if (!settle(env, Stage::SecondSettle)) return {stopped(), -1, pages};
        // The bootloader may have re-enumerated once more while it settled.
        if (Status s = wait_for_bootloader(conn, env, limits, target); !s) return {s, -1, pages};
    }
    return flash_firmware(conn, image, env);
}

}  // namespace

FlashOutcome switch_to_bootloader(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                                  FlashLimits limits) {
    FlashOutcome outcome = hand_over(conn, image, env, limits);
    // Stopped by the user: let go of the box, which waits in its bootloader.
    if (outcome.status == Fault::Stopped) conn.close_handles();
    return outcome;
}

FlashOutcome flash_firmware(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env) {
    FlashOutcome outcome;
    const qsizetype size = image.size();
    outcome.pages = static_cast<int>(size / kPageSize);
    if (conn.device_found && !conn.served()) {
        // Its pages would be cut short: say why rather than fail on page 1.
        outcome.status = {Fault::NotServed,
                          conn.serving.sentence() + " Its update mode cannot take the firmware, so nothing was written."};
        conn.close_handles();
        return outcome;
    }
    report(env, Stage::Flash, 0, outcome.pages);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.constData());
    for (int i = 0; i < outcome.pages; ++i) {
        const std::span<const std::uint8_t, kPageSize> page(bytes + static_cast<qsizetype>(i) * kPageSize, kPageSize);
        if (!device::send_firmware_page(conn, page)) {
            outcome.status = {Fault::Failed, "The box did not take part " + std::to_string(i + 1) + " of " +
                                                 std::to_string(outcome.pages) +
                                                 " of the firmware, so the update stopped. The box stays in its "
                                                 "update mode."};
            outcome.page = i;
            break;
        }
        report(env, Stage::Flash, i + 1, outcome.pages);
        if (env.pump) env.pump();
    }
    conn.close_handles();
    return outcome;
}

}  // namespace update
