// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QPushButton>

#include "monitor/GearCheck.h"
#include "app/GearPanel.h"
#include "monitor/Suggest.h"
#include "app/WindowLayout.h"
#include "app/frmMain.h"

// The gear view: the trace coloured by the gear the box decoded at each
// point, and beside the map the legend and the calibration check. The plain
// trace stays the default; turning the view on widens the window by the
// panel, so that the map keeps its size.

int frmMain::panel_width() const { return chkGearView->isChecked() ? GearPanel::kWidth : 0; }

void frmMain::chkGearView_Toggled(bool on) {
    connect(gear_panel_->suggest_button(), &QPushButton::clicked, this, &frmMain::cmdSuggest_Click,
            Qt::UniqueConnection);
    monitor::show_gear_view(on, mon(), *Graph);
    gear_panel_->setVisible(on);
    const int panel = GearPanel::kWidth;
    design_->setMinimumSize(layout::WindowLayout::minimum_size(panel_width()));
    setMinimumSize(minimumSize().expandedTo(QSize(0, 0)));
    if (!isMaximized() && !isFullScreen()) resize(width() + (on ? panel : -panel), height());
    lay_out();
    refresh_gear_check(true);
}

void frmMain::refresh_gear_check(bool now) {
    if (!chkGearView->isChecked()) return;
    // A running calibration writes the boxes on every tick.
    gear_panel_->suggest_button()->setEnabled(!mon().auto_calibrating);
    // A millisecond for a full record: twice a second is plenty for a line a
    // person reads.
    if (!now && gear_checked_.isValid() && gear_checked_.elapsed() < 500) return;
    gear_checked_.start();
    const bool sequential = state_->last_reported_mode == monitor::kModeSequential;
    gear_panel_->show_check(monitor::check_gears(mon().gear_record.reports(), thresholds(), sequential));
}

void frmMain::cmdSuggest_Click() {
    if (mon().auto_calibrating) return;
    const std::uint8_t mode = state_->last_reported_mode;
    const monitor::Rests rests = monitor::find_rests(mon().gear_record.reports(), mode == monitor::kModeSequential);
    const monitor::Suggestion suggestion = monitor::suggest_thresholds(rests, thresholds());
    // Into the mode's boxes and lines as a dragged line goes: the working
    // thresholds take them at once, and only "Save calibration" writes them,
    // through the usual questions.
    const monitor::MonitorControls c = monitor_controls();
    for (QLineEdit* box : {c.upper_box, c.lower_box, c.h1_box, c.h2_box}) {
        const int index = monitor::box_threshold(mode, c, box);
        if (index < 0 || std::find(suggestion.moved.begin(), suggestion.moved.end(), index) == suggestion.moved.end())
            continue;
        drag_line(index, suggestion.thresholds.get(index));
    }
    gear_panel_->show_suggestion(suggestion);
    refresh_gear_check(true);
}
