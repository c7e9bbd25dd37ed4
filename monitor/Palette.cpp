// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Palette.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace monitor {

namespace {

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

double srgb_to_linear(int c) {
    const double v = c / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

}  // namespace

double luminance(QColor c) {
    return 0.2126 * srgb_to_linear(c.red()) + 0.7152 * srgb_to_linear(c.green()) + 0.0722 * srgb_to_linear(c.blue());
}

bool is_light(QColor paper) { return luminance(paper) > 0.179; }

double contrast(QColor a, QColor b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor text_on(QColor paper) { return is_light(paper) ? QColor(Qt::black) : QColor(230, 230, 230); }

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

QColor gear_color(Gear gear, QColor paper) {
    const auto& colors = is_light(paper) ? kGearsOnLight : kGearsOnDark;
    return QColor::fromRgb(colors[static_cast<std::size_t>(gear)]);
}

}  // namespace monitor
