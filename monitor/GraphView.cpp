// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/GraphView.h"

#include <QPainter>
#include <QPaintEvent>
#include <QPen>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

#include "monitor/GearNames.h"
#include "monitor/Palette.h"

namespace monitor {

// ---- GraphLine ------------------------------------------------------------

GraphLine::GraphLine(const QString& name, QColor color, GraphView* parent)
    : QObject(parent), graph_(parent), color_(color) {
    setObjectName(name);
}

void GraphLine::set_color(QColor c) {
    if (c == color_) return;
    color_ = c;
    changed();
}

void GraphLine::setVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    changed();
}

void GraphLine::set_points(double x1, double y1, double x2, double y2) {
    if (x1 == X1 && y1 == Y1 && x2 == X2 && y2 == Y2) return;
    const QRect before = span();
    X1 = x1;
    Y1 = y1;
    X2 = x2;
    Y2 = y2;
    basis_ = QSize(graph_->ScaleWidth(), graph_->ScaleHeight());
    // A line that moves (dragged, typed) repaints from where it was to
    // where it is, not the whole map: one rectangle, which the painter
    // copies in one go (two strips apart would be drawn line by line).
    if (visible_) graph_->update(before.united(span()));
}

QRect GraphLine::span() const {
    constexpr int kMargin = GraphView::kLineWidth + 1;
    return QRectF(QPointF(X1, Y1), QPointF(X2, Y2))
        .normalized()
        .adjusted(-kMargin, -kMargin, kMargin, kMargin)
        .translated(graph_->contentsRect().topLeft())
        .toAlignedRect();
}

void GraphLine::changed() { graph_->update(); }

// ---- GraphView ------------------------------------------------------------

GraphView::GraphView(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    // The widget paints every pixel itself but does not say so: Qt then
    // paints it in the same pass as the markers moving along its edges,
    // once per tick, rather than once for its own points and again for them.
    setAutoFillBackground(false);
    take_palette_colours();
    raster_.set_name_size([this](Gear g) { return name_image(g).deviceIndependentSize().toSize(); });

    const QColor blue(0, 0, 255);
    const QColor green(0, 128, 0);
    line_h1 = new GraphLine(QStringLiteral("h1"), blue, this);
    line_h2 = new GraphLine(QStringLiteral("h2"), blue, this);
    line_v2 = new GraphLine(QStringLiteral("v2"), blue, this);
    line_v1 = new GraphLine(QStringLiteral("v1"), blue, this);
    line_s2 = new GraphLine(QStringLiteral("s2"), green, this);
    line_s1 = new GraphLine(QStringLiteral("s1"), green, this);
    ensure_canvas();
}

void GraphView::take_palette_colours() {
    request_repaint(raster_.set_colours(palette().color(QPalette::Base), palette().color(QPalette::Text)));
    // The names are drawn on the map's background.
    for (QImage& image : name_images_) image = QImage();
}

int GraphView::ScaleWidth() const { return std::max(0, contentsRect().width()); }
int GraphView::ScaleHeight() const { return std::max(0, contentsRect().height()); }

void GraphView::fit_lines() {
    const QSize area = contentsRect().size().expandedTo(QSize(0, 0));
    if (area == fitted_) return;
    fitted_ = area;
    for (GraphLine* l : {line_h1, line_h2, line_v2, line_v1, line_s2, line_s1}) {
        if (l->basis_.width() > 0 && l->basis_.height() > 0 && l->basis_ != area) {
            const double sx = static_cast<double>(area.width()) / l->basis_.width();
            const double sy = static_cast<double>(area.height()) / l->basis_.height();
            l->X1 *= sx;
            l->X2 *= sx;
            l->Y1 *= sy;
            l->Y2 *= sy;
        }
        l->basis_ = area;
    }
}

void GraphView::ensure_canvas() {
    fit_lines();
    request_repaint(raster_.fit(fitted_));
}

void GraphView::fit_to_area() { ensure_canvas(); }

void GraphView::request_repaint(const Repaint& r) {
    if (r.all)
        update();
    else if (!r.area.isEmpty())
        update(r.area.translated(contentsRect().topLeft()));
}

void GraphView::clear() { request_repaint(raster_.clear()); }

void GraphView::set_gear_view(bool on) { request_repaint(raster_.set_gear_view(on)); }

void GraphView::set_draw_width(int w) { raster_.set_draw_width(w); }

void GraphView::draw_position(std::uint8_t x, std::uint8_t y, Gear gear) {
    ensure_canvas();
    if (const QRect r = raster_.draw_position(x, y, gear); !r.isEmpty()) update(r.translated(contentsRect().topLeft()));
}

