// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowLayout.h"

#include <algorithm>
#include <cmath>

namespace layout {

namespace {

// The design's client area and the places the layout turns on, in twips as
// the controls table has them: the map, and the two boxes right of it between
// which the gear stands.
const QSize kDesign(px(design::kClientArea.width), px(design::kClientArea.height));
const QRect kMap = px(design::kGraph);
const QRect kUpperBox = px(design::control("Text7").place);
const QRect kLowerBox = px(design::control("Text8").place);

int round_to_int(double v) { return static_cast<int>(std::lround(v)); }

// The compact layout: the design from the threshold boxes above the map down
// to the X value under it, lifted to the top; right of it a column with the
// buttons, the update's progress and the saved line; the information frame
// under it all.
constexpr int kMargin = 8;
const int kBoxRowTop = px(2160);
const int kBlockBottom = px(6860) + px(375);  // the X value's bottom, under the map
const int kRightOfMap = px(5640) + px(735) - (px(1485) + px(3900)) + px(255) + 4;  // boxes and their names
constexpr int kColumnWidth = 136;
// The map nearer the left edge than designed: the Y value left of it keeps
// its distance, and the mode's name still fits left of h1's box.
constexpr int kCompactMapLeft = 75;
const int kFrameHeight = px(1815);
const int kButtonWidth = px(2500);
const int kButtonHeight = px(495);
const int kButtonRows[] = {px(7200), px(8160)};
const int kButtonColumns[] = {px(720), px(3600)};
// How much larger than designed the map must be for a box to stand beside
// its line.
constexpr double kFollowGrowth = 100.0;

int compact_map_side(QSize client) {
    const int fixed_x = kCompactMapLeft + kRightOfMap + kMargin + kColumnWidth + kMargin;
    const int fixed_y = kMargin + (kBlockBottom - kBoxRowTop - kMap.height()) + kMargin + kFrameHeight + kMargin;
    return std::max(kMinMapSide, std::min(client.width() - fixed_x, client.height() - fixed_y));
}

}  // namespace

int px(int twips) { return design::px(twips); }

QRect px(int left, int top, int width, int height) { return QRect(px(left), px(top), px(width), px(height)); }

QRect px(const design::Place& t) { return px(t.left, t.top, t.width, t.height); }

QSize WindowLayout::design_size(int panel_width) { return kDesign + QSize(panel_width, 0); }

QSize WindowLayout::minimum_size(int panel_width) {
    return design_size(panel_width) - QSize(0, kMap.height() - kMinMapSide);
}

QSize WindowLayout::compact_size() {
    return QSize(kCompactMapLeft + kMinMapSide + kRightOfMap + kMargin + kColumnWidth + kMargin,
                 compact_block_height() + kFrameHeight + kMargin);
}

int WindowLayout::compact_block_height() {
    return kMargin + kBlockBottom - kBoxRowTop - kMap.height() + kMinMapSide + kMargin;
}

bool WindowLayout::is_compact(QSize client, int panel_width) {
    return client.height() < minimum_size(panel_width).height() && client.width() >= compact_size().width();
}

QSize WindowLayout::minimum_for(QSize client, int panel_width) {
    if (is_compact(client, panel_width)) return compact_size() + QSize(panel_width, 0);
    return minimum_size(panel_width);
}

WindowLayout::WindowLayout(QSize client, int panel_width) {
    if (is_compact(client, panel_width)) {
        compact_ = true;
        const int side = compact_map_side(client - QSize(panel_width, 0));
        growth_ = side - kMap.width();
        const int lift = kBoxRowTop - kMargin;
        map_ = QRect(kCompactMapLeft, kMap.top() - lift, side, side);
        const int right = map_.right() + 1 + kRightOfMap + kMargin + kColumnWidth + kMargin;
        area_ = QRect(0, 0, right, client.height());
        if (panel_width > 0) panel_ = QRect(right, kMargin, panel_width, client.height() - 2 * kMargin);
        return;
    }
    // The map grows by as much as both the width and the height allow, so that
    // it stays square; it shrinks with the height down to its minimum.
    const int room_x = client.width() - panel_width - kDesign.width();
    const int room_y = client.height() - kDesign.height();
    growth_ = std::max(std::min(room_x, room_y), kMinMapSide - kMap.width());
    const int side = kMap.width() + growth_;
    const QSize area(kDesign.width() + std::max(growth_, 0), kDesign.height() + growth_);
    // What is left over is shared out evenly round the design; a panel takes
    // the width left over beside it.
    const int left = panel_width > 0 ? 0 : std::max(0, (client.width() - area.width()) / 2);
    const int top = std::max(0, (client.height() - area.height()) / 2);
    area_ = QRect(QPoint(left, top), area);
    if (panel_width > 0)
        panel_ = QRect(area_.right() + 1, top, std::max(panel_width, client.width() - area_.width()), area.height());
    // A smaller map stays centred where the designed one is.
    const int shrink = std::min(growth_, 0);
    map_ = QRect(left + kMap.left() - shrink / 2, top + kMap.top(), side, side);
}

int WindowLayout::along_x(double design_centre_x, int width) const {
    const double f = (design_centre_x - kMap.left()) / kMap.width();
    return round_to_int(map_.left() + f * map_.width() - width / 2.0);
}

int WindowLayout::along_y(double design_centre_y, int height) const {
    const double f = (design_centre_y - kMap.top()) / kMap.height();
    return round_to_int(map_.top() + f * map_.height() - height / 2.0);
}

QRect WindowLayout::column(const QRect& d) const {
    // Stacked in the order of the design's rows, left before right; the
    // update's row under them, its frame across the column; the saved line
    // under them (saved_line).
    const int left = map_.right() + 1 + kRightOfMap + kMargin;
    const int top = kMargin;
    constexpr int kGap = 8;
    const int buttons_bottom = top + 4 * kButtonHeight + 3 * kGap;
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 2; ++col)
            if (d.topLeft() == QPoint(kButtonColumns[col], kButtonRows[row]) && d.width() == kButtonWidth)
                return QRect(left, top + (row * 2 + col) * (kButtonHeight + kGap), kColumnWidth, kButtonHeight);
    const int progress_top = buttons_bottom + kGap;
    if (d.height() < px(200)) return QRect(left, progress_top + px(300) + 4, kColumnWidth, d.height());  // the frame
    if (d.left() < kMap.left()) return QRect(left, progress_top, d.width(), d.height());        // Stop
    return QRect(left + kColumnWidth - d.width(), progress_top, d.width(), d.height());  // the percentage
}

