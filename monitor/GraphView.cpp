#include "GraphView.h"

#include <QPainter>
#include <QPaintEvent>
#include <QPen>
#include <QResizeEvent>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace monitor {

namespace {

// The two traces of the window are all that normally reach replot; a few more
// slots only matter to callers that replot copies.
constexpr std::size_t kMaxCaches = 4;

using Words = std::array<std::uint64_t, 256 * 256 / 64>;

// Every standard library we build with keeps a bitset as a plain array of
// machine words, lowest bit first; reading it as 64-bit words lets a tick find
// its few new cells without testing all 65,536 one by one. The layout is
// checked once, with the slow path kept for a library that differs.
bool bitset_is_word_array() {
    if constexpr (sizeof(Trace) != sizeof(Words) || !std::is_trivially_copyable_v<Trace>) {
        return false;
    } else {
        static const bool ok = [] {
            Trace probe;
            probe.set(0);
            probe.set(65);
            probe.set(256 * 256 - 1);
            Words w;
            std::memcpy(w.data(), &probe, sizeof(w));
            for (std::size_t i = 0; i < w.size(); ++i) {
                const std::uint64_t expected = i == 0 ? 1u : i == 1 ? 2u : i == w.size() - 1 ? (1ull << 63) : 0u;
                if (w[i] != expected) return false;
            }
            return true;
        }();
        return ok;
    }
}

Words words_of(const Trace& t) {
    Words w{};
    if (bitset_is_word_array()) {
        std::memcpy(w.data(), &t, sizeof(w));
    } else {
        for (std::size_t i = 0; i < t.size(); ++i)
            if (t.test(i)) w[i / 64] |= std::uint64_t{1} << (i % 64);
    }
    return w;
}

// First pixel of a w-pixel run centred as near as the grid allows on p, kept
// inside [0, extent).
int place(double p, int w, int extent) {
    const int first = static_cast<int>(std::floor(p - w / 2.0 + 0.5));
    return std::clamp(first, 0, std::max(0, extent - w));
}

// Relative luminance and contrast ratio as the accessibility guidelines
// define them.
double luminance(QColor c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(QColor a, QColor b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

QColor line_ink(QColor c, QColor background) {
    // A light palette gets the lines exactly in their own colours.
    if (background.lightness() >= 128) return c;
    constexpr double kWanted = 4.5;
    const int hue = c.hslHue(), saturation = c.hslSaturation();
    QColor out = c;
    for (int l = c.lightness(); contrast(out, background) < kWanted && l < 255;) {
        l = std::min(255, l + 8);
        out = QColor::fromHsl(hue, saturation, l).toRgb();
    }
    return out;
}

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
    basis_ = QSize(graph_->ScaleWidth(), graph_->ScaleHeight());
    if (x1 == X1 && y1 == Y1 && x2 == X2 && y2 == Y2) return;
    X1 = x1;
    Y1 = y1;
    X2 = x2;
    Y2 = y2;
    changed();
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
    paper_ = palette().color(QPalette::Base).rgb();
    ink_ = palette().color(QPalette::Text).rgb();
}

int GraphView::ScaleWidth() const { return std::max(0, contentsRect().width()); }
int GraphView::ScaleHeight() const { return std::max(0, contentsRect().height()); }

QRect GraphView::point_rect(double px, double py, int w, int area_width, int area_height) {
    const int side_x = std::min(w, area_width);
    const int side_y = std::min(w, area_height);
    return QRect(place(px, side_x, area_width), place(py, side_y, area_height), side_x, side_y);
}

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
    if (canvas_.size() == fitted_) return;
    const QSize want = fitted_;
    canvas_ = QImage(want, QImage::Format_RGB32);
    canvas_.fill(paper_);
    for (TraceCache& c : caches_) c.on_canvas = false;
    // The trace on show, drawn again at the new size from the cells it held.
    if (last_replotted_ && !canvas_.isNull()) {
        TraceCache& c = cache_for(last_replotted_);
        const Words cells = c.cells;
        c.cells.fill(0);
        replot_cells(c, cells);
    }
    update();
}

void GraphView::fit_to_area() { ensure_canvas(); }

void GraphView::clear() {
    canvas_.fill(paper_);
    for (TraceCache& c : caches_) c.on_canvas = false;
    update();
}

void GraphView::update_area(const QRect& r) { update(r.translated(contentsRect().topLeft())); }

void GraphView::set_draw_width(int w) { draw_width_ = std::max(1, w); }

bool GraphView::fill_square(const QRect& r, std::vector<std::uint8_t>* mask, bool to_canvas) {
    const int stride = canvas_.width();
    QRgb* pixels = to_canvas ? reinterpret_cast<QRgb*>(canvas_.bits()) : nullptr;
    const int line = to_canvas ? canvas_.bytesPerLine() / static_cast<int>(sizeof(QRgb)) : 0;
    bool changed = false;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (mask) (*mask)[static_cast<std::size_t>(y) * stride + x] = 1;
            if (pixels && pixels[y * line + x] != ink_) {
                pixels[y * line + x] = ink_;
                changed = true;
            }
        }
    }
    return changed;
}

