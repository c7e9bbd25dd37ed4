// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The travel map: a drawing area onto which every reported position is drawn
// as a point, plus the six threshold lines. What has been drawn stays until
// clear(); it is kept as an image that only gains new points, so a tick
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

#include "GearRecord.h"
#include "MonitorState.h"

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

// The colour a line of colour `c` is drawn in over `background`: `c` itself
// over a light background; over a dark one (a dark palette), made lighter
// until it stands out from it as well as blue does from white.
QColor line_ink(QColor c, QColor background);

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
    int draw_width() const { return draw_width_; }
    void set_draw_width(int w);
    // Draws one raw position (0..255 each) as a point at the current width,
    // in the gear view in the colour of the gear decoded there.
    void draw_position(std::uint8_t x, std::uint8_t y, Gear gear = Gear::Neutral);
    // The same for every report of a batch, in order, with one repaint.
    void draw_positions(const std::vector<Report>& reports);
    // Makes sure every cell of the trace is drawn (the replot of a mode's
    // trace); cheap when nothing changed since the last call. The gear view
    // draws each cell in the colour of its gear (without `gears`: neutral's)
    // and redraws the cells whose gear changed; where the points of two cells
    // overlap, the one later in the trace's order (x, then y) shows.
    void replot(const Trace& trace);
    void replot(const Trace& trace, const GearMap& gears);

    // Off (the plain trace) by default. Switching erases the drawing; the next
    // replot draws the trace again the new way.
    void set_gear_view(bool on);
    bool gear_view() const { return gear_view_; }
    // The drawing area's background, on which the points are drawn.
    QColor paper() const;
    // A gear's colour on a map of the given background: the Okabe-Ito hues,
    // darkened on a light map and lightened on a dark one so that each stands
    // at least 3:1 against it. Neutral (and a report between gears) is black
    // on a light map, light grey on a dark one.
    static QColor gear_color(Gear gear, QColor paper);

    // The drawing area's pixels (white where nothing is drawn).
    const QImage& canvas() {
        ensure_canvas();
        return canvas_;
    }
    // The pixels a point at mapped position (px, py) covers at width w inside a
    // drawing area of the given size: a w x w square centred as near to the
    // position as the pixel grid allows, kept inside the area so that the
    // extreme positions 0 and 255 stay visible.
    static QRect point_rect(double px, double py, int w, int area_width, int area_height);

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
    using Words = std::array<std::uint64_t, 256 * 256 / 64>;

    struct GearSum {
        int cells = 0;
        long long x = 0;
        long long y = 0;
    };

    // A gear's name on show, and where.
    struct GearName {
        Gear gear;
        QRect box;
        bool operator==(const GearName&) const = default;
    };

    // One trace as drawn at one pen width: the cells it held when last
    // replotted and the drawing-area pixels they cover.
    struct TraceCache {
        const Trace* key = nullptr;
        Words cells{};
        std::vector<std::uint8_t> mask;  // plain: one byte per drawing-area pixel, 1 where inked
        int width = 0;                   // pen width the mask was drawn with
        QSize area;                      // drawing-area size the mask was drawn for
        bool on_canvas = false;          // every inked pixel is also on the canvas
        bool by_gear = false;            // drawn by the gear view
        // Gear view only: each drawing-area pixel's colour (0: none), the
        // cell whose point shows there (-1: none), each cell's gear as drawn
        // with the map's change counts, per gear its cells and the sums of
        // their positions, and where the names go.
        std::vector<QRgb> inked;
        std::vector<std::int32_t> owner;
        std::vector<Gear> gears;
        const GearMap* gear_key = nullptr;
        std::array<std::uint32_t, GearMap::kWords> changes{};  // the gear map's counts as drawn
        std::array<GearSum, kGearCount> sums{};
        std::array<QPoint, kGearCount> middles;  // of each gear's points, as the names were placed
        std::vector<GearName> names;
        bool names_stale = true;
    };

    TraceCache& cache_for(const Trace* trace);
    TraceCache* find_cache(const Trace* trace);
    void ensure_canvas();
    void fit_lines();
    // Answers whether a canvas pixel changed.
    bool fill_square(const QRect& r, std::vector<std::uint8_t>* mask, bool to_canvas);
    // Updates the pixels of the drawing area in r (canvas coordinates).
    void update_area(const QRect& r);
    // Inks one position; answers the pixels that changed (empty: none).
    QRect ink_position(std::uint8_t x, std::uint8_t y, Gear gear);
    void take_palette_colours();
    void replot_cells(TraceCache& c, const Words& now);
    void replot_plain(const Trace& trace);
    void replot_gears(const Trace& trace, const GearMap& gears);
    // Where each gear's name goes: beside the middle of its points (middles).
    std::vector<GearName> place_gear_names(const TraceCache& c);
    const QImage& name_image(Gear gear);

    QImage canvas_;
    QSize fitted_;  // the drawing-area size the lines were last fitted to
    QRgb paper_;    // the drawing area's background
    QRgb ink_;      // the plain trace's points
    int draw_width_ = 1;
    std::vector<TraceCache> caches_;
    const Trace* last_replotted_ = nullptr;  // the plain trace drawn last: a key into caches_, never read through
    bool gear_view_ = false;
    // Ink per mask value in the gear view.
    std::array<QRgb, 1 + kGearCount> gear_inks_{};
    // The trace replotted last since the drawing was erased (gear view).
    const Trace* shown_ = nullptr;
    // Points drawn since the last replot (gear view): the replot puts the
    // trace's own colours back under them.
    std::vector<QRect> pending_;
    // The gear names on show, and each name drawn once (a name drawn as text
    // on every paint would cost more than the rest of a tick).
    std::vector<GearName> names_;
    std::array<QImage, kGearCount> name_images_;
};

// The gear view's legend, for beside the map: a swatch of each gear's colour
// on the map's background with the gear's name, for one mode's gears.
class GearLegend : public QWidget {
    Q_OBJECT
public:
    explicit GearLegend(const GraphView& map, QWidget* parent = nullptr);
    void set_sequential(bool sequential);
    bool sequential() const { return sequential_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    const GraphView& map_;
    bool sequential_ = false;
};

}  // namespace monitor
