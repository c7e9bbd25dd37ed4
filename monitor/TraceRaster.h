// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The travel map's drawing, on an image: every reported position drawn as a
// point, in the plain trace's ink or (the gear view) in the colour of the gear
// the box decoded there. What has been drawn stays until clear(); a replot
// only adds what the trace gained since, so a tick touches only the pixels its
// new points cover, and each change answers which pixels those are.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "monitor/GearNames.h"
#include "monitor/GearRecord.h"
#include "monitor/MonitorState.h"
#include "monitor/TraceCells.h"

namespace monitor {

// The pixels of the drawing area a change asks to be shown again.
struct Repaint {
    bool all = false;  // the whole map
    QRegion area;
};

class TraceRaster {
public:
    // An area of the given size, white with black ink.
    explicit TraceRaster(QSize area = QSize());

    // A new size erases the drawing; the plain trace replotted last is drawn
    // again from its cells (the gear view's is, at its next replot).
    Repaint fit(QSize area);
    // The drawing area's pixels (the paper where nothing is drawn).
    const QImage& image() const { return canvas_; }

    // Erases every drawn point.
    Repaint clear();
    int draw_width() const { return draw_width_; }
    void set_draw_width(int w);
    // Off (the plain trace) by default. Switching erases the drawing; the next
    // replot draws the trace again the new way.
    Repaint set_gear_view(bool on);
    bool gear_view() const { return gear_view_; }
    // The background and the plain trace's ink. What is drawn is kept in the
    // new colours; the gear view, whose colours all follow the background, is
    // erased.
    Repaint set_colours(QColor paper, QColor ink);
    QColor paper() const { return QColor::fromRgb(paper_); }

    // Draws one raw position (0..255 each) as a point at the current width,
    // in the gear view in the colour of the gear decoded there; answers the
    // pixels that changed (empty: none).
    QRect draw_position(std::uint8_t x, std::uint8_t y, Gear gear = Gear::Neutral);
    // The same for every report of a batch, in order: a batch covers a few
    // tens of milliseconds of the stick's travel, so one rectangle round its
    // points.
    QRect draw_positions(const std::vector<Report>& reports);
    // Makes sure every cell of the trace is drawn (the replot of a mode's
    // trace); cheap when nothing changed since the last call. The gear view
    // draws each cell in the colour of its gear (without `gears`: neutral's)
    // and redraws the cells whose gear changed; where the points of two cells
    // overlap, the one later in the trace's order (x, then y) shows.
    Repaint replot(const Trace& trace);
    Repaint replot(const Trace& trace, const GearMap& gears);

    // The gear view's names on show since the last replot, and the size of
    // each gear's name (without it, no names are placed).
    const std::vector<GearName>& names() const { return names_; }
    void set_name_size(std::function<QSize(Gear)> name_size) { name_size_ = std::move(name_size); }

private:
    struct GearSum {
        int cells = 0;
        long long x = 0;
        long long y = 0;
    };

    // One trace as drawn at one pen width: the cells it held when last
    // replotted and the drawing-area pixels they cover.
    struct TraceCache {
        const Trace* key = nullptr;
        TraceWords cells{};
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
    // Answers whether a canvas pixel changed.
    bool fill_square(const QRect& r, std::vector<std::uint8_t>* mask, bool to_canvas);
    Repaint replot_cells(TraceCache& c, const TraceWords& now);
    Repaint replot_plain(const Trace& trace);
    Repaint replot_gears(const Trace& trace, const GearMap& gears);
    // Draws the pixels that changed into c: answers their bounds.
    QRect draw_gear_cells(TraceCache& c, const TraceWords& now, const GearMap& gears, bool other_map);
    void place_names(TraceCache& c);

    QImage canvas_;
    QRgb paper_;  // the drawing area's background
    QRgb ink_;    // the plain trace's points
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
    std::vector<GearName> names_;
    std::function<QSize(Gear)> name_size_;
};

}  // namespace monitor
