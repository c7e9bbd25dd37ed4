// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>

#include <algorithm>

#include "app/ThresholdBox.h"
#include "app/WindowLayout.h"
#include "calibration/Writes.h"
#include "app/frmMain.h"

// Typed and dragged thresholds. A box's text is a draft until the box
// commits it (Enter, Tab, leaving the box, a save or a close); the rule of
// what a draft may become lives in monitor/ThresholdEntry, the window only
// shows it. A line dragged on the map, or stepped with the arrows, commits
// at once.

namespace {

QRect design_place(const char* name) { return layout::px(design::control(name).place); }

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
        follow_lines();
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
    refresh_gear_check(true);
    follow_lines();
}

void frmMain::wire_line_drag() {
    drag_ = new monitor::LineDrag(*Graph);
    connect(drag_, &monitor::LineDrag::grabbed, this, [this](int index) {
        // Not while a calibration derives the lines.
        if (Text7->isEnabled()) drag_start_ = std::pair{index, thresholds().get(index)};
    });
    // The mouse moves more often than the window shows a tick: the line goes
    // where the mouse last was once per tick, in the same repaint as the
    // tick's own (apply_drag), and at once when the button is let go.
    connect(drag_, &monitor::LineDrag::moved, this, [this](int index, int value) {
        if (drag_start_) drag_to_ = std::pair{index, value};
    });
    connect(drag_, &monitor::LineDrag::released, this, [this] {
        apply_drag();
        drag_start_.reset();
    });
    connect(drag_, &monitor::LineDrag::cancelled, this, [this] {
        drag_to_.reset();
        if (drag_start_) drag_line(drag_start_->first, drag_start_->second);
        drag_start_.reset();
    });
}

void frmMain::apply_drag() {
    if (!drag_to_ || !drag_start_) return;
    const auto [index, value] = *drag_to_;
    drag_to_.reset();
    const int kept = monitor::keep_from_partner(index, value, thresholds());
    if (kept != thresholds().get(index)) drag_line(index, kept);
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

void frmMain::follow_lines() {
    // At the design size and smaller the boxes keep their places.
    if (Graph->width() > layout::px(design::kGraph.width)) place_threshold_boxes();
}

void frmMain::place_threshold_boxes() {
    using layout::Anchor;
    const layout::WindowLayout at(design_->size(), panel_width());
    QRect h1 = at.place(Anchor::AboveMap, design_place("Text9"));
    QRect h2 = at.place(Anchor::AboveMap, design_place("Text10"));
    QRect upper = at.place(Anchor::RightOfMap, design_place("Text7"));
    QRect lower = at.place(Anchor::RightOfMap, design_place("Text8"));
    QRect gear = at.place(Anchor::Gear, design_place("Gear"));
    const int name_width = design_place("lblName9").width();
    constexpr int kGap = 2;
    if (at.beside_line(h1, 0, true) != h1) {
        // Beside their lines, each within the map's span, never over each
        // other, the mode's name or the gear view's switch, and the gear
        // between the boxes right of the map.
        const bool sequential = state_->last_reported_mode == monitor::kModeSequential;
        const device::Thresholds& t = thresholds();
        const QRect map = Graph->geometry();
        const QPoint area = map.topLeft() + Graph->contentsRect().topLeft();
        auto x_of = [&](int v) { return area.x() + monitor::map_x(std::clamp(v, 0, 255), Graph->ScaleWidth()); };
        auto y_of = [&](int v) { return area.y() + monitor::map_y(std::clamp(v, 0, 255), Graph->ScaleHeight()); };
        h1 = at.beside_line(h1, x_of(t.h1), true);
        h2 = at.beside_line(h2, x_of(t.h2), true);
        upper = at.beside_line(upper, y_of(sequential ? t.s2 : t.v2), false);
        lower = at.beside_line(lower, y_of(sequential ? t.s1 : t.v1), false);
        const int apart_x = name_width + 2 * kGap;
        if (h2.left() - (h1.right() + 1) < apart_x) {
            const int mid = (h1.center().x() + h2.center().x()) / 2;
            h1.moveLeft(mid - apart_x / 2 - h1.width());
            h2.moveLeft(h1.right() + 1 + apart_x);
        }
        const QFontMetrics fm(lblMode->font());
        const int first = Frame1->x() + std::max(fm.horizontalAdvance("H-pattern"), fm.horizontalAdvance("Sequential")) +
                          kGap + apart_x;
        const int last = chkGearView->x() - kGap;
        h1.moveLeft(std::clamp(h1.left(), first, last - apart_x - h1.width() - h2.width()));
        h2.moveLeft(std::clamp(h2.left(), h1.right() + 1 + apart_x, last - h2.width()));
        const int apart_y = gear.height();
        if (lower.top() - (upper.bottom() + 1) < apart_y) {
            const int mid = (upper.center().y() + lower.center().y()) / 2;
            upper.moveTop(mid - apart_y / 2 - upper.height());
            lower.moveTop(upper.bottom() + 1 + apart_y);
        }
        upper.moveTop(std::clamp(upper.top(), map.top(), map.bottom() + 1 - 2 * upper.height() - apart_y));
        lower.moveTop(std::clamp(lower.top(), upper.bottom() + 1 + apart_y, map.bottom() + 1 - lower.height()));
        gear.moveTop(upper.bottom() + 1 + (lower.top() - (upper.bottom() + 1) - gear.height()) / 2);
    }
    Text9->setGeometry(h1);
    Text10->setGeometry(h2);
    Text7->setGeometry(upper);
    Text8->setGeometry(lower);
    Gear->setGeometry(gear);
    // The names: left of the boxes above the map, right of the boxes beside it.
    for (const auto& [box, name] : {std::pair{Text9, lblName9}, std::pair{Text10, lblName10}})
        name->setGeometry(box->x() - kGap - name_width, box->y(), name_width, box->height());
    for (const auto& [box, name] : {std::pair{Text7, lblName7}, std::pair{Text8, lblName8}})
        name->setGeometry(box->geometry().right() + 1 + kGap, box->y(), name_width, box->height());
    const int mode_left = Frame1->x();
    lblMode->setGeometry(mode_left, Text9->y(), std::min(design_place("lblMode").width(), lblName9->x() - kGap - mode_left),
                         Text9->height());
    lblSaved->setWordWrap(at.compact());
    lblSaved->setAlignment(at.compact() ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter);
}
