// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowLayout.h"

#include <algorithm>
#include <cmath>

namespace layout {

namespace {

// The design's client area and the places the layout turns on, in twips as
// the controls table has them: the map, and the two boxes right of it between
// which the gear stands.
const QSize kDesign(px(6735), px(9000));
const QRect kMap = px(1485, 2760, 3900, 3900);
const QRect kUpperBox = px(5640, 3240, 735, 375);
const QRect kLowerBox = px(5640, 5760, 735, 375);

int round_to_int(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

int px(int twips) { return (twips + 7) / 15; }

QRect px(int left, int top, int width, int height) { return QRect(px(left), px(top), px(width), px(height)); }

QSize WindowLayout::design_size(int panel_width) { return kDesign + QSize(panel_width, 0); }

QSize WindowLayout::minimum_size(int panel_width) {
    return design_size(panel_width) - QSize(0, kMap.height() - kMinMapSide);
}

WindowLayout::WindowLayout(QSize client, int panel_width) {
    // The map grows by as much as both the width and the height allow, so that
    // it stays square; it shrinks with the height down to its minimum.
    const int room_x = client.width() - panel_width - kDesign.width();
    const int room_y = client.height() - kDesign.height();
    growth_ = std::max(std::min(room_x, room_y), kMinMapSide - kMap.width());
    const int side = kMap.width() + growth_;
    const QSize area(kDesign.width() + std::max(growth_, 0), kDesign.height() + growth_);
    // What is left over is shared out evenly round the design and its panel.
    const int left = std::max(0, (client.width() - panel_width - area.width()) / 2);
    const int top = std::max(0, (client.height() - area.height()) / 2);
    area_ = QRect(QPoint(left, top), area);
    if (panel_width > 0) panel_ = QRect(area_.right() + 1, top, panel_width, area.height());
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
    switch (anchor) {
    case Anchor::Top: return QRect(area_.left() + d.left(), area_.top() + d.top(), d.width() + wider, d.height());
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
