// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "GraphView.h"

#include <QFontMetrics>
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

// Gear colours by Gear: neutral, 1 .. 6, R, plus, minus, between. Each gear
// keeps its Okabe-Ito hue on both maps (1 yellow, 2 blue, 3 vermillion, 4
// orange, 5 reddish purple, 6 bluish green, R sky blue; plus as 2, minus as
// 4), darker on a light map and lighter on a dark one: every colour stands at
// least 3.5:1 against white and 3.4:1 against the dark palette's (30, 30, 30)
// and (45, 45, 48). The neighbours on the map (each gear and neutral, 6 and R,
// 3 and 4) stay at least 14 CIEDE2000 apart, also as people with deutan,
// protan or tritan vision see them. Neutral, which every way in and out of a
// gear crosses, is the plain trace's black (light grey on a dark map).
constexpr std::array<QRgb, kGearCount> kGearsOnLight{0xFF000000, 0xFF908928, 0xFF005B8E, 0xFF6A2F00,
                                                      0xFF8A5F00, 0xFFA36186, 0xFF004F3A, 0xFF4590BA,
                                                      0xFF005B8E, 0xFF8A5F00, 0xFF000000};
constexpr std::array<QRgb, kGearCount> kGearsOnDark{0xFFE0E0E0, 0xFFF0E442, 0xFF2687BE, 0xFFD55E00,
                                                     0xFFEAAD26, 0xFFD48DB4, 0xFF009E73, 0xFF89CAF0,
                                                     0xFF2687BE, 0xFFEAAD26, 0xFFE0E0E0};

double linear(int c) {
    const double v = c / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// Relative luminance of an sRGB colour.
double luminance(QColor c) { return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue()); }

// Above this, black stands out against the background better than white does.
bool is_light(QColor paper) { return luminance(paper) > 0.179; }

