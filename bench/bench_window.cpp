// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// What the window costs the machine while a box streams: the real window on
// the emulated box, whose stick the demo's hand sweeps through the gates with
// a report every 10 ms, for 10 s at the window's default size and for 10 s
// maximised on a 1920 x 1080 screen. The figure is the whole process's CPU
// time (user and system, every thread) over the wall time, as a percentage of
// one core: what a system monitor shows for the tool.
//
// The screen is the offscreen platform's, configured to 1920 x 1080 (a JSON
// file handed over as the platform's configfile option), so the run needs no
// display and the window manager's frame is the platform's 2-pixel one.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <map>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include "BuildConfig.h"
#include "emulator/DemoStick.h"
#include "bench/NoQuestions.h"
#include "emulator/EmulatedBackend.h"
#include "app/frmMain.h"

namespace {

constexpr int kStreamMs = 10'000;
// The window lays itself out and paints once before the measured time.
constexpr int kSettleMs = 500;

// CPU time of the whole process so far, in seconds.
double process_cpu_seconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#endif
}

void run_for(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Counts the paint events of the travel map and, with SHIFTER_BENCH_PAINTS
// set, of every control (a filter on each widget then costs a little too).
class PaintCounter : public QObject {
public:
    PaintCounter(QWidget* window, QWidget* map) : map_(map) {
        map->installEventFilter(this);
        if (by_name)
            for (QWidget* w : window->findChildren<QWidget*>())
                if (w != map) w->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++all;
            if (o == map_) ++map;
            if (by_name) ++(*by_name)[o->objectName().isEmpty() ? o->metaObject()->className() : o->objectName()];
        }
        return false;
    }
    long all = 0;
    long map = 0;
    // SHIFTER_BENCH_PAINTS set: the paint events per control, on stderr.
    std::unique_ptr<std::map<QString, long>> by_name =
        qEnvironmentVariableIsSet("SHIFTER_BENCH_PAINTS") ? std::make_unique<std::map<QString, long>>() : nullptr;

private:
    QWidget* map_;
};

// The reports of the demo's hand, 100 a second: as --demo queues them (the
// reports of the last 50 ms at a time, as the host keeps a real box's reports
// until the tool reads them), or each in a wake-up of its own every 10 ms, as
// the demo's box sent them before and as a box emulated in the process costs
// at worst.
class Feeder {
public:
    Feeder(emulator::BoxModel& box, bool wake_per_report) : box_(box), stick_(box), each_(wake_per_report) {
        timer_.setInterval(emulator::DemoStick::kReportMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const emulator::StickPosition p = emulator::DemoStick::position_at(elapsed_.elapsed());
            box_.move_stick(p.x, p.y, p.sequential);
            ++reports_;
        });
    }
    void start() {
        if (!each_) return stick_.start();
        elapsed_.start();
        timer_.start();
    }
    void stop() {
        stick_.stop();
        timer_.stop();
    }
    int reports() const { return each_ ? reports_ : stick_.reports(); }

private:
    emulator::BoxModel& box_;
    emulator::DemoStick stick_;
    bool each_;
    QTimer timer_;
    QElapsedTimer elapsed_;
    int reports_ = 0;
};

// Streams for kStreamMs and sets the iteration's time, the process's CPU
// share and the reports a second; answers the seconds it took.
double stream(benchmark::State& state, const Feeder& stick) {
    const int reports_before = stick.reports();
    const double cpu_before = process_cpu_seconds();
    QElapsedTimer wall;
    wall.start();
    run_for(kStreamMs);
    const double cpu = process_cpu_seconds() - cpu_before;
    const double seconds = wall.nsecsElapsed() / 1e9;
    state.SetIterationTime(seconds);
    state.counters["cpu_pct"] = cpu / seconds * 100.0;
    state.counters["reports_per_s"] = (stick.reports() - reports_before) / seconds;
    return seconds;
}

