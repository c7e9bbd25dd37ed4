// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The travel map: a drawing area onto which every reported position is drawn
// as a point (TraceRaster draws them), plus the six threshold lines. A tick
// repaints only the pixels its new points cover. The area and the points take
// the palette's Base and Text colours (white and black in a light palette).
// The gear view colours each point by the gear the box decoded there and
// writes each gear's name at the middle of its points; the plain trace is the
// default.

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QObject>
#include <QRect>

#include <array>
#include <cstdint>
#include <vector>

#include "monitor/GearRecord.h"
#include "monitor/MonitorState.h"
#include "monitor/TraceRaster.h"

class QPainter;

namespace monitor {

class GraphView;

// One threshold line inside the map, in drawing-area pixels, named after its
// threshold ("h1" .. "s2") until its owner names it otherwise.
// Change it through set_points, set_color and setVisible so that the map is
// repainted; the coordinates are public for reading. When the map changes its
// size, the coordinates are scaled with it.
class GraphLine : public QObject {
    Q_OBJECT
public:
    GraphLine(const QString& name, QColor color, GraphView* parent);
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    QColor color() const { return color_; }
    void set_color(QColor c);
    bool isVisible() const { return visible_; }
    void setVisible(bool v);
    void set_points(double x1, double y1, double x2, double y2);

private:
    friend class GraphView;
    void changed();
    // The pixels of the map's widget the line covers.
    QRect span() const;
    GraphView* graph_;
    QColor color_;
    bool visible_ = false;
    QSize basis_;  // the drawing-area size the coordinates refer to
};

class GraphView : public QFrame {
    Q_OBJECT
public:
    explicit GraphView(QWidget* parent = nullptr);

    // The drawing area inside the border, in pixels.
    int ScaleWidth() const;
    int ScaleHeight() const;

    // One line per threshold: vertical for h1 and h2, horizontal for the rest.
    GraphLine* line_h1;
    GraphLine* line_h2;
    GraphLine* line_v1;
    GraphLine* line_v2;
    GraphLine* line_s1;
    GraphLine* line_s2;

    static constexpr int kLineWidth = 2;

    // Erases every drawn point.
    void clear();
    int draw_width() const { return raster_.draw_width(); }
    void set_draw_width(int w);
    // Draw as TraceRaster's of the same names do, and repaint what changed:
    // one raw position (0..255 each) as a point at the current width,
    void draw_position(std::uint8_t x, std::uint8_t y, Gear gear = Gear::Neutral);
    // every report of a batch, in order, with one repaint,
    void draw_positions(const std::vector<Report>& reports);
    // and every cell of a mode's trace (cheap when nothing changed since).
    void replot(const Trace& trace);
    void replot(const Trace& trace, const GearMap& gears);

    // Off (the plain trace) by default. Switching erases the drawing; the next
    // replot draws the trace again the new way.
    void set_gear_view(bool on);
    bool gear_view() const { return raster_.gear_view(); }
    // The drawing area's background, on which the points are drawn.
    QColor paper() const { return raster_.paper(); }

    // The drawing area's pixels (white where nothing is drawn).
    const QImage& canvas() {
        ensure_canvas();
        return raster_.image();
    }

    // What the map shows, drawn into an image of the widget's size.
    QImage snapshot();

    // After a change of size: the canvas and the lines follow the drawing
    // area at once (the resize event of a hidden widget comes only when it is
    // shown). The canvas is drawn again from the trace replotted last; points
    // drawn at the old size that are not in it are let go.
    void fit_to_area();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void ensure_canvas();
    void fit_lines();
    // Asks for the repaint of what a change of the drawing touched.
    void request_repaint(const Repaint& r);
    void take_palette_colours();
    const QImage& name_image(Gear gear);

    TraceRaster raster_;
    QSize fitted_;  // the drawing-area size the lines were last fitted to
    // Each gear's name drawn once (a name drawn as text on every paint would
    // cost more than the rest of a tick).
    std::array<QImage, kGearCount> name_images_;
};

}  // namespace monitor
