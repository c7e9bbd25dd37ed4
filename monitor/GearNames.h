// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The gear view's names on the map: colour is not the only cue, so each
// gear's name, framed in its colour, is written beside the middle of its
// points, where it hides the fewest of them.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <functional>
#include <span>
#include <vector>

#include "monitor/GearRecord.h"

namespace monitor {

// A gear's name on show, and where (drawing-area pixels).
struct GearName {
    Gear gear;
    QRect box;
    bool operator==(const GearName&) const = default;
};

// Where each gear's name goes on a drawing area of the given size: beside
// the middle of the gear's points (middles; (-1, -1) for a gear with none),
// right, left, above or below, wherever its box (of name_size) hides the
// fewest inked pixels (inked: one per drawing-area pixel, 0 where nothing is
// drawn) and no other name, kept inside the area. A report between gears has
// no name.
std::vector<GearName> place_gear_names(const std::array<QPoint, kGearCount>& middles,
                                       const std::function<QSize(Gear)>& name_size, QSize area,
                                       std::span<const QRgb> inked);

// A gear's name as the map shows it: bold, on the map's background a little
// see-through, framed in the gear's colour.
QImage gear_name_label(Gear gear, const QFont& font, QColor paper, qreal device_pixel_ratio);

}  // namespace monitor
