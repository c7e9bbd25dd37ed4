// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The gear view's replot: each cell in the colour of its gear, the cells
// whose gear changed drawn again, and the names placed beside the middle of
// each gear's points.
#include "monitor/TraceRaster.h"

#include <bit>
#include <optional>

namespace monitor {

Repaint TraceRaster::replot_gears(const Trace& trace, const GearMap& gears) {
    if (canvas_.isNull()) return {};
    const int w = canvas_.width();
    const int h = canvas_.height();
    TraceCache& c = cache_for(&trace);
    const TraceWords now = words_of(trace);

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
    QRect dirty = draw_gear_cells(c, now, gears, other_map);

    QRgb* pixels = reinterpret_cast<QRgb*>(canvas_.bits());
    const int line = canvas_.bytesPerLine() / static_cast<int>(sizeof(QRgb));
    Repaint repaint;
    auto restore = [&](int y, int from, int to) {
        const QRgb* in = c.inked.data() + static_cast<std::size_t>(y) * w;
        QRgb* row = pixels + y * line;
        // A select rather than a branch: the compiler does whole vectors of it.
        for (int x = from; x < to; ++x) row[x] = in[x] != 0 ? in[x] : row[x];
    };
    if (!c.on_canvas) {
        for (int y = 0; y < h; ++y) restore(y, 0, w);
        c.on_canvas = true;
        repaint.all = true;
    } else {
        for (const QRect& r : pending_) {
            for (int y = r.top(); y <= r.bottom(); ++y) restore(y, r.left(), r.right() + 1);
            dirty |= r;
        }
    }
    pending_.clear();
    shown_ = &trace;
    place_names(c);
    if (c.names != names_) {
        names_ = c.names;
        repaint.all = true;
    }
    if (!repaint.all && !dirty.isNull()) repaint.area = dirty;
    return repaint;
}

QRect TraceRaster::draw_gear_cells(TraceCache& c, const TraceWords& now, const GearMap& gears, bool other_map) {
    const int w = canvas_.width();
    QRgb* pixels = reinterpret_cast<QRgb*>(canvas_.bits());
    const int line = canvas_.bytesPerLine() / static_cast<int>(sizeof(QRgb));
    std::optional<CellSquares> squares;
    QRect dirty;
    for (std::size_t i = 0; i < now.size(); ++i) {
        const std::uint64_t fresh = now[i] & ~c.cells[i];
        const bool recoloured = other_map || gears.changes()[i] != c.changes[i];
        c.changes[i] = gears.changes()[i];
        if (fresh == 0 && !recoloured) continue;
        if (!squares) squares.emplace(canvas_.size(), draw_width_);
        const int side_x = squares->side_x(), side_y = squares->side_y();
        // New cells, and cells whose gear changed, in the trace's order.
        for (std::uint64_t todo = now[i]; todo != 0; todo &= todo - 1) {
            const int bit = std::countr_zero(todo);
            const int cell = static_cast<int>(i) * 64 + bit;  // x * 256 + y
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
            const int x0 = squares->left(cell);
            const int y0 = squares->top(cell);
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
    return dirty;
}

void TraceRaster::place_names(TraceCache& c) {
    // The names move only when the middle of a gear's points moved to
    // another pixel (or a gear came or went), not with every point.
    if (!c.names_stale) return;
    const int w = canvas_.width();
    const int h = canvas_.height();
    std::array<QPoint, kGearCount> middles;
    for (std::size_t g = 0; g < middles.size(); ++g) {
        const GearSum& sum = c.sums[g];
        middles[g] = sum.cells == 0 ? QPoint(-1, -1)
                                    : QPoint(static_cast<int>(map_x(static_cast<double>(sum.x) / sum.cells, w)),
                                             static_cast<int>(map_y(static_cast<double>(sum.y) / sum.cells, h)));
    }
    if (middles != c.middles) {
        c.middles = middles;
        c.names = name_size_ ? place_gear_names(middles, name_size_, canvas_.size(), c.inked) : std::vector<GearName>{};
    }
    c.names_stale = false;
}

}  // namespace monitor