QRect WindowLayout::saved_line(const QRect& d) const {
    const int left = map_.right() + 1 + kRightOfMap + kMargin;
    const int top = kMargin + 4 * kButtonHeight + 3 * 8 + 8 + px(300) + 4 + px(100) + 8;
    return QRect(left, top, kColumnWidth, std::max(d.height(), area_.height() - kMargin - top));
}

QRect WindowLayout::beside_line(const QRect& placed, double line, bool vertical_line) const {
    if (compact_ || growth_ <= 0) return placed;
    const double t = std::min(1.0, growth_ / kFollowGrowth);
    if (vertical_line) {
        const double centre = placed.left() + placed.width() / 2.0;
        const double x = centre + t * (line - centre) - placed.width() / 2.0;
        return placed.translated(round_to_int(x) - placed.left(), 0);
    }
    const double centre = placed.top() + placed.height() / 2.0;
    const double y = centre + t * (line - centre) - placed.height() / 2.0;
    return placed.translated(0, round_to_int(y) - placed.top());
}

QRect WindowLayout::place(Anchor anchor, const QRect& d) const {
    const int wider = std::max(growth_, 0);
    const double cx = d.left() + d.width() / 2.0;
    const double cy = d.top() + d.height() / 2.0;
    // Offsets from the map's edges as designed (QRect's right and bottom are
    // the last pixel inside).
    const int from_left = d.left() - kMap.left();
    const int from_right = d.left() - (kMap.right() + 1);
    const int from_top = d.top() - kMap.top();
    const int from_bottom = d.top() - (kMap.bottom() + 1);
    const int map_right = map_.right() + 1;
    const int map_bottom = map_.bottom() + 1;
    if (compact_) {
        // Under the map's block, as the design has it above.
        const int below = map_.bottom() + 1 + (kBlockBottom - (kMap.bottom() + 1)) + kMargin;
        if (anchor == Anchor::Top) return QRect(d.left(), below + d.top() - kMargin, d.width(), d.height());
        if (anchor == Anchor::SavedLine) return saved_line(d);
        if (anchor == Anchor::UnderMap) return column(d);
    }
    switch (anchor) {
    case Anchor::Top:
    case Anchor::SavedLine: return QRect(area_.left() + d.left(), area_.top() + d.top(), d.width() + wider, d.height());
    case Anchor::InFrame:
    case Anchor::Inside: return d;
    case Anchor::InFrameWide: return QRect(d.left(), d.top(), d.width() + wider, d.height());
    case Anchor::Map: return map_;
    case Anchor::AboveMap: return QRect(along_x(cx, d.width()), map_.top() + from_top, d.width(), d.height());
    case Anchor::AboveMapRight: return QRect(map_right + from_right, map_.top() + from_top, d.width(), d.height());
    case Anchor::BelowMap: return QRect(along_x(cx, d.width()), map_bottom + from_bottom, d.width(), d.height());
    case Anchor::LeftOfMap: return QRect(map_.left() + from_left, along_y(cy, d.height()), d.width(), d.height());
    case Anchor::RightOfMap: return QRect(map_right + from_right, along_y(cy, d.height()), d.width(), d.height());
    case Anchor::Gear: {
        // As designed: its height where there is room for it, with the gap
        // above and below it shared as in the design.
        const QRect upper = place(Anchor::RightOfMap, kUpperBox);
        const QRect lower = place(Anchor::RightOfMap, kLowerBox);
        const int designed_room = kLowerBox.top() - (kUpperBox.bottom() + 1);
        const int designed_above = d.top() - (kUpperBox.bottom() + 1);
        const int room = lower.top() - (upper.bottom() + 1);
        const int height = std::min(d.height(), room);
        const int above = designed_room > d.height()
                              ? (room - height) * designed_above / (designed_room - d.height())
                              : 0;
        return QRect(map_right + from_right, upper.bottom() + 1 + above, d.width(), height);
    }
    case Anchor::UnderMap: {
        const int centre = map_.left() + map_.width() / 2;
        const int designed_centre = kMap.left() + kMap.width() / 2;
        return QRect(centre + d.left() - designed_centre, map_bottom + from_bottom, d.width(), d.height());
    }
    }
    return d;
}

}  // namespace layout