void GraphView::draw_positions(const std::vector<Report>& reports) {
    ensure_canvas();
    if (const QRect r = raster_.draw_positions(reports); !r.isEmpty()) update(r.translated(contentsRect().topLeft()));
}

void GraphView::replot(const Trace& trace) {
    ensure_canvas();
    request_repaint(raster_.replot(trace));
}

void GraphView::replot(const Trace& trace, const GearMap& gears) {
    ensure_canvas();
    request_repaint(raster_.replot(trace, gears));
}

const QImage& GraphView::name_image(Gear gear) {
    QImage& image = name_images_[static_cast<std::size_t>(gear)];
    if (image.isNull()) image = gear_name_label(gear, font(), paper(), devicePixelRatioF());
    return image;
}

QImage GraphView::snapshot() {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(paper());
    render(&image);
    return image;
}

void GraphView::paintEvent(QPaintEvent* e) {
    ensure_canvas();
    const QImage& canvas = raster_.image();
    QPainter p(this);
    const QRect area = contentsRect();
    const QRect asked = e->region().boundingRect();
    // Only the pixels asked for: a tick asks for the few its points cover.
    // Qt hands a copy of a hundred rows or more to its thread pool; for the
    // narrow strip a moving line asks for, waking the threads costs several
    // times the copy, so a narrow area is copied in bands of fewer rows.
    constexpr int kNarrow = 64;
    constexpr int kBandRows = 64;
    for (const QRect& r : e->region()) {
        const QRect target = r & area;
        if (target.isEmpty()) continue;
        const int rows = target.width() <= kNarrow ? kBandRows : target.height();
        for (int top = target.top(); top <= target.bottom(); top += rows) {
            const QRect band(target.left(), top, target.width(), std::min(rows, target.bottom() + 1 - top));
            p.drawImage(band.topLeft(), canvas, band.translated(-area.topLeft()));
        }
    }

    // The lines, the gear names and the frame where they cross what is asked for.
    const QColor paper = this->paper();
    p.save();
    p.setClipRect(area);
    p.translate(area.topLeft());
    const QRectF asked_in_area = QRectF(asked.translated(-area.topLeft()));
    for (const GraphLine* line : {line_h1, line_h2, line_v2, line_v1, line_s2, line_s1}) {
        if (!line->isVisible()) continue;
        const QRectF span = QRectF(QPointF(line->X1, line->Y1), QPointF(line->X2, line->Y2))
                                .normalized()
                                .adjusted(-kLineWidth, -kLineWidth, kLineWidth, kLineWidth);
        if (!span.intersects(asked_in_area)) continue;
        const QColor ink = line_ink(line->color(), paper);
        if (line->X1 == line->X2 || line->Y1 == line->Y2) {
            // Upright or level, as every threshold's line is: the pixels the
            // square-capped pen covers (those whose centres lie within half the
            // pen's width of the line), filled at once, which costs a fraction
            // of stroking the pen.
            auto first = [](double edge) { return static_cast<int>(std::ceil(edge - 0.5)); };
            const QRectF pen = span.adjusted(kLineWidth / 2.0, kLineWidth / 2.0, -kLineWidth / 2.0, -kLineWidth / 2.0);
            p.fillRect(QRect(QPoint(first(pen.left()), first(pen.top())),
                             QPoint(first(pen.right()) - 1, first(pen.bottom()) - 1)),
                       ink);
            continue;
        }
        p.setPen(QPen(ink, kLineWidth));
        p.drawLine(QPointF(line->X1, line->Y1), QPointF(line->X2, line->Y2));
    }
    if (raster_.gear_view())
        for (const GearName& n : raster_.names())
            if (QRectF(n.box).intersects(asked_in_area)) p.drawImage(n.box.topLeft(), name_image(n.gear));
    p.restore();
    // The frame: a plain line round the drawing area in the window's text
    // colour.
    const QColor frame = palette().color(QPalette::WindowText);
    const QRect edges[] = {QRect(0, 0, width(), 1), QRect(0, height() - 1, width(), 1), QRect(0, 0, 1, height()),
                           QRect(width() - 1, 0, 1, height())};
    for (const QRect& edge : edges)
        if (edge.intersects(asked)) p.fillRect(edge & asked, frame);
}

void GraphView::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    ensure_canvas();
}

void GraphView::changeEvent(QEvent* e) {
    QFrame::changeEvent(e);
    if (e->type() == QEvent::PaletteChange) take_palette_colours();
}

}  // namespace monitor