// Args: maximised (0: the window at its default size), a wake-up per report
// (see Feeder).
void BM_WindowStreaming(benchmark::State& state) {
    const bool maximised = state.range(0) != 0;
    for (auto _ : state) {
        emulator::EmulatedBackend backend;
        emulator::BoxIdentity identity;
        identity.vendor_id = buildcfg::kVendorId;
        emulator::BoxModel& box = backend.add_box(identity);
        Feeder stick(box, state.range(1) != 0);
        NoQuestions dialogs;
        AppConfig config;
        config.vendor_id = buildcfg::kVendorId;
        QTemporaryDir store;
        config.box_store_folder = store.path();
        auto window = std::make_unique<frmMain>(backend, dialogs, config);
        if (maximised)
            window->showMaximized();
        else
            window->show();
        stick.start();
        run_for(kSettleMs);

        PaintCounter paints(window.get(), window->findChild<monitor::GraphView*>("Graph"));
        const double seconds = stream(state, stick);
        if (paints.by_name) state.counters["paints_per_s"] = paints.all / seconds;
        state.counters["map_paints_per_s"] = paints.map / seconds;
        state.counters["width"] = window->width();
        state.counters["height"] = window->height();
        if (paints.by_name)
            for (const auto& [name, n] : *paints.by_name) std::fprintf(stderr, "%s %ld\n", qPrintable(name), n);
        if (!window->conn().device_found) state.SkipWithError("the emulated box was not found");
        stick.stop();
        window->close();
    }
}
BENCHMARK(BM_WindowStreaming)
    ->ArgNames({"maximised", "wake_per_report"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// One tick of the window, painting included, with the five reports the demo
// stick queues in 50 ms: the window's own part of the figures above, in time
// per tick, steadier than a share of a busy machine. Args: maximised, and
// whether h1's line is dragged meanwhile (the mouse moves it by a few counts
// before every tick, as a hand does at 20 moves a second or more).
void BM_WindowTick(benchmark::State& state) {
    emulator::EmulatedBackend backend;
    emulator::BoxIdentity identity;
    identity.vendor_id = buildcfg::kVendorId;
    emulator::BoxModel& box = backend.add_box(identity);
    NoQuestions dialogs;
    AppConfig config;
    config.vendor_id = buildcfg::kVendorId;
    QTemporaryDir store;
    config.box_store_folder = store.path();
    frmMain window(backend, dialogs, config);
    if (state.range(0) != 0)
        window.showMaximized();
    else
        window.show();
    run_for(kSettleMs);
    QTimer* timer = window.findChild<QTimer*>("Timer");
    timer->stop();  // the benchmark ticks it
    const bool dragging = state.range(1) != 0;
    auto* graph = window.findChild<monitor::GraphView*>("Graph");
    QWidget* map = graph;
    const QPoint area = map->contentsRect().topLeft();
    auto at_h1 = [&](int h1) {
        return QPointF(area + QPoint(static_cast<int>(monitor::map_x(h1, graph->ScaleWidth())), 20));
    };
    auto mouse = [&](QEvent::Type type, QPointF at) {
        QMouseEvent e(type, at, map->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(map, &e);
    };
    std::int64_t ms = 0;
    // One tick with reports lays the map out and shows its lines.
    box.move_stick(128, 128, false);
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
    if (dragging) mouse(QEvent::MouseButtonPress, at_h1(window.thresholds().h1));
    int step = 0;
    for (auto _ : state) {
        if (dragging) mouse(QEvent::MouseMove, at_h1(60 + (step++ % 20) * 2));
        for (int i = 0; i < 5; ++i, ms += 10) {
            const emulator::StickPosition p = emulator::DemoStick::position_at(ms);
            box.move_stick(p.x, p.y, p.sequential);
        }
        QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
        QCoreApplication::sendPostedEvents();  // the repaint the tick asked for
    }
    if (dragging) {
        mouse(QEvent::MouseButtonRelease, at_h1(window.thresholds().h1));
        // Every move put h1 between 60 and 98, away from its start at 102.
        if (window.thresholds().h1 > 98) state.SkipWithError("the line was not dragged");
    }
}
BENCHMARK(BM_WindowTick)
    ->ArgNames({"maximised", "dragging"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

// The emulated box and the hand on its stick without a window: the share of
// the figures above that is not the window's.
void BM_BoxAlone(benchmark::State& state) {
    for (auto _ : state) {
        emulator::EmulatedBackend backend;
        emulator::BoxIdentity identity;
        identity.vendor_id = buildcfg::kVendorId;
        emulator::BoxModel& box = backend.add_box(identity);
        Feeder stick(box, state.range(0) != 0);
        stick.start();
        run_for(kSettleMs);
        stream(state, stick);
    }
}
BENCHMARK(BM_BoxAlone)->ArgName("wake_per_report")->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    // A 1920 x 1080 screen for the offscreen platform, unless the caller chose
    // a platform of its own.
    QTemporaryDir dir;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        const QString config = dir.filePath("screen.json");
        QFile f(config);
        if (f.open(QIODevice::WriteOnly))
            f.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1080,
                        "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        f.close();
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    QApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
