// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// What one tick of the live monitor costs: a batch drawn onto a map whose
// trace is full, the same tick with a replot that tests every cell and draws
// every point again, a tick of a calibration (which lays the map out and
// draws the whole trace again every time), and a tick on a box that has
// nothing to say. The map's ticks run with the plain trace (gear_view:0) and
// with the gear view (gear_view:1). Then the calibration check, the
// question before a save and the suggested thresholds over a record of
// reports from the demo's hand.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include <memory>
#include <random>
#include <vector>

#include "app/Design.h"
#include "emulator/BoxModel.h"
#include "BuildConfig.h"
#include "device/Connection.h"
#include "emulator/DemoStick.h"
#include "emulator/EmulatedBackend.h"
#include "monitor/GearCheck.h"
#include "monitor/GraphView.h"
#include "monitor/Monitor.h"
#include "monitor/MonitorState.h"
#include "monitor/Suggest.h"

namespace {

// A place of the window's design in pixels at 100 %.
QRect px(const design::Place& twips) {
    const design::Place p = design::pixels(twips);
    return QRect(p.left, p.top, p.width, p.height);
}
QRect place_of(const char* name) { return px(design::control(name).place); }

const device::Thresholds kFactory{102, 152, 64, 190, 100, 155};

// The monitor's controls at their places in the window, with a full
// H-pattern trace that has already been drawn once; each cell holds the gear
// the factory thresholds give it.
struct MonitorRig {
    explicit MonitorRig(bool gear_view = false) {
        window = std::make_unique<QWidget>();
        window->resize(px(design::kClientArea).size());
        auto box = [&](const char* text, const char* name) {
            auto* e = new QLineEdit(text, window.get());
            e->setGeometry(place_of(name));
            return e;
        };
        auto label = [&](const char* name) {
            auto* e = new QLabel(window.get());
            e->setGeometry(place_of(name));
            return e;
        };
        auto marker = [&](const char* name) {
            auto* e = new QFrame(window.get());
            e->setGeometry(place_of(name));
            return e;
        };
        c.h2_box = box("177", "Text10");
        c.h1_box = box("72", "Text9");
        c.lower_box = box("56", "Text8");
        c.upper_box = box("194", "Text7");
        c.map = new monitor::GraphView(window.get());
        c.map->setGeometry(px(design::kGraph));
        c.gear = label("Gear");
        c.y_marker_right = marker("TickV2");
        c.y_marker_left = marker("TickV1");
        c.x_marker_top = marker("TickH1");
        c.x_marker_bottom = marker("TickH2");
        c.y_value = label("lblY");
        c.x_value = label("lblX");
        monitor::initialise_values(s, *c.map);
        window->show();

        std::mt19937 rng(7);
        for (int i = 0; i < 20; ++i) {
            const std::uint8_t gears[] = {1, 2, 4, 8, 16, 32, 64};
            batch.insert(batch.end(), {0, static_cast<std::uint8_t>(rng() % 256), static_cast<std::uint8_t>(rng() % 256),
                                       gears[rng() % 7], 0, 0});
        }
        s.h_pattern_trace.set();
        for (int x = 0; x < 256; ++x)
            for (int y = 0; y < 256; ++y) {
                const emulator::DecodedGear d = emulator::decode_gear(x, y, false, emulator::BoxSettings{});
                s.h_pattern_gears.set(static_cast<std::size_t>(x) * 256 + y,
                                      monitor::gear_of(monitor::Report{0, 0, d.gear_bits, d.minus, 0}));
            }
        c.map->set_gear_view(gear_view);
        s.shown_mode = monitor::kModeNone;
        tick();  // lays out and draws the full trace once
    }

    void tick() { monitor::process_batch(batch.data(), static_cast<int>(batch.size()), 6, s, t, c); }

