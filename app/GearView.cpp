// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/GearView.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "app/GearPanel.h"
#include "monitor/GearCheck.h"
#include "monitor/Suggest.h"

GearView::GearView(monitor::MonitorState& mon, device::Thresholds& thresholds, const std::uint8_t& mode,
                   GearViewControls controls, QObject* parent)
    : QObject(parent), mon_(mon), thresholds_(thresholds), mode_(mode), c_(std::move(controls)) {
    gear_panel_ = new GearPanel(*c_.Graph, c_.design_area);
    gear_panel_->hide();
    connect(gear_panel_->suggest_button(), &QPushButton::clicked, this, &GearView::cmdSuggest_Click);
}

int GearView::panel_width() const { return c_.chkGearView->isChecked() ? GearPanel::kWidth : 0; }

void GearView::show(bool on) {
    monitor::show_gear_view(on, mon_, *c_.Graph);
    gear_panel_->setVisible(on);
}

void GearView::refresh_gear_check(bool now) {
    if (!c_.chkGearView->isChecked()) return;
    // A running calibration writes the boxes on every tick.
    gear_panel_->suggest_button()->setEnabled(!mon_.auto_calibrating);
    // A millisecond for a full record: twice a second is plenty for a line a
    // person reads.
    if (!now && gear_checked_.isValid() && gear_checked_.elapsed() < 500) return;
    gear_checked_.start();
    const bool sequential = mode_ == monitor::kModeSequential;
    gear_panel_->show_check(monitor::check_gears(mon_.gear_record.reports(), thresholds_, sequential));
}

void GearView::cmdSuggest_Click() {
    if (mon_.auto_calibrating) return;
    const std::uint8_t mode = mode_;
    const monitor::Rests rests = monitor::find_rests(mon_.gear_record.reports(), mode == monitor::kModeSequential);
    const monitor::Suggestion suggestion = monitor::suggest_thresholds(rests, thresholds_);
    // Into the mode's boxes and lines as a dragged line goes: the working
    // thresholds take them at once, and only "Save calibration" writes them,
    // through the usual questions.
    const monitor::MonitorControls& c = c_.monitor;
    for (QLineEdit* box : {c.upper_box, c.lower_box, c.h1_box, c.h2_box}) {
        const int index = monitor::box_threshold(mode, c, box);
        if (index < 0 || std::find(suggestion.moved.begin(), suggestion.moved.end(), index) == suggestion.moved.end())
            continue;
        emit suggested(index, suggestion.thresholds.get(index));
    }
    gear_panel_->show_suggestion(suggestion);
    refresh_gear_check(true);
}
