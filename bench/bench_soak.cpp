// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Soak: the real window's tick on an emulated box that streams 1,000 reports a
// second for 10 minutes of the box's time, unplugged and plugged in again
// every 30 s of it. The box runs on a clock of its own, and the window's timer
// is stopped and its tick driven back to back, one tick per 50 ms of box time,
// so the 10 minutes pass as fast as the window can take them. Reported: the
// peak memory of the process, its resident memory after the first minute and
// its growth since (it must stay within 1 MiB), the longest tick, and whether
// every replug was found again.
//
// Figures of memory mean something only in a build without sanitizers (a
// Release build); under AddressSanitizer freed memory is held back on purpose.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "BuildConfig.h"
#include "emulator/DemoStick.h"
#include "bench/NoQuestions.h"
#include "emulator/EmulatedBackend.h"
#include "app/frmMain.h"

namespace {

constexpr int kReportsPerSecond = 1000;
constexpr int kTickMs = 50;                      // the window's interval with a box
constexpr std::int64_t kBoxMs = 10 * 60 * 1000;  // ten minutes of the box's time
constexpr std::int64_t kReplugEveryMs = 30'000;
constexpr std::int64_t kAwayMs = 1'000;          // unplugged this long each time
constexpr std::int64_t kFirstMinuteMs = 60'000;
// A replug not found within this many ticks counts as missed.
constexpr int kFindTicks = 40;

// Resident memory now, in bytes.
double resident_bytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS c{};
    return GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c) ? static_cast<double>(c.WorkingSetSize) : 0;
#elif defined(__linux__)
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss);  // bytes on macOS
#endif
}

// The most memory the process held at once, in bytes.
double peak_bytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS c{};
    return GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c) ? static_cast<double>(c.PeakWorkingSetSize) : 0;
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
#ifdef __APPLE__
    return static_cast<double>(u.ru_maxrss);
#else
    return static_cast<double>(u.ru_maxrss) * 1024.0;  // KiB elsewhere
#endif
#endif
}

void BM_WindowSoak(benchmark::State& state) {
    for (auto _ : state) {
        std::int64_t box_ms = 0;
        emulator::EmulatedBackend backend;
        emulator::BoxIdentity identity;
        identity.vendor_id = buildcfg::kVendorId;
        emulator::BoxModel& box = backend.add_box(identity, [&] { return std::chrono::milliseconds(box_ms); });
        // A second of reports fits: the host's queue would hold them.
        box.queue_limit = kReportsPerSecond;
        NoQuestions dialogs;
        AppConfig config;
        config.vendor_id = buildcfg::kVendorId;
        QTemporaryDir store;
        config.box_store_folder = store.path();
        frmMain window(backend, dialogs, config);
        window.show();
        QTimer* timer = window.findChild<QTimer*>("Timer");
        timer->stop();  // ticked here instead
        QCoreApplication::processEvents();

        qint64 longest_ns = 0, longest_after_ns = 0, ticks = 0;
        int replugs = 0, found_again = 0;
        double at_first_minute = 0, highest_after = 0;
        auto tick = [&] {
            QElapsedTimer t;
            t.start();
            QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
            QCoreApplication::sendPostedEvents();  // the repaint the tick asked for
            longest_ns = std::max(longest_ns, t.nsecsElapsed());
            if (box_ms > kFirstMinuteMs) longest_after_ns = std::max(longest_after_ns, t.nsecsElapsed());
            ++ticks;
        };
        while (box_ms < kBoxMs) {
            // The reports of the last 50 ms, as the stick moves through the gates.
            for (int i = 0; i < kReportsPerSecond * kTickMs / 1000; ++i) {
                const emulator::StickPosition p =
                    emulator::DemoStick::position_at(box_ms + i * 1000 / kReportsPerSecond);
                box.move_stick(p.x, p.y, p.sequential);
            }
            box_ms += kTickMs;
            tick();
            if (box_ms % kReplugEveryMs == 0) {
                ++replugs;
                box.unplug();
                for (std::int64_t away = 0; away < kAwayMs; away += kTickMs, box_ms += kTickMs) tick();
                box.plug();
                for (int n = 0; n < kFindTicks && !window.conn().device_found; ++n, box_ms += kTickMs) tick();
                if (window.conn().device_found) ++found_again;
            }
            if (box_ms >= kFirstMinuteMs && at_first_minute == 0) at_first_minute = resident_bytes();
            if (box_ms > kFirstMinuteMs && box_ms % 1000 == 0)
                highest_after = std::max(highest_after, resident_bytes());
        }
        window.close();
        state.counters["ticks"] = static_cast<double>(ticks);
        state.counters["longest_tick_ms"] = static_cast<double>(longest_ns) / 1e6;
        state.counters["longest_tick_after_1min_ms"] = static_cast<double>(longest_after_ns) / 1e6;
        state.counters["peak_MiB"] = peak_bytes() / (1024.0 * 1024.0);
        state.counters["resident_at_1min_MiB"] = at_first_minute / (1024.0 * 1024.0);
        state.counters["growth_after_1min_KiB"] = (highest_after - at_first_minute) / 1024.0;
        state.counters["replugs"] = replugs;
        state.counters["replugs_found"] = found_again;
        std::fprintf(stderr,
                     "soak: %lld ticks, longest %.2f ms (%.2f ms after the first minute), peak %.1f MiB, "
                     "resident %.1f MiB after the first minute, %+.0f KiB since, %d of %d replugs found\n",
                     static_cast<long long>(ticks), static_cast<double>(longest_ns) / 1e6,
                     static_cast<double>(longest_after_ns) / 1e6,
                     peak_bytes() / (1024.0 * 1024.0), at_first_minute / (1024.0 * 1024.0),
                     (highest_after - at_first_minute) / 1024.0, found_again, replugs);
        if (found_again != replugs) state.SkipWithError("a replugged box was not found again");
        if (highest_after - at_first_minute > 1024.0 * 1024.0)
            state.SkipWithError("memory grew by more than 1 MiB after the first minute");
    }
}
BENCHMARK(BM_WindowSoak)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