    std::unique_ptr<QWidget> window;
    monitor::MonitorControls c;
    monitor::MonitorState s;
    device::Thresholds t;
    std::vector<std::uint8_t> batch;
};

// The batch's gears are random, so each tick also changes the gear of up to
// 20 cells; the record of reports keeps growing, as in a long session.
void BM_TickFullTrace(benchmark::State& state) {
    MonitorRig rig(state.range(0) != 0);
    for (auto _ : state) {
        rig.tick();
        QImage shown = rig.c.map->snapshot();
        benchmark::DoNotOptimize(shown.constBits());
    }
}
BENCHMARK(BM_TickFullTrace)->ArgName("gear_view")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// While a calibration runs every tick erases the map and draws the whole
// trace again from its mask.
void BM_TickCalibrating(benchmark::State& state) {
    MonitorRig rig(state.range(0) != 0);
    rig.s.auto_calibrating = true;
    for (auto _ : state) {
        rig.tick();
        QImage shown = rig.c.map->snapshot();
        benchmark::DoNotOptimize(shown.constBits());
    }
}
BENCHMARK(BM_TickCalibrating)->ArgName("gear_view")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The replot done literally: every one of the 65,536 cells tested and a
// 2-pixel point drawn for each set one, every tick. The tick's own (cached)
// replot still runs inside process_batch; with nothing new it costs a few
// microseconds.
void BM_TickLiteralReplot(benchmark::State& state) {
    MonitorRig rig;
    monitor::GraphView& g = *rig.c.map;
    QImage literal(g.ScaleWidth(), g.ScaleHeight(), QImage::Format_RGB32);
    literal.fill(Qt::white);
    const double w = g.ScaleWidth();
    const double h = g.ScaleHeight();
    for (auto _ : state) {
        rig.tick();
        {
            QPainter p(&literal);
            p.setPen(QPen(Qt::black, 2));
            for (int x = 0; x < 256; ++x)
                for (int y = 0; y < 256; ++y)
                    if (rig.s.h_pattern_trace.test(static_cast<std::size_t>(x) * 256 + y))
                        p.drawPoint(QPointF(monitor::map_x(x, w), monitor::map_y(y, h)));
        }
        QImage shown = g.snapshot();
        benchmark::DoNotOptimize(shown.constBits());
        benchmark::DoNotOptimize(literal.constBits());
    }
}
BENCHMARK(BM_TickLiteralReplot)->Unit(benchmark::kMicrosecond);

// A box that is attached but has queued nothing: the drain comes back empty
// and the presence probe answers.
void BM_TickSilent(benchmark::State& state) {
    emulator::EmulatedBackend backend;
    backend.add_box();
    device::DeviceConnection conn;
    if (!device::FindTheHid(backend, conn, buildcfg::kVendorId)) {
        state.SkipWithError("the emulated box was not found");
        return;
    }
    for (auto _ : state) {
        const device::DrainResult read = device::drain_input(conn);
        const bool present = conn.last_result || device::probe_presence(conn);
        benchmark::DoNotOptimize(read);
        benchmark::DoNotOptimize(present);
    }
    if (conn.bytes_read != 0 || !conn.device_found) state.SkipWithError("the silent box delivered reports");
}
BENCHMARK(BM_TickSilent)->Unit(benchmark::kMicrosecond);

// Reports of the demo's hand, turn after turn, at the box's 10 ms pace.
monitor::GearRecord demo_record(std::size_t reports) {
    monitor::GearRecord record(reports);
    for (std::int64_t ms = 0; record.size() < reports; ms += 10) {
        const emulator::StickPosition p = emulator::DemoStick::position_at(ms);
        const emulator::DecodedGear d = emulator::decode_gear(p.x, p.y, p.sequential, emulator::BoxSettings{});
        record.add(monitor::Report{p.x, p.y, d.gear_bits, d.minus, static_cast<std::uint8_t>(p.sequential ? 2 : 0)});
    }
    return record;
}

void BM_GearCheck(benchmark::State& state) {
    const monitor::GearRecord record = demo_record(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const monitor::GearCheck check = monitor::check_gears(record.reports(), kFactory, false);
        benchmark::DoNotOptimize(check.gears.data());
    }
}
BENCHMARK(BM_GearCheck)->ArgName("reports")->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// The question before a save, with every line moved.
void BM_SaveCrossings(benchmark::State& state) {
    const monitor::GearRecord record = demo_record(static_cast<std::size_t>(state.range(0)));
    const device::Thresholds moved{90, 170, 50, 200, 100, 155};
    for (auto _ : state) {
        const auto crossings = monitor::save_crossings(record.reports(), moved, false);
        benchmark::DoNotOptimize(crossings.data());
    }
}
BENCHMARK(BM_SaveCrossings)->ArgName("reports")->Arg(10'000)->Unit(benchmark::kMicrosecond);

// What "Suggest" and shifterctl gears --suggest do over a full record: find
// where the stick rests, then place the lines.
void BM_RestsAndSuggestion(benchmark::State& state) {
    const monitor::GearRecord record = demo_record(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const monitor::Rests rests = monitor::find_rests(record.reports(), false);
        const monitor::Suggestion s = monitor::suggest_thresholds(rests, kFactory);
        benchmark::DoNotOptimize(s.thresholds);
    }
}
BENCHMARK(BM_RestsAndSuggestion)->ArgName("reports")->Arg(100'000)->Unit(benchmark::kMicrosecond);

}  // namespace