QRect GraphView::ink_position(std::uint8_t x, std::uint8_t y) {
    const QRect r = point_rect(map_x(x, canvas_.width()), map_y(y, canvas_.height()), draw_width_,
                               canvas_.width(), canvas_.height());
    return fill_square(r, nullptr, true) ? r : QRect();
}

void GraphView::draw_position(std::uint8_t x, std::uint8_t y) {
    ensure_canvas();
    if (canvas_.isNull()) return;
    if (const QRect r = ink_position(x, y); !r.isEmpty()) update_area(r);
}

void GraphView::draw_positions(const std::vector<Report>& reports) {
    ensure_canvas();
    if (canvas_.isNull()) return;
    // A batch covers a few tens of milliseconds of the stick's travel, so its
    // points lie close together: one rectangle round them is repainted.
    QRect changed;
    for (const Report& r : reports) changed |= ink_position(r.x, r.y);
    if (!changed.isEmpty()) update_area(changed);
}

GraphView::TraceCache& GraphView::cache_for(const Trace* trace) {
    for (TraceCache& c : caches_)
        if (c.key == trace) return c;
    if (caches_.size() >= kMaxCaches) caches_.erase(caches_.begin());
    caches_.push_back(TraceCache{});
    caches_.back().key = trace;
    return caches_.back();
}

void GraphView::replot(const Trace& trace) {
    ensure_canvas();
    if (canvas_.isNull()) return;
    last_replotted_ = &trace;
    replot_cells(cache_for(&trace), words_of(trace));
}

void GraphView::replot_cells(TraceCache& c, const Words& now) {
    const int w = canvas_.width();
    const int h = canvas_.height();

    // A mask only grows. A trace that lost cells was reset, and a new pen width
    // or size changes every point: start the mask again. The canvas keeps what
    // the old mask put there, as it keeps every point drawn before.
    bool restart = c.width != draw_width_ || c.area != canvas_.size();
    for (std::size_t i = 0; !restart && i < now.size(); ++i)
        if (c.cells[i] & ~now[i]) restart = true;
    if (restart) {
        c.cells.fill(0);
        c.mask.assign(static_cast<std::size_t>(w) * h, 0);
        c.width = draw_width_;
        c.area = canvas_.size();
        c.on_canvas = false;
    }

    // New cells are normally on the canvas already (each report's point is
    // drawn as it arrives); only pixels that change are repainted.
    std::array<int, 256> left{};
    std::array<int, 256> top{};
    bool placed = false;
    for (std::size_t i = 0; i < now.size(); ++i) {
        std::uint64_t fresh = now[i] & ~c.cells[i];
        if (fresh == 0) continue;
        if (!placed) {
            for (int v = 0; v < 256; ++v) {
                left[v] = place(map_x(v, w), std::min(draw_width_, w), w);
                top[v] = place(map_y(v, h), std::min(draw_width_, h), h);
            }
            placed = true;
        }
        while (fresh != 0) {
            const int bit = std::countr_zero(fresh);
            fresh &= fresh - 1;
            const int cell = static_cast<int>(i) * 64 + bit;  // x * 256 + y
            const QRect r(left[cell >> 8], top[cell & 255], std::min(draw_width_, w), std::min(draw_width_, h));
            if (fill_square(r, &c.mask, c.on_canvas)) update_area(r);
        }
    }
    c.cells = now;

    if (!c.on_canvas) {
        QRgb* pixels = reinterpret_cast<QRgb*>(canvas_.bits());
        const int line = canvas_.bytesPerLine() / static_cast<int>(sizeof(QRgb));
        bool changed = false;
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* m = c.mask.data() + static_cast<std::size_t>(y) * w;
            QRgb* row = pixels + y * line;
            for (int x = 0; x < w; ++x)
                if (m[x] && row[x] != ink_) {
                    row[x] = ink_;
                    changed = true;
                }
        }
        c.on_canvas = true;
        if (changed) update();
    }
}

QImage GraphView::snapshot() {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(paper_);
    render(&image);
    return image;
}

void GraphView::paintEvent(QPaintEvent* e) {
    ensure_canvas();
    QPainter p(this);
    const QRect area = contentsRect();
    const QRect asked = e->region().boundingRect();
    // Only the pixels asked for: a tick asks for the few its points cover.
    for (const QRect& r : e->region()) {
        const QRect target = r & area;
        if (!target.isEmpty()) p.drawImage(target.topLeft(), canvas_, target.translated(-area.topLeft()));
    }

    // The lines and the frame where they cross what is asked for.
    const QColor paper = QColor::fromRgb(paper_);
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
        p.setPen(QPen(line_ink(line->color(), paper), kLineWidth));
        p.drawLine(QPointF(line->X1, line->Y1), QPointF(line->X2, line->Y2));
    }
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
    if (e->type() != QEvent::PaletteChange) return;
    const QRgb old_paper = paper_, old_ink = ink_;
    take_palette_colours();
    if (old_paper == paper_ && old_ink == ink_) return;
    // What is drawn is kept, in the new colours.
    for (int y = 0; y < canvas_.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(canvas_.scanLine(y));
        for (int x = 0; x < canvas_.width(); ++x) row[x] = row[x] == old_ink ? ink_ : paper_;
    }
    update();
}

}  // namespace monitor
