// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/TraceRaster.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "monitor/Palette.h"

namespace monitor {

namespace {

// The two traces of the window are all that normally reach replot; a few more
// slots only matter to callers that replot copies.
constexpr std::size_t kMaxTraceCaches = 4;

Repaint everything() { return Repaint{true, {}}; }

}  // namespace

TraceRaster::TraceRaster(QSize area) : paper_(qRgb(255, 255, 255)), ink_(qRgb(0, 0, 0)) {
    for (int g = 0; g < kGearCount; ++g) gear_inks_[1 + g] = gear_color(static_cast<Gear>(g), paper()).rgb();
    fit(area);
}

Repaint TraceRaster::fit(QSize area) {
    if (canvas_.size() == area) return {};
    canvas_ = QImage(area, QImage::Format_RGB32);
    canvas_.fill(paper_);
    // Masks drawn for the old size no longer match; the next replot redraws them.
    for (TraceCache& c : caches_) c.on_canvas = false;
    shown_ = nullptr;
    pending_.clear();
    names_.clear();
    if (last_replotted_ && !gear_view_ && !canvas_.isNull()) {
        TraceCache& c = cache_for(last_replotted_);
        const TraceWords cells = c.cells;
        c.cells.fill(0);
        replot_cells(c, cells);
    }
    return everything();
}

Repaint TraceRaster::clear() {
    canvas_.fill(paper_);
    for (TraceCache& c : caches_) c.on_canvas = false;
    shown_ = nullptr;
    pending_.clear();
    names_.clear();
    return everything();
}

Repaint TraceRaster::set_gear_view(bool on) {
    if (on == gear_view_) return {};
    gear_view_ = on;
    return clear();
}

void TraceRaster::set_draw_width(int w) { draw_width_ = std::max(1, w); }

Repaint TraceRaster::set_colours(QColor paper_colour, QColor ink_colour) {
    const QRgb old_paper = paper_, old_ink = ink_;
    paper_ = paper_colour.rgb();
    ink_ = ink_colour.rgb();
    for (int g = 0; g < kGearCount; ++g) gear_inks_[1 + g] = gear_color(static_cast<Gear>(g), paper()).rgb();
    if (old_paper == paper_ && old_ink == ink_) return {};
    if (gear_view_) {
        for (TraceCache& c : caches_) c.area = QSize();
        return clear();
    }
    for (int y = 0; y < canvas_.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(canvas_.scanLine(y));
        for (int x = 0; x < canvas_.width(); ++x) row[x] = row[x] == old_ink ? ink_ : paper_;
    }
    return everything();
}

bool TraceRaster::fill_square(const QRect& r, std::vector<std::uint8_t>* mask, bool to_canvas) {
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

QRect TraceRaster::draw_position(std::uint8_t x, std::uint8_t y, Gear gear) {
    if (canvas_.isNull()) return {};
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

QRect TraceRaster::draw_positions(const std::vector<Report>& reports) {
    QRect changed;
    for (const Report& r : reports) changed |= draw_position(r.x, r.y, gear_of(r));
    return changed;
}

TraceRaster::TraceCache& TraceRaster::cache_for(const Trace* trace) {
    for (TraceCache& c : caches_)
        if (c.key == trace) return c;
    if (caches_.size() >= kMaxTraceCaches) caches_.erase(caches_.begin());
    caches_.push_back(TraceCache{});
    caches_.back().key = trace;
    return caches_.back();
}

Repaint TraceRaster::replot(const Trace& trace) {
    static const GearMap all_neutral{};
    return replot(trace, all_neutral);
}

Repaint TraceRaster::replot(const Trace& trace, const GearMap& gears) {
    return gear_view_ ? replot_gears(trace, gears) : replot_plain(trace);
}

Repaint TraceRaster::replot_plain(const Trace& trace) {
    if (canvas_.isNull()) return {};
    last_replotted_ = &trace;
    return replot_cells(cache_for(&trace), words_of(trace));
}

Repaint TraceRaster::replot_cells(TraceCache& c, const TraceWords& now) {
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
    Repaint repaint;
    std::optional<CellSquares> squares;
    for (std::size_t i = 0; i < now.size(); ++i) {
        std::uint64_t fresh = now[i] & ~c.cells[i];
        if (fresh == 0) continue;
        if (!squares) squares.emplace(canvas_.size(), draw_width_);
        while (fresh != 0) {
            const int bit = std::countr_zero(fresh);
            fresh &= fresh - 1;
            const QRect r = squares->of(static_cast<int>(i) * 64 + bit);
            if (fill_square(r, &c.mask, c.on_canvas)) repaint.area += r;
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
        if (changed) repaint.all = true;
    }
    return repaint;
}

}  // namespace monitor
