// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A trace's cells on the travel map: the trace read as machine words, so that
// a tick finds its few new cells without testing all 65,536, and the pixels
// each cell's point covers on a drawing area.

#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>

#include "monitor/MonitorState.h"

namespace monitor {

// A trace as 1024 words of 64 cells, lowest cell first.
using TraceWords = std::array<std::uint64_t, 256 * 256 / 64>;
TraceWords words_of(const Trace& t);

// The pixels a point at mapped position (px, py) covers at width w inside a
// drawing area of the given size: a w x w square centred as near to the
// position as the pixel grid allows, kept inside the area so that the
// extreme positions 0 and 255 stay visible.
QRect point_rect(double px, double py, int w, int area_width, int area_height);

// The squares of every cell at one pen width on one drawing area, worked out
// once for the 256 columns and the 256 rows.
class CellSquares {
public:
    CellSquares(QSize area, int width);
    // The square of cell x * 256 + y.
    QRect of(int cell) const { return QRect(left_[cell >> 8], top_[cell & 255], side_x_, side_y_); }
    int left(int cell) const { return left_[cell >> 8]; }
    int top(int cell) const { return top_[cell & 255]; }
    int side_x() const { return side_x_; }
    int side_y() const { return side_y_; }

private:
    std::array<int, 256> left_{};
    std::array<int, 256> top_{};
    int side_x_;
    int side_y_;
};

}  // namespace monitor
