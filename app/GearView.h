// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The gear view: the trace coloured by the gear the box decoded at each
// point, and beside the map the legend and the calibration check. The plain
// trace stays the default; the window widens itself by the panel when the
// view is turned on, so that the map keeps its size.

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>

#include "device/Settings.h"
#include "monitor/GraphView.h"
#include "monitor/Monitor.h"
#include "monitor/MonitorState.h"

class GearPanel;
class QCheckBox;
class QWidget;

// The window's controls the gear view reads, and what it asks of the window.
struct GearViewControls {
    QCheckBox* chkGearView;
    monitor::GraphView* Graph;
    QWidget* design_area;  // where the panel stands
    // The live monitor's view of the controls, as the window keeps it.
    const monitor::MonitorControls& monitor;
};

class GearView : public QObject {
    Q_OBJECT
public:
    // `mode` is the mode on show, as the window holds it.
    GearView(monitor::MonitorState& mon, device::Thresholds& thresholds, const std::uint8_t& mode,
             GearViewControls controls, QObject* parent = nullptr);

    GearPanel* panel() const { return gear_panel_; }
    // The panel's width while the view is on, else 0.
    int panel_width() const;
    // The view on the map and the panel beside it turned on or off.
    void show(bool on);
    // The check against the thresholds on screen, at most twice a second
    // unless `now`; only while the gear view shows.
    void refresh_gear_check(bool now);
    // The suggestion into the threshold boxes.
    void cmdSuggest_Click();

signals:
    // The suggestion moves a threshold, as a dragged line moves it.
    void suggested(int index, int value);

private:
    monitor::MonitorState& mon_;
    device::Thresholds& thresholds_;
    const std::uint8_t& mode_;
    GearViewControls c_;
    GearPanel* gear_panel_;
    QElapsedTimer gear_checked_;
};
