#pragma once
// The travel map: a drawing area onto which every reported position is drawn
// as a point, plus the six threshold lines. What has been drawn stays until
// clear(); it is kept as an image that only gains new points, so a tick
// repaints only the pixels its new points cover. The area and the points take
// the palette's Base and Text colours (white and black in a light palette).

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QObject>

#include <array>
#include <cstdint>
#include <vector>

#include "MonitorState.h"

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
    // Draws one raw position (0..255 each) as a point at the current width.
    void draw_position(std::uint8_t x, std::uint8_t y);
    // The same for every report of a batch, in order, with one repaint.
    void draw_positions(const std::vector<Report>& reports);
    // Makes sure every cell of the trace is drawn (the replot of a mode's
    // trace); cheap when nothing changed since the last call.
    void replot(const Trace& trace);

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

    // One trace as drawn at one pen width: the cells it held when last
    // replotted and the drawing-area pixels they cover.
    struct TraceCache {
        const Trace* key = nullptr;
        Words cells{};
        std::vector<std::uint8_t> mask;  // one byte per drawing-area pixel
        int width = 0;                   // pen width the mask was drawn with
        QSize area;                      // drawing-area size the mask was drawn for
        bool on_canvas = false;          // every mask pixel is also black on the canvas
    };

    TraceCache& cache_for(const Trace* trace);
    void ensure_canvas();
    void fit_lines();
    void replot_cells(TraceCache& c, const Words& now);
    // Answers whether a canvas pixel changed.
    bool fill_square(const QRect& r, std::vector<std::uint8_t>* mask, bool to_canvas);
    // Updates the pixels of the drawing area in r (canvas coordinates).
    void update_area(const QRect& r);
    // Inks one position; answers the pixels that changed (empty: none).
    QRect ink_position(std::uint8_t x, std::uint8_t y);
    void take_palette_colours();

    QImage canvas_;
    QSize fitted_;  // the drawing-area size the lines were last fitted to
    QRgb paper_;  // the drawing area's background
    QRgb ink_;    // the points
    int draw_width_ = 1;
    std::vector<TraceCache> caches_;
    const Trace* last_replotted_ = nullptr;  // a key into caches_, never read through
};

}  // namespace monitor
