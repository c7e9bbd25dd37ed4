// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>

#include "GearCheck.h"
#include "GearPanel.h"
#include "WindowLayout.h"
#include "frmMain.h"

// The gear view: the trace coloured by the gear the box decoded at each
// point, and beside the map the legend and the calibration check. The plain
// trace stays the default; turning the view on widens the window by the
// panel, so that the map keeps its size.

int frmMain::panel_width() const { return chkGearView->isChecked() ? GearPanel::kWidth : 0; }

void frmMain::chkGearView_Toggled(bool on) {
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
    // Half a millisecond for a full record: twice a second is plenty for a
    // line a person reads.
    if (!now && gear_checked_.isValid() && gear_checked_.elapsed() < 500) return;
    gear_checked_.start();
    const bool sequential = state_->last_reported_mode == monitor::kModeSequential;
    gear_panel_->show_check(monitor::check_gears(mon().gear_record.reports(), thresholds(), sequential));
}
