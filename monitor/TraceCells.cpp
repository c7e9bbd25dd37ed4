// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/TraceCells.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace monitor {

namespace {

// Every standard library we build with keeps a bitset as a plain array of
// machine words, lowest bit first; reading it as 64-bit words lets a tick find
// its few new cells without testing all 65,536 one by one. The layout is
// checked once, with the slow path kept for a library that differs.
bool bitset_is_word_array() {
    if constexpr (sizeof(Trace) != sizeof(TraceWords) || !std::is_trivially_copyable_v<Trace>) {
        return false;
    } else {
        static const bool ok = [] {
            Trace probe;
            probe.set(0);
            probe.set(65);
            probe.set(256 * 256 - 1);
            TraceWords w;
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

// First pixel of a w-pixel run centred as near as the grid allows on p, kept
// inside [0, extent).
int first_pixel(double p, int w, int extent) {
    const int first = static_cast<int>(std::floor(p - w / 2.0 + 0.5));
    return std::clamp(first, 0, std::max(0, extent - w));
}

}  // namespace

TraceWords words_of(const Trace& t) {
    TraceWords w{};
    if (bitset_is_word_array()) {
        std::memcpy(w.data(), &t, sizeof(w));
    } else {
        for (std::size_t i = 0; i < t.size(); ++i)
            if (t.test(i)) w[i / 64] |= std::uint64_t{1} << (i % 64);
    }
    return w;
}

QRect point_rect(double px, double py, int w, int area_width, int area_height) {
    const int side_x = std::min(w, area_width);
    const int side_y = std::min(w, area_height);
    return QRect(first_pixel(px, side_x, area_width), first_pixel(py, side_y, area_height), side_x, side_y);
}

CellSquares::CellSquares(QSize area, int width)
    : side_x_(std::min(width, area.width())), side_y_(std::min(width, area.height())) {
    for (int v = 0; v < 256; ++v) {
        left_[v] = first_pixel(map_x(v, area.width()), side_x_, area.width());
        top_[v] = first_pixel(map_y(v, area.height()), side_y_, area.height());
    }
}

}  // namespace monitor
