// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the README's picture of the thresholds: the window's travel map with
// its threshold lines and their text boxes, as the window shows them while the
// demo's stick goes through the H gate and then through sequential mode, each
// line labelled with its threshold's name. Usage: render_gate OUTPUT.png
//
// render_gate --window OUTPUT.png draws the whole window on the demo's box,
// its gear view on, after the stick went once through the H gate.
//
// render_gate --gears OUTPUT.png draws the gear view instead: the travel map
// alone, fed with one turn of the demo's hand, coloured by gear in both modes,
// and once more with gear 3's gate ending 3 counts past v2; each map with its
// legend and the calibration check's lines below it.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BuildConfig.h"
#include "emulator/DemoStick.h"
#include "app/Design.h"
#include "app/Dialogs.h"
#include "app/WindowLayout.h"
#include "emulator/EmulatedBackend.h"
#include "monitor/GearCheck.h"
#include "monitor/GearLegend.h"
#include "monitor/GraphView.h"
#include "monitor/Monitor.h"
#include "app/frmMain.h"

namespace {

class NoDialogs : public Dialogs {
public:
    void information(QWidget*, const QString&, const QString&) override {}
    void critical(QWidget*, const QString&, const QString&) override {}
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    bool confirm(QWidget*, const QString&, const QString&) override { return false; }
};

void run_until(const QElapsedTimer& clock, qint64 ms) {
    while (clock.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// The part of the window around the map: the text boxes above and to the
// right, the gear, the position markers and readouts to the left and below,
// down to the buttons.
QRect gate_area(const frmMain& w) {
    const int left = w.findChild<QLabel*>("lblY")->x() - 4;
    const int top = w.findChild<QLineEdit*>("Text9")->y() - 4;
    const int right = std::max(w.findChild<QLineEdit*>("Text8")->geometry().right(), w.findChild<QLabel*>("Gear")->geometry().right()) + 4;
    const int bottom = w.findChild<QPushButton*>("cmd_auto_cal")->y() - 4;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

struct Label {
    const monitor::GraphLine* line;
    const char* name;
};

// The window's area with each visible line's name written beside it.
QImage panel(frmMain& w, std::initializer_list<Label> labels) {
    const QRect area = gate_area(w);
    QImage image = w.grab(area).toImage();
    QPainter p(&image);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(13);
    p.setFont(font);
    const QPoint map = w.findChild<monitor::GraphView*>("Graph")->geometry().topLeft() + w.findChild<monitor::GraphView*>("Graph")->contentsRect().topLeft() - area.topLeft();
    for (const Label& l : labels) {
        if (!l.line->isVisible()) continue;
        const QSize size = p.fontMetrics().size(0, l.name) + QSize(6, 2);
        QRect box;
        if (l.line->X1 == l.line->X2)  // vertical: at its foot, right of it
            box = QRect(map + QPoint(static_cast<int>(l.line->X1) + 4, static_cast<int>(l.line->Y2) - size.height() - 4),
                        size);
        else  // horizontal: at its left end, above it
            box = QRect(map + QPoint(4, static_cast<int>(l.line->Y1) - size.height() - 2), size);
        p.fillRect(box, Qt::white);
        p.setPen(l.line->color());
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.drawText(box, Qt::AlignCenter, l.name);
    }
    return image;
}

// ---- the gear view ---------------------------------------------------------

// A control's place in the window's design, in pixels at 100 %.
QRect place_of(const char* name) { return layout::px(design::control(name).place); }

// The monitor's controls at their places in the window, without the window:
// the map in the gear view, fed straight from the demo's hand.
struct GearViewRig {
    explicit GearViewRig(emulator::ShallowGate gate) : shallow(gate) {
        window.resize(layout::px(design::kClientArea).size());
        auto box = [&](int value, const char* name) {
            auto* e = new QLineEdit(QString::number(value), &window);
            e->setGeometry(place_of(name));
            return e;
        };
        auto widget = [&](const char* name) {
            auto* e = new QLabel(&window);
            e->setGeometry(place_of(name));
            return e;
        };
        c.h2_box = box(thresholds.h2, "Text10");
        c.h1_box = box(thresholds.h1, "Text9");
        c.lower_box = box(thresholds.v1, "Text8");
        c.upper_box = box(thresholds.v2, "Text7");
        c.map = new monitor::GraphView(&window);
        c.map->setGeometry(layout::px(design::kGraph));
        c.gear = widget("Gear");
        c.y_marker_right = widget("TickV2");
        c.y_marker_left = widget("TickV1");
        c.x_marker_top = widget("TickH1");
        c.x_marker_bottom = widget("TickH2");
        c.y_value = widget("lblY");
        c.x_value = widget("lblX");
        legend = new monitor::GearLegend(*c.map, &window);
        monitor::initialise_values(s, *c.map);
        s.shown_mode = monitor::kModeNone;
        window.show();
        monitor::show_gear_view(true, s, *c.map);
    }

    // The box reports every 10 ms, the window reads them every 50 ms.
    void run_until(std::int64_t until) {
        std::vector<std::uint8_t> batch;
        for (; ms < until; ms += 10) {
            const emulator::StickPosition p = emulator::DemoStick::position_at(ms, shallow);
            const emulator::DecodedGear d = emulator::decode_gear(p.x, p.y, p.sequential, emulator::BoxSettings{});
            batch.insert(batch.end(), {0, p.x, p.y, d.gear_bits, d.minus, static_cast<std::uint8_t>(p.sequential ? 2 : 0)});
            if (ms % 50 == 40) {
                monitor::process_batch(batch.data(), static_cast<int>(batch.size()), 6, s, thresholds, c);
                batch.clear();
            }
        }
    }

    // The map with its legend under it and the check's lines below that.
    QImage panel(const QString& caption) {
        const bool sequential = s.shown_mode == monitor::kModeSequential;
        legend->set_sequential(sequential);
        legend->resize(legend->sizeHint());
        const QImage map = c.map->snapshot();
        const QImage key = legend->grab().toImage();
        std::vector<std::string> lines = monitor::gear_lines(monitor::check_gears(s.gear_record.reports(), thresholds, sequential));

        QFont font = window.font();
        font.setPixelSize(12);
        const QFontMetrics metrics(font);
        int width = std::max(map.width(), key.width());
        for (const std::string& l : lines) width = std::max(width, metrics.horizontalAdvance(QString::fromStdString(l)));
        const int caption_height = 22, gap = 6;
        QImage out(width + 8, caption_height + map.height() + gap + key.height() + gap +
                                  static_cast<int>(lines.size()) * metrics.lineSpacing() + 4,
                   QImage::Format_RGB32);
        out.fill(Qt::white);
        QPainter p(&out);
        QFont bold = font;
        bold.setPixelSize(14);
        p.setFont(bold);
        p.drawText(QRect(0, 0, out.width(), caption_height), Qt::AlignCenter, caption);
        int y = caption_height;
        p.drawImage((out.width() - map.width()) / 2, y, map);
        y += map.height() + gap;
        p.drawImage((out.width() - key.width()) / 2, y, key);
        y += key.height() + gap;
        p.setFont(font);
        for (const std::string& l : lines) {
            p.drawText(QPoint(4, y + metrics.ascent()), QString::fromStdString(l));
            y += metrics.lineSpacing();
        }
        return out;
    }

    emulator::ShallowGate shallow;
    QWidget window;
    monitor::MonitorControls c;
    monitor::GearLegend* legend = nullptr;
    monitor::MonitorState s;
    device::Thresholds thresholds{102, 152, 64, 190, 100, 155};
    std::int64_t ms = 0;
};

QImage side_by_side(const std::vector<QImage>& panels) {
    const int gap = 16;
    int width = -gap, height = 0;
    for (const QImage& i : panels) {
        width += i.width() + gap;
        height = std::max(height, i.height());
    }
    QImage out(width, height, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    int x = 0;
    for (const QImage& i : panels) {
        p.drawImage(x, 0, i);
        x += i.width() + gap;
    }
    return out;
}

int render_gears(const char* path) {
    std::int64_t sequential = 0;
    while (!emulator::DemoStick::position_at(sequential).sequential) sequential += 10;
    const std::int64_t cycle = emulator::DemoStick::cycle_length();

    GearViewRig usual({});
    usual.run_until(sequential - 250);  // resting in neutral after reverse
    const QImage h = usual.panel("H-pattern mode");
    usual.run_until(cycle - 150);  // back in neutral after the minus tap
    const QImage seq = usual.panel("Sequential mode");

    GearViewRig shallow({'3', 3});
    shallow.run_until(sequential - 250);
    const QImage risk = shallow.panel("Gear 3's gate 3 counts past v2");

    if (!side_by_side({h, seq, risk}).save(QString::fromLocal8Bit(path))) {
        std::fprintf(stderr, "render_gate: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

}  // namespace

// The window on the demo's box, its stick about to start; `sequential` is
// where its path turns to sequential mode after the H gate.
struct DemoWindow {
    DemoWindow() : stick(backend.add_box(identity())), window(backend, dialogs, config()) {
        window.show();
        while (!emulator::DemoStick::position_at(sequential).sequential) sequential += 10;
    }
    static emulator::BoxIdentity identity() {
        emulator::BoxIdentity id;
        id.vendor_id = buildcfg::kVendorId;
        return id;
    }
    static AppConfig config() {
        AppConfig c;
        c.vendor_id = buildcfg::kVendorId;
        return c;
    }
    emulator::EmulatedBackend backend;
    emulator::DemoStick stick;
    NoDialogs dialogs;
    frmMain window;
    qint64 sequential = 0;
};

int render_window(const char* out) {
    DemoWindow demo;
    demo.window.findChild<QCheckBox*>("chkGearView")->setChecked(true);
    QElapsedTimer clock;
    clock.start();
    demo.stick.start();
    run_until(clock, demo.sequential - 250);  // resting in neutral after reverse
    if (!demo.window.grab().save(QString::fromLocal8Bit(out))) {
        std::fprintf(stderr, "render_gate: cannot write %s\n", out);
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--gears") == 0) return render_gears(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--window") == 0) return render_window(argv[2]);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: render_gate [--gears | --window] OUTPUT.png\n");
        return 2;
    }

    // The stick's path: the H gate, then sequential mode from `sequential` on,
    // back to the H gate at the end of the cycle.
    DemoWindow demo;
    frmMain& window = demo.window;
    const qint64 sequential = demo.sequential;
    const qint64 cycle = emulator::DemoStick::cycle_length();

    QElapsedTimer clock;
    clock.start();
    demo.stick.start();
    const monitor::GraphView& g = *window.findChild<monitor::GraphView*>("Graph");
    run_until(clock, sequential - 250);  // resting in neutral after reverse
    const QImage h = panel(window, {{g.line_h1, "h1"}, {g.line_h2, "h2"}, {g.line_v2, "v2"}, {g.line_v1, "v1"}});
    run_until(clock, cycle - 150);  // back in neutral after the minus tap
    const QImage s = panel(window, {{g.line_s2, "s2"}, {g.line_s1, "s1"}});

    // Side by side under a caption each.
    const int caption = 22, gap = 16;
    QImage out(h.width() + gap + s.width(), caption + h.height(), QImage::Format_RGB32);
    out.fill(window.palette().color(QPalette::Window));
    QPainter p(&out);
    QFont font = p.font();
    font.setPixelSize(14);
    p.setFont(font);
    p.drawText(QRect(0, 0, h.width(), caption), Qt::AlignCenter, "H-pattern mode");
    p.drawText(QRect(h.width() + gap, 0, s.width(), caption), Qt::AlignCenter, "Sequential mode");
    p.drawImage(0, caption, h);
    p.drawImage(h.width() + gap, caption, s);
    p.end();
    if (!out.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "render_gate: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
