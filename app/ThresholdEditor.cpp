// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ThresholdEditor.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

#include "app/Design.h"
#include "app/ThresholdBox.h"
#include "app/WindowLayout.h"
#include "calibration/Writes.h"
#include "monitor/LineDrag.h"

namespace {

// What a threshold box holds, for a screen reader: the threshold, its axis
// and mode, and what the box decodes with it.
struct ThresholdText {
    const char* name;
    const char* description;
};

ThresholdText threshold_box_text(int index) {
    switch (index) {
    case device::kH1: return {"Threshold h1, X axis, H-pattern", "Left column: gears 1 and 2 lie left of it. 0 to 254; Enter applies it."};
    case device::kH2: return {"Threshold h2, X axis, H-pattern", "Right column: gears 5, 6 and reverse lie right of it. 0 to 254; Enter applies it."};
    case device::kV1: return {"Threshold v1, Y axis, H-pattern", "Lower row: gears 2, 4, 6 and reverse lie below it. 0 to 254; Enter applies it."};
    case device::kV2: return {"Threshold v2, Y axis, H-pattern", "Upper row: gears 1, 3 and 5 lie above it. 0 to 254; Enter applies it."};
    case device::kS1: return {"Threshold s1, Y axis, sequential", "Minus lies below it. 0 to 254; Enter applies it."};
    default: return {"Threshold s2, Y axis, sequential", "Plus lies above it. 0 to 254; Enter applies it."};
    }
}


QRect design_place(const char* name) { return layout::px(design::control(name).place); }

calibration::KnownSettings one(int index) {
    return calibration::KnownSettings().set(static_cast<std::size_t>(index));
}

}  // namespace

ThresholdEditor::ThresholdEditor(const MainControls& ui, device::Thresholds& thresholds, const std::uint8_t& mode,
                                 calibration::BoxSession& session, QObject* parent)
    : QObject(parent), ui_(ui), thresholds_(thresholds), mode_(mode), session_(session),
      controls_{ui.Gear,   ui.lblX,   ui.lblY,   ui.Text7,  ui.Text8,
                ui.Text9,  ui.Text10, ui.Graph,  ui.TickV1, ui.TickV2,
                ui.TickH1, ui.TickH2, [this](std::uint8_t, std::uint8_t to) { leave_changing_box(to); }} {
    wire_line_drag();
    for (QLineEdit* box : {ui_.Text7, ui_.Text8, ui_.Text9, ui_.Text10}) {
        auto* threshold_box = static_cast<ThresholdBox*>(box);
        connect(box, &QLineEdit::textEdited, this, [this] { ui_.set_saved_line(""); });
        connect(box, &QLineEdit::textChanged, this, &ThresholdEditor::describe_boxes);
        connect(threshold_box, &ThresholdBox::commit_asked, this, [this, box] { commit_box(box); });
        connect(threshold_box, &ThresholdBox::revert_asked, this, [this, box] { revert_box(box); });
        connect(threshold_box, &ThresholdBox::step_asked, this, [this, box](int counts) { step_box(box, counts); });
    }
    describe_boxes();
}

int ThresholdEditor::box_threshold(const QLineEdit* box) const {
    return monitor::box_threshold(mode_, controls_, box);
}

void ThresholdEditor::commit_box(QLineEdit* box) {
    // Only what the user typed: a box tabbed through keeps what it was given,
    // and a threshold not read from the box stays unknown.
    if (!box->isModified() || !box->isEnabled()) return;
    const std::optional<monitor::Commit> done = monitor::commit_box(mode_, thresholds_, controls_, box);
    if (!done) return;
    if (done->taken) {
        box->setModified(false);
        session_.mark_set(one(box_threshold(box)));
        emit changed();
        follow_lines();
    }
    describe_boxes();
}

void ThresholdEditor::commit_drafts() {
    for (QLineEdit* box : {ui_.Text9, ui_.Text10, ui_.Text7, ui_.Text8})
        if (!box->isHidden()) commit_box(box);
}

void ThresholdEditor::revert_box(QLineEdit* box) {
    monitor::revert_box(mode_, thresholds_, controls_, box);
    box->setModified(false);
    describe_boxes();
}

void ThresholdEditor::step_box(QLineEdit* box, int counts) {
    if (!box->isEnabled()) return;
    const int index = box_threshold(box);
    if (index < 0) return;
    const int from = monitor::shown_value(box->text().toStdString(), thresholds_.get(index));
    drag_line(index, monitor::keep_from_partner(index, from + counts, thresholds_));
}

void ThresholdEditor::drag_line(int index, int value) {
    // Dragging or stepping is deliberate: the threshold takes the value at
    // once, and its box, its line and the check follow.
    thresholds_.set(index, value);
    session_.mark_set(one(index));
    ui_.set_saved_line("");
    for (QLineEdit* box : {ui_.Text9, ui_.Text10, ui_.Text7, ui_.Text8})
        if (box_threshold(box) == index) {
            box->setText(QString::number(value));
            box->setModified(false);
        }
    monitor::place_threshold_line(index, value, controls_);
    emit changed();
    follow_lines();
}

