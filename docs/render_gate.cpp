// Draws the README's picture of the thresholds: the window's travel map with
// its threshold lines and their text boxes, as the window shows them while the
// demo's stick goes through the H gate and then through sequential mode, each
// line labelled with its threshold's name. Usage: render_gate OUTPUT.png

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "BuildConfig.h"
#include "DemoStick.h"
#include "Dialogs.h"
#include "EmulatedBackend.h"
#include "frmMain.h"

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
    const int left = w.lblY->x() - 4;
    const int top = w.Text9->y() - 4;
    const int right = std::max(w.Text8->geometry().right(), w.Gear->geometry().right()) + 4;
    const int bottom = w.cmd_auto_cal->y() - 4;
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
    const QPoint map = w.Graph->geometry().topLeft() + w.Graph->contentsRect().topLeft() - area.topLeft();
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

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: render_gate OUTPUT.png\n");
        return 2;
    }

    emulator::EmulatedBackend backend;
    emulator::BoxIdentity identity;
    identity.vendor_id = buildcfg::kVendorId;
    emulator::DemoStick stick(backend.add_box(identity));
    NoDialogs dialogs;
    AppConfig config;
    config.vendor_id = buildcfg::kVendorId;
    frmMain window(backend, dialogs, config);
    window.show();

    // The stick's path: the H gate, then sequential mode from `sequential` on,
    // back to the H gate at the end of the cycle.
    qint64 sequential = 0;
    while (!emulator::DemoStick::position_at(sequential).sequential) sequential += 10;
    const qint64 cycle = emulator::DemoStick::cycle_length();

    QElapsedTimer clock;
    clock.start();
    stick.start();
    const monitor::GraphView& g = *window.Graph;
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