// The contrast ratio as the accessibility guidelines define it.
double contrast(QColor a, QColor b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The text of the gear names: the map's ink.
QColor text_on(QColor paper) { return is_light(paper) ? QColor(Qt::black) : QColor(230, 230, 230); }

// First pixel of a w-pixel run centred as near as the grid allows on p, kept
// inside [0, extent).
int place(double p, int w, int extent) {
    const int first = static_cast<int>(std::floor(p - w / 2.0 + 0.5));
    return std::clamp(first, 0, std::max(0, extent - w));
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
    for (int g = 0; g < kGearCount; ++g) gear_inks_[1 + g] = gear_color(static_cast<Gear>(g), paper()).rgb();
    // The names are drawn on the map's background.
    for (QImage& image : name_images_) image = QImage();
}

QColor GraphView::paper() const { return QColor::fromRgb(paper_); }

QColor GraphView::gear_color(Gear gear, QColor paper) {
    const auto& colors = is_light(paper) ? kGearsOnLight : kGearsOnDark;
    return QColor::fromRgb(colors[static_cast<std::size_t>(gear)]);
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
    canvas_ = QImage(fitted_, QImage::Format_RGB32);
    canvas_.fill(paper_);
    // Masks drawn for the old size no longer match; the next replot redraws them.
    for (TraceCache& c : caches_) c.on_canvas = false;
    shown_ = nullptr;
    pending_.clear();
    names_.clear();
    // The plain trace on show, drawn again at the new size from the cells it
    // held (the gear view's is, at its next replot).
    if (last_replotted_ && !gear_view_ && !canvas_.isNull()) {
        TraceCache& c = cache_for(last_replotted_);
        const Words cells = c.cells;
        c.cells.fill(0);
        replot_cells(c, cells);
    }
    update();
}

void GraphView::fit_to_area() { ensure_canvas(); }

void GraphView::update_area(const QRect& r) { update(r.translated(contentsRect().topLeft())); }

void GraphView::clear() {
    canvas_.fill(paper_);
    for (TraceCache& c : caches_) c.on_canvas = false;
    shown_ = nullptr;
    pending_.clear();
    names_.clear();
    update();
}

void GraphView::set_gear_view(bool on) {
    if (on == gear_view_) return;
    gear_view_ = on;
    clear();
}

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

QRect GraphView::ink_position(std::uint8_t x, std::uint8_t y, Gear gear) {
    const QRect r = point_rect(map_x(x, canvas_.width()), map_y(y, canvas_.height()), draw_width_,
                               canvas_.width(), canvas_.height());
    if (!gear_view_) return fill_square(r, nullptr, true) ? r : QRect();
    const QRgb ink = gear_inks_[1 + static_cast<std::size_t>(gear)];
    QRgb* pixels = reinterpret_cast<QRgb*>(canvas_.bits());
    const int line = canvas_.bytesPerLine() / static_cast<int>(sizeof(QRgb));
    for (int py = r.top(); py <= r.bottom(); ++py)
        for (int px = r.left(); px <= r.right(); ++px) pixels[py * line + px] = ink;
    // Without a replot for this long, the next one draws the whole trace again.
    constexpr std::size_t kMaxPending = 4096;
    if (pending_.size() < kMaxPending)
        pending_.push_back(r);
    else
        shown_ = nullptr;
    return r;
}

void GraphView::draw_position(std::uint8_t x, std::uint8_t y, Gear gear) {
    ensure_canvas();
    if (canvas_.isNull()) return;
    if (const QRect r = ink_position(x, y, gear); !r.isEmpty()) update_area(r);
}

void GraphView::draw_positions(const std::vector<Report>& reports) {
    ensure_canvas();
    if (canvas_.isNull()) return;
    // A batch covers a few tens of milliseconds of the stick's travel, so its
    // points lie close together: one rectangle round them is repainted.
    QRect changed;
    for (const Report& r : reports) changed |= ink_position(r.x, r.y, gear_of(r));
    if (!changed.isEmpty()) update_area(changed);
}

GraphView::TraceCache* GraphView::find_cache(const Trace* trace) {
    for (TraceCache& c : caches_)
        if (c.key == trace) return &c;
    return nullptr;
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
    static const GearMap all_neutral{};
    replot(trace, all_neutral);
}

void GraphView::replot(const Trace& trace, const GearMap& gears) {
    if (gear_view_)
        replot_gears(trace, gears);
    else
        replot_plain(trace);
}

void GraphView::replot_plain(const Trace& trace) {
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
    bool restart = c.by_gear || c.width != draw_width_ || c.area != canvas_.size();
    for (std::size_t i = 0; !restart && i < now.size(); ++i)
        if (c.cells[i] & ~now[i]) restart = true;
    if (restart) {
        c.cells.fill(0);
        c.mask.assign(static_cast<std::size_t>(w) * h, 0);
        c.width = draw_width_;
        c.area = canvas_.size();
        c.on_canvas = false;
        c.by_gear = false;
        c.gears = {};
        c.owner = {};
        c.inked = {};
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

void GraphView::replot_gears(const Trace& trace, const GearMap& gears) {
    ensure_canvas();
    if (canvas_.isNull()) return;
    const int w = canvas_.width();
    const int h = canvas_.height();
    TraceCache& c = cache_for(&trace);
    const Words now = words_of(trace);

    bool restart = !c.by_gear || c.width != draw_width_ || c.area != canvas_.size();
    for (std::size_t i = 0; !restart && i < now.size(); ++i)
        if (c.cells[i] & ~now[i]) restart = true;
    if (restart) {
        c.cells.fill(0);
        c.mask = {};
        c.inked.assign(static_cast<std::size_t>(w) * h, 0);
        c.owner.assign(static_cast<std::size_t>(w) * h, -1);
        c.gears.assign(GearMap::kCells, Gear::Neutral);
        c.changes.fill(0);
        c.sums = {};
        c.middles.fill(QPoint(-1, -1));
        c.names.clear();
        c.names_stale = true;
        c.width = draw_width_;
        c.area = canvas_.size();
        c.by_gear = true;
        c.on_canvas = false;
    }
    // Another trace replotted since this one's last replot may cover its points.
    if (shown_ != &trace) c.on_canvas = false;
    // Another map's change counts say nothing about this one's.
    const bool other_map = c.gear_key != &gears;
    c.gear_key = &gears;

    QRgb* pixels = reinterpret_cast<QRgb*>(canvas_.bits());
    const int line = canvas_.bytesPerLine() / static_cast<int>(sizeof(QRgb));
    const int side_x = std::min(draw_width_, w);
    const int side_y = std::min(draw_width_, h);
    std::array<int, 256> left{};
    std::array<int, 256> top{};
    bool placed = false;
    QRect dirty;
    for (std::size_t i = 0; i < now.size(); ++i) {
        const std::uint64_t fresh = now[i] & ~c.cells[i];
        const std::size_t first = i * 64;
        const bool recoloured = other_map || gears.changes()[i] != c.changes[i];
        c.changes[i] = gears.changes()[i];
        if (fresh == 0 && !recoloured) continue;
        if (!placed) {
            for (int v = 0; v < 256; ++v) {
                left[v] = place(map_x(v, w), side_x, w);
                top[v] = place(map_y(v, h), side_y, h);
            }
            placed = true;
        }
        // New cells, and cells whose gear changed, in the trace's order.
        for (std::uint64_t todo = now[i]; todo != 0; todo &= todo - 1) {
            const int bit = std::countr_zero(todo);
            const int cell = static_cast<int>(first) + bit;  // x * 256 + y
            const Gear gear = gears[static_cast<std::size_t>(cell)];
            Gear& drawn_gear = c.gears[static_cast<std::size_t>(cell)];
            if (((fresh >> bit) & 1) == 0) {
                if (drawn_gear == gear) continue;
                GearSum& old = c.sums[static_cast<std::size_t>(drawn_gear)];
                --old.cells;
                old.x -= cell >> 8;
                old.y -= cell & 255;
            }
            GearSum& sum = c.sums[static_cast<std::size_t>(gear)];
            ++sum.cells;
            sum.x += cell >> 8;
            sum.y += cell & 255;
            drawn_gear = gear;
            c.names_stale = true;
            const QRgb ink = gear_inks_[1 + static_cast<std::size_t>(gear)];
            const int x0 = left[cell >> 8];
            const int y0 = top[cell & 255];
            dirty |= QRect(x0, y0, side_x, side_y);
            for (int y = y0; y < y0 + side_y; ++y) {
                for (int x = x0; x < x0 + side_x; ++x) {
                    const std::size_t at = static_cast<std::size_t>(y) * w + x;
                    if (c.owner[at] > cell) continue;
                    c.owner[at] = cell;
                    c.inked[at] = ink;
                    if (c.on_canvas) pixels[y * line + x] = ink;
                }
            }
        }
    }
    c.cells = now;

    bool whole = false;
    auto restore = [&](int y, int from, int to) {
        const QRgb* in = c.inked.data() + static_cast<std::size_t>(y) * w;
        QRgb* row = pixels + y * line;
        // A select rather than a branch: the compiler does whole vectors of it.
        for (int x = from; x < to; ++x) row[x] = in[x] != 0 ? in[x] : row[x];
    };
    if (!c.on_canvas) {
        for (int y = 0; y < h; ++y) restore(y, 0, w);
        c.on_canvas = true;
        whole = true;
    } else {
        for (const QRect& r : pending_) {
            for (int y = r.top(); y <= r.bottom(); ++y) restore(y, r.left(), r.right() + 1);
            dirty |= r;
        }
    }
    pending_.clear();
    shown_ = &trace;
    // The names move only when the middle of a gear's points moved to
    // another pixel (or a gear came or went), not with every point.
    if (c.names_stale) {
        std::array<QPoint, kGearCount> middles;
        for (std::size_t g = 0; g < middles.size(); ++g) {
            const GearSum& sum = c.sums[g];
            middles[g] = sum.cells == 0 ? QPoint(-1, -1)
                                        : QPoint(static_cast<int>(map_x(static_cast<double>(sum.x) / sum.cells, w)),
                                                 static_cast<int>(map_y(static_cast<double>(sum.y) / sum.cells, h)));
        }
        if (middles != c.middles) {
            c.middles = middles;
            c.names = place_gear_names(c);
        }
        c.names_stale = false;
    }
    if (c.names != names_) {
        names_ = c.names;
        whole = true;
    }
    if (whole)
        update();
    else if (!dirty.isNull())
        update(dirty.translated(contentsRect().topLeft()));
}

const QImage& GraphView::name_image(Gear gear) {
    QImage& image = name_images_[static_cast<std::size_t>(gear)];
    if (!image.isNull()) return image;
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(11);
    const QFontMetrics metrics(bold);
    const QString name = QString::fromLatin1(gear_name(gear));
    const QSize size(metrics.horizontalAdvance(name) + 8, metrics.height() + 2);
    const qreal ratio = devicePixelRatioF();
    image = QImage(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter p(&image);
    QColor fill = paper();
    fill.setAlpha(220);
    p.fillRect(QRect(QPoint(0, 0), size), fill);
    p.setPen(QPen(gear_color(gear, paper()), 2));
    p.drawRect(QRectF(QPoint(0, 0), size).adjusted(1, 1, -1, -1));
    p.setFont(bold);
    p.setPen(text_on(paper()));
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, name);
    return image;
}

std::vector<GraphView::GearName> GraphView::place_gear_names(const TraceCache& c) {
    const int w = canvas_.width();
    const int h = canvas_.height();
    // Points of the trace a name would hide.
    auto covered = [&](const QRect& box) {
        int n = 0;
        for (int y = std::max(box.top(), 0); y <= std::min(box.bottom(), h - 1); ++y)
            for (int x = std::max(box.left(), 0); x <= std::min(box.right(), w - 1); ++x)
                n += c.inked[static_cast<std::size_t>(y) * w + x] != 0;
        return n;
    };
    std::vector<GearName> names;
    for (int g = 0; g < kGearCount; ++g) {
        const Gear gear = static_cast<Gear>(g);
        if (c.sums[static_cast<std::size_t>(g)].cells == 0 || gear == Gear::Between) continue;
        const QSize size = name_image(gear).deviceIndependentSize().toSize();
        const QPoint middle = c.middles[static_cast<std::size_t>(g)];
        // Beside the middle of the gear's points rather than on them: right,
        // left, above or below, wherever it hides the fewest points and no
        // other name.
        const int dx = size.width() / 2 + 4, dy = size.height() / 2 + 4;
        QRect best;
        int best_cost = 0;
        for (const QPoint offset : {QPoint(dx, 0), QPoint(-dx, 0), QPoint(0, -dy), QPoint(0, dy)}) {
            QRect box(QPoint(0, 0), size);
            box.moveCenter(middle + offset);
            box.moveLeft(std::clamp(box.left(), 0, std::max(0, w - box.width())));
            box.moveTop(std::clamp(box.top(), 0, std::max(0, h - box.height())));
            int cost = covered(box);
            for (const GearName& other : names)
                if (other.box.intersects(box)) cost += w * h;
            if (best.isNull() || cost < best_cost) {
                best = box;
                best_cost = cost;
            }
        }
        names.push_back({gear, best});
    }
    return names;
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

    // The lines, the gear names and the frame where they cross what is asked for.
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
    if (gear_view_)
        for (const GearName& n : names_)
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
    if (e->type() != QEvent::PaletteChange) return;
    const QRgb old_paper = paper_, old_ink = ink_;
    take_palette_colours();
    if (old_paper == paper_ && old_ink == ink_) return;
    if (gear_view_) {
        // Every colour of the gear view follows the background: drawn anew.
        for (TraceCache& c : caches_) c.area = QSize();
        clear();
        return;
    }
    // What is drawn is kept, in the new colours.
    for (int y = 0; y < canvas_.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(canvas_.scanLine(y));
        for (int x = 0; x < canvas_.width(); ++x) row[x] = row[x] == old_ink ? ink_ : paper_;
    }
    update();
}

// ---- GearLegend -------------------------------------------------------------

namespace {

constexpr int kSwatch = 12;
constexpr int kLegendPad = 4;

std::vector<Gear> legend_gears(bool sequential) {
    if (sequential) return {Gear::Plus, Gear::Minus, Gear::Neutral};
    return {Gear::G1, Gear::G2, Gear::G3, Gear::G4, Gear::G5, Gear::G6, Gear::Reverse, Gear::Neutral};
}

}  // namespace

GearLegend::GearLegend(const GraphView& map, QWidget* parent) : QWidget(parent), map_(map) {
    setAccessibleName("Gear colours");
    setAccessibleDescription("The colour of each gear's points on the travel map; each gear's name is also written "
                             "at the middle of its points.");
}

void GearLegend::set_sequential(bool sequential) {
    if (sequential == sequential_) return;
    sequential_ = sequential;
    updateGeometry();
    update();
}

QSize GearLegend::sizeHint() const {
    const QFontMetrics metrics(font());
    int width = kLegendPad;
    for (Gear g : legend_gears(sequential_))
        width += kSwatch + 3 + metrics.horizontalAdvance(QString::fromLatin1(gear_name(g))) + 2 * kLegendPad;
    return QSize(width, std::max(kSwatch, metrics.height()) + 2 * kLegendPad);
}

void GearLegend::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor paper = map_.paper();
    p.fillRect(rect(), paper);
    p.setPen(text_on(paper));
    const QFontMetrics metrics(font());
    int x = kLegendPad;
    for (Gear g : legend_gears(sequential_)) {
        const QString name = QString::fromLatin1(gear_name(g));
        p.fillRect(QRect(x, (height() - kSwatch) / 2, kSwatch, kSwatch), GraphView::gear_color(g, paper));
        x += kSwatch + 3;
        const int advance = metrics.horizontalAdvance(name);
        p.drawText(QRect(x, 0, advance, height()), Qt::AlignVCenter | Qt::AlignLeft, name);
        x += advance + 2 * kLegendPad;
    }
}

}  // namespace monitor
