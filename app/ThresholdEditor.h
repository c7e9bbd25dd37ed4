// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Typed and dragged thresholds. A box's text is a draft until the box
// commits it (Enter, Tab, leaving the box, a save or a close); the rule of
// what a draft may become lives in monitor/ThresholdEntry, this only shows
// it. A line dragged on the map, or stepped with the arrows, commits at once.
// The boxes, their names and the mode's name stand at their design places,
// or in a larger window beside their lines.

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "calibration/BoxSession.h"
#include "monitor/Monitor.h"
#include "app/MainControls.h"

class QLineEdit;

namespace monitor {
class LineDrag;
}

class ThresholdEditor : public QObject {
    Q_OBJECT
public:
    // `mode` is the mode on show, as the window holds it.
    ThresholdEditor(const MainControls& ui, device::Thresholds& thresholds, const std::uint8_t& mode,
                    calibration::BoxSession& session, QObject* parent = nullptr);

    // The live monitor's view of the controls; before a change of mode it
    // moves the keyboard out of a box the change hides or gives another
    // threshold.
    const monitor::MonitorControls& monitor_controls() const { return controls_; }

    // Every box being edited commits (a save, a close).
    void commit_drafts();
    // A threshold set as a dragged line sets it: at once, its box, its line
    // and the check following.
    void drag_line(int index, int value);
    // The line goes where the mouse last took it, once a tick.
    void apply_drag();
    // The boxes show the working thresholds of the mode on show.
    void show_thresholds();
    // What each box holds, and why its text is not taken, for the eye and a
    // screen reader; the boxes' names and the mode's name.
    void describe_boxes();
    void show_mode_names();
    // The boxes with their names, and the gear between the boxes beside the
    // map: as designed, or in a larger window beside their lines; the gear
    // view's panel, `panel_width` wide, stands right of them.
    void place_boxes(int panel_width);
    // As place_boxes, where the lines have moved away from the design.
    void follow_lines();

signals:
    // A box committed a value, or a line was dragged or stepped: the
    // working thresholds changed.
    void changed();

private:
    void commit_box(QLineEdit* box);
    void revert_box(QLineEdit* box);
    void step_box(QLineEdit* box, int counts);
    void leave_changing_box(std::uint8_t to);
    void wire_line_drag();
    int box_threshold(const QLineEdit* box) const;

    const MainControls& ui_;
    device::Thresholds& thresholds_;
    const std::uint8_t& mode_;
    calibration::BoxSession& session_;
    int panel_width_ = 0;
    monitor::MonitorControls controls_;
    monitor::LineDrag* drag_ = nullptr;
    // The threshold dragged and its value when the drag began.
    std::optional<std::pair<int, int>> drag_start_;
    // Where the mouse last took it, not yet shown.
    std::optional<std::pair<int, int>> drag_to_;
};
