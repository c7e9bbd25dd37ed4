// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tool's one window. It owns the window state (the open box, the report
// buffers, the live-monitor values and the working thresholds) and its
// controls; the box's bytes, the monitor's arithmetic, what may be written
// into the box and the update's steps live in device/, monitor/, calibration/
// and update/.

#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>

#include "app/MainControls.h"
#include "app/WindowState.h"
#include "app/UpdateController.h"
#include "calibration/BoxSession.h"
#include "calibration/BoxStore.h"
#include "update/Flasher.h"
#include "update/UpdateSequence.h"

class CalibrationController;
class Dialogs;
class GearView;
class NetGrab;
class ThresholdEditor;
class WindowSizer;

// The window's controls are its own names (MainControls); what they do
// is here, and in the owners it hands them to: the typed and dragged
// thresholds (ThresholdEditor), the gear view (GearView), the window's size
// (WindowSizer) and the firmware update (UpdateController).
class frmMain : public QWidget, private MainControls {
    Q_OBJECT
public:
    // Runs the load steps: the window comes up in the no-device or connected
    // state, with the timer running. The caller shows it.
    frmMain(device::HidBackend& backend, Dialogs& dialogs, AppConfig config, QWidget* parent = nullptr);
    ~frmMain() override;

    WindowState& state() { return *state_; }
    device::DeviceConnection& conn() { return state_->conn; }
    device::Thresholds& thresholds() { return state_->thresholds; }
    monitor::MonitorState& mon() { return state_->mon; }
    calibration::BoxSession& session() { return session_; }
    // The firmware update's phase (Idle before the first).
    update::Phase update_phase() const { return updates_->phase(); }
    // The calibration to offer when the box comes back from a firmware update.
    bool restore_pending() const { return updates_->restore_pending(); }

    // The window's procedures.
    bool FindTheHid();
    void DisableUI();
    void EnableUI();
    void initialise_values();
    void read_device_info();
    // Every wait of a firmware update.
    update::UpdateLimits update_limits;
    // The hand-over's waits. They keep the window responsive; tests replace
    // them, and the clock the update's waits are measured on, with a clock
    // they move by hand.
    std::function<void(int ms)> pause;
    std::function<std::chrono::milliseconds()> clock;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // The handler of the timer; the buttons' are CalibrationController's and
    // UpdateController's, the threshold boxes' ThresholdEditor's.
    void Timer_Timer();
    void chkGearView_Toggled(bool on);
    void wire_controls();
    void lay_out();

    // The live monitor and calibration.
    bool search();
    void show_notice();
    void show_device_info(const calibration::DeviceInfo& info);
    void lose_box_and_search();
    void unload();

    // The update's downloads, UpdateController's.
    NetGrab* NetGetInfo;
    NetGrab* NetGetFirmware;

    device::HidBackend& backend_;
    Dialogs& dialogs_;
    AppConfig config_;
    std::unique_ptr<WindowState> state_;
    calibration::BoxStore store_;
    calibration::BoxSession session_;
    bool unloaded_ = false;
    bool closing_ = false;
    std::uint8_t described_mode_ = 0xFF;
    GearView* gears_;
    ThresholdEditor* editor_;
    WindowSizer* sizer_;
    CalibrationController* calibration_;
    // The firmware update: gone before the session and the store it uses.
    std::unique_ptr<UpdateController> updates_;
};
