// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/Flasher.h"

#include <algorithm>
#include <span>
#include <string>

namespace update {

using device::DeviceConnection;
using device::Fault;
using device::PinnedSearch;
using device::Status;

milliseconds UpdateLimits::image_deadline(qint64 bytes) const {
    constexpr qint64 kCeilingMs = 10 * 60'000;
    const qint64 ms = 60'000 + std::clamp<qint64>(bytes, 0, qint64{1} << 40) * 1000 / 1024;
    return milliseconds(std::min(ms, kCeilingMs));
}

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

double progress_fraction(Stage stage, std::int64_t done, std::int64_t total) {
    const double part = total > 0 ? std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0) : 0.0;
    switch (stage) {
    case Stage::Download: return part * 0.05;
    case Stage::Settle: return part * 0.05 + 0.05;
    case Stage::SecondSettle: return part * 0.05 + 0.1;
    case Stage::Flash:
        // After page i (counted from 0) the bar stands at i / pages of the way.
        return done <= 0 || total <= 0 ? 0.0 : static_cast<double>(done - 1) / static_cast<double>(total) * 0.8 + 0.2;
    case Stage::Restart: return 1.0;
    }
    return 0.0;
}

namespace {

void report(const FlashEnvironment& env, Stage stage, std::int64_t done, std::int64_t total) {
    if (env.progress) env.progress(stage, done, total);
}

void searched(const FlashEnvironment& env) {
    if (env.found) env.found();
}

bool stop_requested(const FlashEnvironment& env) { return env.stop_requested && env.stop_requested(); }

}  // namespace

milliseconds now(const FlashEnvironment& env) {
    if (env.clock) return env.clock();
    return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

namespace {

int passes(milliseconds wait, milliseconds poll) {
    return static_cast<int>(std::max<std::int64_t>(1, wait.count() / std::max<std::int64_t>(1, poll.count())));
}

Status stopped() {
    return {Fault::Stopped, "The firmware update was stopped before any part of the firmware was written."};
}

// The pause while the box restarts (or its bootloader settles).
bool settle(const FlashEnvironment& env, const UpdateLimits& limits, Stage stage) {
    const int n = passes(limits.settle, limits.poll);
    for (int k = 0; k < n; ++k) {
        report(env, stage, k, n);
        env.pause(static_cast<int>(limits.poll.count()));
        if (stop_requested(env)) return false;
    }
    return true;
}

// Only the bootloader of the pinned box is flashed: a box still running its
// application would take the pages for commands, and another box waiting in
// its bootloader would get an image that was not asked for it.
Status wait_for_bootloader(DeviceConnection& conn, const FlashEnvironment& env, const UpdateLimits& limits,
                           const device::PinnedBox& pin) {
    const milliseconds until = now(env) + limits.bootloader_wait;
    for (;;) {
        const PinnedSearch search = device::find_pinned_bootloader(*env.backend, conn, env.vendor_id, pin);
        searched(env);
        if (search == PinnedSearch::Found) return {};
        if (search == PinnedSearch::Ambiguous)
            return {Fault::Ambiguous, "More than one box is in its update mode, so the firmware was not written."};
        if (now(env) >= until) break;
        env.pause(static_cast<int>(limits.poll.count()));
        if (stop_requested(env)) return stopped();
    }
    return {Fault::Missing, "The box did not restart into its update mode, so the firmware was not written."};
}

FlashOutcome hand_over(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                       device::PinnedBox& pin, const UpdateLimits& limits) {
    const int pages = static_cast<int>(image.size() / kPageSize);
    const PinnedSearch search = device::find_pinned(*env.backend, conn, env.vendor_id, pin);
    searched(env);
    if (search == PinnedSearch::NotYet)
        return {{Fault::NoDevice, "The box this firmware was checked for is no longer attached, so nothing was "
                                  "written."},
                -1, pages};
    if (search != PinnedSearch::Found)
        return {{Fault::Ambiguous, "Another box is attached where the box this firmware was checked for was, so "
                                   "nothing was written."},
                -1, pages};
    if (!conn.bootloader()) {
        device::pin_bootloaders_before(*env.backend, pin, env.vendor_id);
        (void)device::enter_bootloader(conn);
        conn.close_handles();
        if (!settle(env, limits, Stage::Settle)) return {stopped(), -1, pages};
        if (Status s = wait_for_bootloader(conn, env, limits, pin); !s) return {s, -1, pages};
        if (!settle(env, limits, Stage::SecondSettle)) return {stopped(), -1, pages};
        // The bootloader may have re-enumerated once more while it settled.
        if (Status s = wait_for_bootloader(conn, env, limits, pin); !s) return {s, -1, pages};
    }
    return flash_firmware(conn, image, env);
}

}  // namespace

FlashOutcome switch_to_bootloader(DeviceConnection& conn, const QByteArray& image, const FlashEnvironment& env,
                                  device::PinnedBox& pin, const UpdateLimits& limits) {
    FlashOutcome outcome = hand_over(conn, image, env, pin, limits);
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
        if (stop_requested(env)) {
            outcome.status = {Fault::Stopped, "The firmware update was stopped after " + std::to_string(i) + " of " +
                                                  std::to_string(outcome.pages) + " parts of the firmware were written."};
            outcome.page = i;
            break;
        }
        const std::span<const std::uint8_t, kPageSize> page(bytes + static_cast<qsizetype>(i) * kPageSize, kPageSize);
        if (!device::send_firmware_page(conn, page)) {
            outcome.status = {Fault::Failed, "The box did not take part " + std::to_string(i + 1) + " of " +
                                                 std::to_string(outcome.pages) +
                                                 " of the firmware, so the update stopped."};
            outcome.page = i;
            break;
        }
        report(env, Stage::Flash, i + 1, outcome.pages);
        if (env.pump) env.pump();
    }
    conn.close_handles();
    return outcome;
}

Status restart_missing(const UpdateLimits& limits) {
    return {Fault::Missing, "The firmware was written, but the box did not come back with it within " +
                                std::to_string(limits.restart_wait.count() / 1000) + " seconds."};
}

Status restart_ambiguous() {
    return {Fault::Ambiguous,
            "The firmware was written, but several boxes came back and none of them can be told to be the box that was written."};
}

}  // namespace update
