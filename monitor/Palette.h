// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The travel map's colours: how light a background is, how well two colours
// stand apart, and the colours of the threshold lines, the gears and the text
// on a light or a dark map.

#include <QColor>

#include "monitor/GearRecord.h"

namespace monitor {

// Relative luminance of an sRGB colour (0 black .. 1 white).
double luminance(QColor c);

// Whether black stands out against the background better than white does.
bool is_light(QColor paper);

// The contrast ratio as the accessibility guidelines define it (1 .. 21).
double contrast(QColor a, QColor b);

// The text of the gear names and the legend on the map's background: the
// map's ink.
QColor text_on(QColor paper);

// The colour a line of colour `c` is drawn in over `background`: `c` itself
// over a light background; over a dark one (a dark palette), made lighter
// until it stands out from it as well as blue does from white.
QColor line_ink(QColor c, QColor background);

// A gear's colour on a map of the given background: the Okabe-Ito hues,
// darkened on a light map and lightened on a dark one so that each stands
// at least 3:1 against it. Neutral (and a report between gears) is black
// on a light map, light grey on a dark one.
QColor gear_color(Gear gear, QColor paper);

}  // namespace monitor
