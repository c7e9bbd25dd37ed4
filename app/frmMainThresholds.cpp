// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ThresholdBox.h"
#include "Writes.h"
#include "frmMain.h"

// Typed and dragged thresholds. A box's text is a draft until the box
// commits it (Enter, Tab, leaving the box, a save or a close); the rule of
// what a draft may become lives in monitor/ThresholdEntry, the window only
// shows it. A line dragged on the map, or stepped with the arrows, commits
// at once.

namespace {

calibration::KnownSettings one(int index) {
    return calibration::KnownSettings().set(static_cast<std::size_t>(index));
}

}  // namespace

void frmMain::commit_box(QLineEdit* box) {
    // Only what the user typed: a box tabbed through keeps what it was given,
    // and a threshold not read from the box stays unknown.
    if (!box->isModified() || !box->isEnabled()) return;
    const std::uint8_t mode = state_->last_reported_mode;
    const std::optional<monitor::Commit> done = monitor::commit_box(mode, thresholds(), monitor_controls(), box);
    if (!done) return;
    if (done->taken) {
        box->setModified(false);
        session_.mark_set(one(monitor::box_threshold(mode, monitor_controls(), box)));
        refresh_gear_check(true);
    }
    describe_threshold_boxes();
}

void frmMain::commit_drafts() {
    for (QLineEdit* box : {Text9, Text10, Text7, Text8})
        if (!box->isHidden()) commit_box(box);
}

void frmMain::revert_box(QLineEdit* box) {
    monitor::revert_box(state_->last_reported_mode, thresholds(), monitor_controls(), box);
    box->setModified(false);
    describe_threshold_boxes();
}

void frmMain::step_box(QLineEdit* box, int counts) {
    if (!box->isEnabled()) return;
    const int index = monitor::box_threshold(state_->last_reported_mode, monitor_controls(), box);
    if (index < 0) return;
    const int from = monitor::shown_value(box->text().toStdString(), thresholds().get(index));
    drag_line(index, monitor::keep_from_partner(index, from + counts, thresholds()));
}

void frmMain::drag_line(int index, int value) {
    // Dragging or stepping is deliberate: the threshold takes the value at
    // once, and its box, its line and the check follow.
    thresholds().set(index, value);
    session_.mark_set(one(index));
    set_saved_line("");
    const monitor::MonitorControls c = monitor_controls();
    for (QLineEdit* box : {Text9, Text10, Text7, Text8})
        if (monitor::box_threshold(state_->last_reported_mode, c, box) == index) {
            box->setText(QString::number(value));
            box->setModified(false);
        }
    monitor::place_threshold_line(index, value, c);
    describe_threshold_boxes();
    refresh_gear_check(true);
}

void frmMain::wire_line_drag() {
    drag_ = new monitor::LineDrag(*Graph);
    connect(drag_, &monitor::LineDrag::grabbed, this, [this](int index) {
        // Not while a calibration derives the lines.
        if (Text7->isEnabled()) drag_start_ = std::pair{index, thresholds().get(index)};
    });
    connect(drag_, &monitor::LineDrag::moved, this, [this](int index, int value) {
        if (drag_start_) drag_line(index, monitor::keep_from_partner(index, value, thresholds()));
    });
    connect(drag_, &monitor::LineDrag::released, this, [this] { drag_start_.reset(); });
    connect(drag_, &monitor::LineDrag::cancelled, this, [this] {
        if (drag_start_) drag_line(drag_start_->first, drag_start_->second);
        drag_start_.reset();
    });
}

void frmMain::leave_changing_box(std::uint8_t to) {
    // The box with the keyboard either disappears or holds another threshold
    // after the change: the keyboard goes to the map, where keys change
    // nothing, and leaving the box commits its draft under the old mode.
    if (to == state_->last_reported_mode) return;
    QWidget* focused = focusWidget();
    for (QLineEdit* box : {Text9, Text10, Text7, Text8}) {
        if (focused != box) continue;
        if (Graph->isEnabled() && Graph->isVisible())
            Graph->setFocus(Qt::OtherFocusReason);
        else
            box->clearFocus();
    }
}

void frmMain::show_mode_names() {
    const std::uint8_t mode = state_->last_reported_mode;
    const monitor::MonitorControls c = monitor_controls();
    const std::pair<QLineEdit*, QLabel*> names[] = {
        {Text9, lblName9}, {Text10, lblName10}, {Text7, lblName7}, {Text8, lblName8}};
    for (const auto& [box, name] : names) {
        const int index = monitor::box_threshold(mode, c, box);
        if (index >= 0 && name->text() != device::setting_name(index)) name->setText(device::setting_name(index));
        name->setVisible(!box->isHidden());
    }
    const bool shown = !Text7->isHidden();
    lblMode->setText(!shown ? QString() : mode == monitor::kModeSequential ? QString("Sequential") : QString("H-pattern"));
}
