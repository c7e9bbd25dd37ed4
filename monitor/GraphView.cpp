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

constexpr QRgb kInk = 0xFF000000;  // points are drawn in the map's foreground colour, black
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

}  // namespace

// ---- GraphLine ------------------------------------------------------------

GraphLine::GraphLine(const QString& name, QColor color, QObject* parent) : QObject(parent), color_(color) {
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
    X1 = x1;
    Y1 = y1;
    X2 = x2;
    Y2 = y2;
    changed();
}

void GraphLine::changed() {
    if (auto* w = qobject_cast<QWidget*>(parent())) w->update();
}

// ---- GraphView ------------------------------------------------------------

GraphView::GraphView(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

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

int GraphView::ScaleWidth() const { return std::max(0, contentsRect().width()); }
int GraphView::ScaleHeight() const { return std::max(0, contentsRect().height()); }

QRect GraphView::point_rect(double px, double py, int w, int area_width, int area_height) {
    const int side_x = std::min(w, area_width);
    const int side_y = std::min(w, area_height);
    return QRect(place(px, side_x, area_width), place(py, side_y, area_height), side_x, side_y);
}

void GraphView::ensure_canvas() {
    const QSize want(ScaleWidth(), ScaleHeight());
    if (canvas_.size() == want) return;
    QImage next(want, QImage::Format_RGB32);
    next.fill(Qt::white);
    if (!canvas_.isNull() && !next.isNull()) {
        QPainter p(&next);
        p.drawImage(0, 0, canvas_);
    }
    canvas_ = next;
    // Masks drawn for the old size no longer match; the next replot redraws them.
    for (TraceCache& c : caches_) c.on_canvas = false;
}

void GraphView::clear() {
    canvas_.fill(Qt::white);
    for (TraceCache& c : caches_) c.on_canvas = false;
    update();
}

void GraphView::set_draw_width(int w) { draw_width_ = std::max(1, w); }

void GraphView::fill_square(const QRect& r, std::vector<std::uint8_t>* mask, bool to_canvas) {
    const int stride = canvas_.width();
    QRgb* pixels = to_canvas ? reinterpret_cast<QRgb*>(canvas_.bits()) : nullptr;
    const int line = to_canvas ? canvas_.bytesPerLine() / static_cast<int>(sizeof(QRgb)) : 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (mask) (*mask)[static_cast<std::size_t>(y) * stride + x] = 1;
            if (pixels) pixels[y * line + x] = kInk;
        }
    }
}

void GraphView::draw_position(std::uint8_t x, std::uint8_t y) {
    ensure_canvas();
    if (canvas_.isNull()) return;
    const QRect r = point_rect(map_x(x, canvas_.width()), map_y(y, canvas_.height()), draw_width_,
                               canvas_.width(), canvas_.height());
    fill_square(r, nullptr, true);
    update(r.translated(contentsRect().topLeft()));
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
    const int w = canvas_.width();
    const int h = canvas_.height();
    TraceCache& c = cache_for(&trace);
    const Words now = words_of(trace);

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

    bool drawn = false;
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
            fill_square(r, &c.mask, c.on_canvas);
        }
        drawn = true;
    }
    c.cells = now;

    if (!c.on_canvas) {
        QRgb* pixels = reinterpret_cast<QRgb*>(canvas_.bits());
        const int line = canvas_.bytesPerLine() / static_cast<int>(sizeof(QRgb));
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* m = c.mask.data() + static_cast<std::size_t>(y) * w;
            QRgb* row = pixels + y * line;
            for (int x = 0; x < w; ++x)
                if (m[x]) row[x] = kInk;
        }
        c.on_canvas = true;
        drawn = true;
    }
    if (drawn) update();
}

QImage GraphView::snapshot() {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    render(&image);
    return image;
}

void GraphView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect area = contentsRect();
    p.drawImage(area.topLeft(), canvas_);

    p.save();
    p.setClipRect(area);
    p.translate(area.topLeft());
    for (const GraphLine* line : {line_h1, line_h2, line_v2, line_v1, line_s2, line_s1}) {
        if (!line->isVisible()) continue;
        p.setPen(QPen(line->color(), kLineWidth));
        p.drawLine(QPointF(line->X1, line->Y1), QPointF(line->X2, line->Y2));
    }
    p.restore();
    drawFrame(&p);
}

void GraphView::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    ensure_canvas();
}

}  // namespace monitor
