// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's design: every control's design name, kind, caption and place
// in twips, how it follows the travel map in a window of another size, and
// what a screen reader says of it. Plain data, without the window and without
// any widget, so that whatever draws the window's controls elsewhere (the
// benchmarks, the README's pictures) puts them where the window does.
//
// The design is in twips for a client area of 6735 x 9000 (449 x 600 pixels
// at 96 dpi).

#include <span>
#include <string_view>

namespace design {

// How a control follows the map.
enum class Anchor {
    Top,         // keeps its place above the map, widens with the window (frame, notice)
    SavedLine,   // as Top; in the compact layout under the buttons
    InFrame,     // inside the information frame, as designed (captions)
    InFrameWide, // inside the information frame, widens with it (the box's values)
    Map,         // the travel map
    AboveMap,    // across: along the map's width; kept above its top edge
    AboveMapRight, // kept above the map's top edge at its distance from the map's right edge
    BelowMap,    // across: along the map's width; kept below its bottom edge
    LeftOfMap,   // kept left of its left edge; along the map's height
    RightOfMap,  // kept right of its right edge; along the map's height
    Gear,        // right of the map, between the two boxes beside it, as designed
    UnderMap,    // under the map, centred with it as designed (buttons, progress)
    Inside,      // inside another control, untouched
};

// What a control is made as.
enum class Kind { Button, Text, Label, Value, FrameLabel, Marker, Frame, Bar };

// A place: in twips in the design, or in pixels once converted (pixels).
struct Place {
    int left, top, width, height;
};

struct Control {
    const char* name;
    Kind kind;
    const char* caption;
    Place place;
    Anchor anchor;
    // What a screen reader says of it. The threshold boxes are named by the
    // mode on show, the value labels with their value.
    const char* accessible_name;
    const char* description;
};

// The client area, and the controls made apart from the table: the
// information frame, the travel map and the gear view's switch (right of
// h2's box, above the map's right edge).
inline constexpr Place kClientArea{0, 0, 6735, 9000};
inline constexpr Place kFrame1{120, 120, 6495, 1815};
inline constexpr Place kGraph{1485, 2760, 3900, 3900};
inline constexpr Place kGearViewSwitch{5130, 2160, 1500, 375};

// The table's controls, in the order they are made, which is also the order
// they stack in.
std::span<const Control> controls();
// The control named `name`; the first one when there is none (a name the
// table lacks is a programming error, caught in debug builds).
const Control& control(std::string_view name);

// Twips as pixels at 100 %, rounded.
int px(int twips);
Place pixels(const Place& twips);

}  // namespace design
