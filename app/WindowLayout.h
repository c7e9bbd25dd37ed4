// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the window's controls go at any size. The design is in twips for a
// client area of 6735 x 9000 (449 x 600 pixels at 96 dpi); at that size every
// control is exactly where the design puts it. A larger window grows the
// travel map, which stays square, and the controls around it keep their places
// relative to it: the text boxes and markers along its edges at the same
// fraction of its side, the buttons centred under it, the information frame
// across the top. A smaller one shrinks the map down to kMinMapSide, at which
// every text is still whole and no two controls touch. A window too short
// for that but wide enough (a small screen at a large scale) is laid out
// compact: the map with its boxes at the top left, the buttons in a column
// right of it, the information frame below them; below the compact size the
// window scrolls. Room to the right of the design goes to a panel of its own.

#include <QRect>
#include <QSize>

#include "app/Design.h"

namespace layout {

using design::Anchor;

int px(int twips);
// A design place in twips as pixels at 100 %.
QRect px(int left, int top, int width, int height);
QRect px(const design::Place& twips);

inline constexpr int kMinMapSide = 170;

class WindowLayout {
public:
    // The design area's size at 100 %, with a panel of panel_width beside it.
    static QSize design_size(int panel_width = 0);
    // The smallest size at which everything is readable.
    static QSize minimum_size(int panel_width = 0);
    // The smallest size the design area may have in a client area of
    // `client`: the compact one where that layout is taken.
    static QSize minimum_for(QSize client, int panel_width = 0);
    // Whether a client area of `client` takes the compact layout.
    static bool is_compact(QSize client, int panel_width = 0);
    // The compact layout's size, without a panel, and the height of its part
    // that must be on screen (the map with its boxes, and the buttons).
    static QSize compact_size();
    static int compact_block_height();

    // The layout for a client area of `client`; panel_width is the width a
    // panel right of the design area asks for (0: none).
    explicit WindowLayout(QSize client, int panel_width = 0);

    // Where a control whose design place is `design` (pixels at 100 %) goes.
    QRect place(Anchor anchor, const QRect& design) const;
    QRect map() const { return map_; }
    // The part of the client area the design occupies, and the panel's place
    // right of it (empty without a panel).
    QRect design_area() const { return area_; }
    QRect panel() const { return panel_; }
    bool compact() const { return compact_; }
    // Where a threshold box placed at `placed` goes when its line stands at
    // `line` (window coordinates: x for a vertical line, y for a horizontal
    // one): at the design size and smaller where the design puts it; in a
    // larger window it moves towards its line, until beside it.
    QRect beside_line(const QRect& placed, double line, bool vertical_line) const;

private:
    int along_x(double design_centre_x, int width) const;
    int along_y(double design_centre_y, int height) const;

    QRect column(const QRect& design) const;
    QRect saved_line(const QRect& design) const;

    int growth_;  // how much wider and taller the map is than designed (negative: smaller)
    bool compact_ = false;
    QRect area_;
    QRect map_;
    QRect panel_;
};

}  // namespace layout