void ThresholdEditor::wire_line_drag() {
    drag_ = new monitor::LineDrag(*ui_.Graph);
    connect(drag_, &monitor::LineDrag::grabbed, this, [this](int index) {
        // Not while a calibration derives the lines.
        if (ui_.Text7->isEnabled()) drag_start_ = std::pair{index, thresholds_.get(index)};
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

void ThresholdEditor::apply_drag() {
    if (!drag_to_ || !drag_start_) return;
    const auto [index, value] = *drag_to_;
    drag_to_.reset();
    const int kept = monitor::keep_from_partner(index, value, thresholds_);
    if (kept != thresholds_.get(index)) drag_line(index, kept);
}

void ThresholdEditor::leave_changing_box(std::uint8_t to) {
    // The box with the keyboard either disappears or holds another threshold
    // after the change: the keyboard goes to the map, where keys change
    // nothing, and leaving the box commits its draft under the old mode.
    if (to == mode_) return;
    QWidget* focused = ui_.Graph->window()->focusWidget();
    for (QLineEdit* box : {ui_.Text9, ui_.Text10, ui_.Text7, ui_.Text8}) {
        if (focused != box) continue;
        if (ui_.Graph->isEnabled() && ui_.Graph->isVisible())
            ui_.Graph->setFocus(Qt::OtherFocusReason);
        else
            box->clearFocus();
    }
}

void ThresholdEditor::show_mode_names() {
    const std::pair<QLineEdit*, QLabel*> names[] = {
        {ui_.Text9, ui_.lblName9}, {ui_.Text10, ui_.lblName10}, {ui_.Text7, ui_.lblName7}, {ui_.Text8, ui_.lblName8}};
    for (const auto& [box, name] : names) {
        const int index = box_threshold(box);
        if (index >= 0 && name->text() != device::setting_name(index)) name->setText(device::setting_name(index));
        name->setVisible(!box->isHidden());
    }
    const bool shown = !ui_.Text7->isHidden();
    ui_.lblMode->setText(!shown ? QString() : mode_ == monitor::kModeSequential ? QString("Sequential") : QString("H-pattern"));
}

void ThresholdEditor::follow_lines() {
    // At the design size and smaller the boxes keep their places.
    if (ui_.Graph->width() > layout::px(design::kGraph.width)) place_boxes(panel_width_);
}

void ThresholdEditor::place_boxes(int panel_width) {
    using layout::Anchor;
    panel_width_ = panel_width;
    const layout::WindowLayout at(ui_.design_area->size(), panel_width);
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
        const bool sequential = mode_ == monitor::kModeSequential;
        const device::Thresholds& t = thresholds_;
        const QRect map = ui_.Graph->geometry();
        const QPoint area = map.topLeft() + ui_.Graph->contentsRect().topLeft();
        auto x_of = [&](int v) { return area.x() + monitor::map_x(std::clamp(v, 0, 255), ui_.Graph->ScaleWidth()); };
        auto y_of = [&](int v) { return area.y() + monitor::map_y(std::clamp(v, 0, 255), ui_.Graph->ScaleHeight()); };
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
        const QFontMetrics fm(ui_.lblMode->font());
        const int first = ui_.Frame1->x() + std::max(fm.horizontalAdvance("H-pattern"), fm.horizontalAdvance("Sequential")) +
                          kGap + apart_x;
        const int last = ui_.chkGearView->x() - kGap;
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
    ui_.Text9->setGeometry(h1);
    ui_.Text10->setGeometry(h2);
    ui_.Text7->setGeometry(upper);
    ui_.Text8->setGeometry(lower);
    ui_.Gear->setGeometry(gear);
    // The names: left of the boxes above the map, right of the boxes beside it.
    for (const auto& [box, name] : {std::pair{ui_.Text9, ui_.lblName9}, std::pair{ui_.Text10, ui_.lblName10}})
        name->setGeometry(box->x() - kGap - name_width, box->y(), name_width, box->height());
    for (const auto& [box, name] : {std::pair{ui_.Text7, ui_.lblName7}, std::pair{ui_.Text8, ui_.lblName8}})
        name->setGeometry(box->geometry().right() + 1 + kGap, box->y(), name_width, box->height());
    const int mode_left = ui_.Frame1->x();
    ui_.lblMode->setGeometry(mode_left, ui_.Text9->y(), std::min(design_place("lblMode").width(), ui_.lblName9->x() - kGap - mode_left),
                         ui_.Text9->height());
    ui_.lblSaved->setWordWrap(at.compact());
    ui_.lblSaved->setAlignment(at.compact() ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter);
}

void ThresholdEditor::show_thresholds() {
    ui_.Text9->setText(QString::number(thresholds_.h1));
    ui_.Text10->setText(QString::number(thresholds_.h2));
    monitor::fill_mode_texts(mode_, thresholds_, controls_);
    follow_lines();
}

void ThresholdEditor::describe_boxes() {
    // What each box holds follows the mode on show; a box whose text is not
    // taken says why, in its border, its tooltip and to a screen reader.
    for (QLineEdit* box : {ui_.Text9, ui_.Text10, ui_.Text7, ui_.Text8}) {
        int index = box_threshold(box);
        if (index < 0) index = box == ui_.Text9 ? device::kH1 : device::kH2;  // hidden in sequential mode
        const ThresholdText t = threshold_box_text(index);
        const monitor::ThresholdText checked = monitor::check_threshold_text(box->text().toStdString());
        QString problem;
        if (!checked.value)
            problem = QString("Not taken: \"%1\" %2; %3 keeps its last valid value.")
                          .arg(box->text(), QString::fromStdString(checked.problem), calibration::setting_name(index));
        auto* threshold_box = static_cast<ThresholdBox*>(box);
        threshold_box->set_problem(problem);
        const QString description = problem.isEmpty() ? QString(t.description) : problem + " " + t.description;
        if (box->accessibleName() != t.name) box->setAccessibleName(t.name);
        if (box->accessibleDescription() != description) box->setAccessibleDescription(description);
    }
}
