// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// What the firmware update costs the host: writing an image page by page into
// the emulated bootloader (whose transfers take no time, so what is left is
// the tool's own work per page), building the update query and parsing the
// answer, and the wall time of a whole update as --demo runs it.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

#include "BuildConfig.h"
#include "device/Connection.h"
#include "app/Dialogs.h"
#include "emulator/DemoStick.h"
#include "emulator/EmulatedBackend.h"
#include "update/Flasher.h"
#include "update/UpdateSequence.h"
#include "net/NetGrab.h"
#include "update/UpdateQuery.h"
#include "emulator/UpdateService.h"
#include "app/frmMain.h"

namespace {

constexpr int kImageBytes = 32760;  // 819 pages
constexpr int kImagePages = kImageBytes / update::kPageSize;

QByteArray test_image(int bytes) {
    QByteArray image(bytes, '\0');
    for (int i = 0; i < bytes; ++i) image[i] = static_cast<char>((i * 7 + i / 40) & 0xFF);
    return image;
}

// Runs the event loop until pred holds (checked every millisecond) or limit_ms
// has passed; answers whether it held.
bool run_until(const std::function<bool()>& pred, int limit_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > limit_ms) return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// The progress frame and bar as the window has them.
struct Bar {
    Bar() {
        frame.setGeometry(0, 0, 330, 7);
        bar = new QWidget(&frame);
        bar->setAutoFillBackground(true);
        frame.show();
    }
    void set(double fraction) {
        bar->resize(static_cast<int>(fraction * frame.width()), bar->height());
        bar->repaint();
    }
    QFrame frame;
    QWidget* bar;
};

// Arg 0: the flashing code alone (bar and pump do nothing). Arg 1: with the
// bar resized and repainted and pending events run after every page, as the
// window does it.
void BM_FlashImage32K(benchmark::State& state) {
    const bool window_work = state.range(0) != 0;
    emulator::EmulatedBackend backend;
    emulator::BoxIdentity identity;
    identity.vendor_id = buildcfg::kVendorId;
    // The box's clock stands still, so its bootloader never restarts by itself.
    emulator::BoxModel& box = backend.add_box(identity, [] { return std::chrono::milliseconds(0); });
    const QByteArray image = test_image(kImageBytes);
    device::DeviceConnection conn;

    std::unique_ptr<Bar> bar;
    update::FlashEnvironment env;
    env.pause = [](int) {};
    if (window_work) {
        bar = std::make_unique<Bar>();
        env.progress = [&](update::Stage stage, std::int64_t done, std::int64_t total) {
            bar->set(update::progress_fraction(stage, done, total));
        };
        env.pump = [] { QCoreApplication::processEvents(); };
    } else {
        env.progress = [](update::Stage, std::int64_t done, std::int64_t) { benchmark::DoNotOptimize(done); };
    }

    update::FlashOutcome outcome;
    for (auto _ : state) {
        state.PauseTiming();
        box.clear_log();
        box.power_up_in_bootloader();
        const bool found = device::FindTheHid(backend, conn, buildcfg::kVendorId);
        state.ResumeTiming();
        if (!found || !conn.bootloader()) {
            state.SkipWithError("the emulated bootloader was not found");
            break;
        }
        outcome = update::flash_firmware(conn, image, env);
        benchmark::DoNotOptimize(outcome);
    }
    if (!outcome.status || outcome.pages != kImagePages ||
        box.flash() != std::vector<std::uint8_t>(image.begin(), image.end()))
        state.SkipWithError("the image did not arrive whole");
    // Seconds per page.
    state.counters["per_page"] =
        benchmark::Counter(kImagePages, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FlashImage32K)->ArgName("window")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// "Get latest firmware" up to the request, and the answer: the memory dump in
// hexadecimal, the query URL, then the parsed answer and the offer.
void BM_UpdateQuery(benchmark::State& state) {
    device::MemoryDump dump{};
    for (std::size_t i = 0; i < dump.size(); ++i) dump[i] = static_cast<std::uint8_t>(i * 13);
    update::QueryFields f;
    f.attributes = {buildcfg::kVendorId, 0x10A0, 0x0106};
    f.serial_caption = " KV-000123 ";
    f.h1_text = "102";
    f.h2_text = "152";
    f.v1_text = "64";
    f.v2_text = "190";
    const QByteArray body = "107,32760,http://127.0.0.1:8080/firmware/shifter-107.bin";
    for (auto _ : state) {
        f.memory_dump = update::dump_hex(dump);
        const QString url = update::build_update_url("update.shifter.invalid", f);
        const auto answer = update::parse_update_answer(body);
        const update::Offer offer = update::decide_offer(*answer, f.attributes.version_number, false);
        benchmark::DoNotOptimize(url.constData());
        benchmark::DoNotOptimize(offer);
    }
}
BENCHMARK(BM_UpdateQuery)->Unit(benchmark::kMicrosecond);

// ---- A whole update as --demo runs it --------------------------------------
// The demo's box (back on the bus a second after it was sent into its
// bootloader, restarting 300 ms after the last page), its stick moving, the
// demo's update service on 127.0.0.1 with its 200-page image.

struct Demo {
    Demo() : service(0x0106) {
        emulator::BoxIdentity identity;
        identity.vendor_id = buildcfg::kVendorId;
        box = &backend.add_box(identity);
        box->version_after_flash = static_cast<std::uint16_t>(service.offered_version().toUInt(nullptr, 16));
        stick = std::make_unique<emulator::DemoStick>(*box);
        stick->start();
    }
    bool written() const {
        const QByteArray image = service.image();
        return box->flash() == std::vector<std::uint8_t>(image.begin(), image.end());
    }
    emulator::EmulatedBackend backend;
    emulator::UpdateService service;
    emulator::BoxModel* box;
    std::unique_ptr<emulator::DemoStick> stick;
};

class Consent : public Dialogs {
public:
    void information(QWidget*, const QString&, const QString& text) override { last = text; }
    void critical(QWidget*, const QString&, const QString& text) override { last = text; }
    bool question(QWidget*, const QString&, const QString&) override { return true; }
    bool confirm(QWidget*, const QString&, const QString&) override { return true; }
    QString last;
};

// The window, from the click on "Get latest firmware" (consent given at once)
// until the image is written and the frame is gone; the counter "back" is the
// time until the window shows the box again with its new version.
void BM_DemoUpdateWindow(benchmark::State& state) {
    double back_s = 0;
    for (auto _ : state) {
        Demo demo;
        Consent consent;
        AppConfig config;
        config.vendor_id = buildcfg::kVendorId;
        config.update_host = demo.service.host_port();
        frmMain window(demo.backend, consent, config);
        window.show();
        const std::uint16_t next = *demo.box->version_after_flash;

        QElapsedTimer clock;
        clock.start();
        window.findChild<QPushButton*>("cmd_CheckFirmware")->click();
        const bool done = run_until([&] { return demo.written() && !window.findChild<QWidget*>("Pic")->isVisible(); }, 30000);
        const double written_s = clock.nsecsElapsed() / 1e9;
        const bool back = done && run_until(
                                      [&] {
                                          return window.conn().device_found && window.conn().application() &&
                                                 window.conn().hid_attributes.version_number == next;
                                      },
                                      30000);
        back_s += clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(written_s);
        if (!done || !back) {
            state.SkipWithError(("the update did not finish: " + consent.last).toStdString().c_str());
            break;
        }
    }
    state.counters["back"] = benchmark::Counter(back_s, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DemoUpdateWindow)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The same update through the update code without the window: the query and
// the image over HTTP, then the hand-over and the flashing with waits that
// keep the event loop running, as the window's do. Arg 0 leaves out the two
// one-second pauses of the hand-over (the ten 100 ms passes after sending the
// box into its bootloader and after finding it again); the hand-over then
// waits only for the box to come back.
void BM_DemoUpdate(benchmark::State& state) {
    const bool pauses = state.range(0) != 0;
    for (auto _ : state) {
        Demo demo;
        device::DeviceConnection conn;
        NetGrab info, firmware;
        Bar bar;
        bool settling = false;
        update::FlashEnvironment env;
        env.backend = &demo.backend;
        env.vendor_id = buildcfg::kVendorId;
        env.progress = [&](update::Stage stage, std::int64_t done, std::int64_t total) {
            bar.set(update::progress_fraction(stage, done, total));
            settling = stage == update::Stage::Settle || stage == update::Stage::SecondSettle;
        };
        env.pause = [&](int ms) {
            const bool skip = !pauses && settling;
            settling = false;
            if (skip) return;
            QEventLoop loop;
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            loop.exec();
        };
        env.pump = [] { QCoreApplication::processEvents(); };
        calibration::BoxSession session(conn);
        update::UpdateSequence sequence(session, env);
        update::FlashOutcome outcome{{device::Fault::Stopped, "not run"}};
        bool finished = false;
        QObject::connect(&info, &NetGrab::DownloadComplete, [&](int) {
            if (sequence.take_answer(info.Bytes())) {
                sequence.accept(true);
                firmware.DownloadStart(sequence.answer().url, NetGrab::ModeFreshCopy);
            } else {
                finished = true;
            }
        });
        QObject::connect(&firmware, &NetGrab::DownloadComplete, [&](int) {
            if (sequence.take_image(firmware.Bytes())) outcome = sequence.write();
            finished = true;
        });
        QObject::connect(&info, &NetGrab::DownloadFailed, [&] { finished = true; });
        QObject::connect(&firmware, &NetGrab::DownloadFailed, [&] { finished = true; });
        const bool found = device::FindTheHid(demo.backend, conn, buildcfg::kVendorId);

        QElapsedTimer clock;
        clock.start();
        info.DownloadStart(sequence.start(demo.service.host_port(), {}), NetGrab::ModeFreshCopy);
        run_until([&] { return finished; }, 30000);
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        if (!found || !outcome.status || !demo.written()) {
            state.SkipWithError("the update did not finish");
            break;
        }
    }
}
BENCHMARK(BM_DemoUpdate)->ArgName("pauses")->Arg(1)->Arg(0)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
