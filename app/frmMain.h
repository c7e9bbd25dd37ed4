// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tool's one window. It owns the window state (the open box, the report
// buffers, the live-monitor values and the working thresholds) and its
// controls; the box's bytes, the monitor's arithmetic, what may be written
// into the box and the update's steps live in device/, monitor/, calibration/
// and update/.

#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "calibration/BoxSession.h"
#include "calibration/BoxStore.h"
#include "device/Connection.h"
#include "update/Flasher.h"
#include "monitor/GraphView.h"
#include "monitor/LineDrag.h"
#include "monitor/Monitor.h"
#include "monitor/MonitorState.h"
#include "update/UpdateSequence.h"
#include "app/GearView.h"
#include "app/UpdateController.h"

class Dialogs;
class NetGrab;
class GearPanel;
class QCheckBox;
class QScrollArea;

struct AppConfig {
    std::uint16_t vendor_id = 0;
    QString update_host;
    // Where the last thresholds read from each box are kept; empty = the
    // user's application data folder.
    QString box_store_folder;
};

// Everything the window's procedures share.
struct WindowState {
    device::DeviceConnection conn;
    monitor::MonitorState mon;
    device::Thresholds thresholds;
    // Mode of the first report of the batch the monitor decoded last: the mode
    // whose layout and thresholds the window shows. Nothing decoded yet reads
    // as H-pattern.
    std::uint8_t last_reported_mode = monitor::kModeH;
};

class frmMain : public QWidget {
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
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    friend struct DesignSlots;  // the design's controls, by member
    // The handlers of the timer and the buttons; the update's are
    // UpdateController's.
    void Timer_Timer();
    void cmd_auto_cal_Click();
    void btnUpdate_Click();
    void cmd_factory_reset_Click();

    // Controls, by their design names.
    QPushButton* cmd_auto_cal;
    QPushButton* cmd_factory_reset;
    QWidget* Pic;
    QWidget* Progress;
    QPushButton* cmd_CheckFirmware;
    QPushButton* btnUpdate;
    QLineEdit* Text10;
    QLineEdit* Text9;
    QLineEdit* Text8;
    QLineEdit* Text7;
    QTimer* Timer;
    QGroupBox* Frame1;
    QLabel* lblSerialNumber;
    QLabel* lblVersion;
    QLabel* lblProduct;
    QLabel* lblManuf;
    QLabel* Label2;
    QLabel* Label5;
    QLabel* Label4;
    QLabel* Label3;
    monitor::GraphView* Graph;
    // Graph's threshold lines by their design names: lineV1 h1, lineV2 h2,
    // lineH1 v2, LineH2 v1, SeqH1 s2, SeqH2 s1.
    monitor::GraphLine* lineV1;
    monitor::GraphLine* lineV2;
    monitor::GraphLine* lineH1;
    monitor::GraphLine* LineH2;
    monitor::GraphLine* SeqH1;
    monitor::GraphLine* SeqH2;
    QLabel* Gear;
    QWidget* TickV2;
    QWidget* TickV1;
    QWidget* TickH1;
    QWidget* TickH2;
    QLabel* lblY;
    QLabel* lblX;
    // The update's downloads, UpdateController's.
    NetGrab* NetGetInfo;
    NetGrab* NetGetFirmware;
    // Plain sentences about a box that is present but cannot be served, or
    // that there is no box to plug in.
    QLabel* lblNotice;
    // Under the information frame: what the last save, or the last firmware
    // update, put into the box. Cleared on the next change.
    QLabel* lblSaved;
    // Beside the update's progress frame: a button that stops the image's
    // download, and how far the bar has come in percent.
    QPushButton* cmd_StopDownload;
    QLabel* lblProgress;
    // Beside the map: the gear view (the trace coloured by the gear the box
    // decoded) instead of the plain trace, with the calibration check.
    QCheckBox* chkGearView;
    // The mode on show ("H-pattern" or "Sequential"), and beside each
    // threshold box the name of the threshold it holds.
    QLabel* lblMode;
    QLabel* lblName7;
    QLabel* lblName8;
    QLabel* lblName9;
    QLabel* lblName10;


    // The design (frmMainDesign.cpp): controls, places, names and wiring.
    void build_controls();
    void wire_controls();
    void lay_out();
    // The gear view (GearView): the window widens by its panel.
    void chkGearView_Toggled(bool on);
    int panel_width() const { return gears_->panel_width(); }
    void refresh_gear_check(bool now) { gears_->refresh_gear_check(now); }
    void describe_threshold_boxes();
    void name_value_labels();
    monitor::MonitorControls monitor_controls() const;
    // A window larger than its screen's free area is made to fit it (down to
    // its minimum; below that its design area scrolls).
    void fit_to_screen();

    // The live monitor and calibration.
    bool search();
    void show_notice();
    void show_device_info(const calibration::DeviceInfo& info);
    void set_calibration_look(bool calibrating);
    void end_calibration();
    // Typed values: a box's text reaches its threshold only when the box
    // commits it; Escape puts the committed value back; the arrows step it.
    void commit_box(QLineEdit* box);
    void commit_drafts();
    void revert_box(QLineEdit* box);
    void step_box(QLineEdit* box, int counts);
    // A threshold line dragged on the map to `value` (already kept from its
    // partner), or put back where the drag started.
    void drag_line(int index, int value);
    void wire_line_drag();
    void apply_drag();
    // Before a change of mode lays the display out anew.
    void leave_changing_box(std::uint8_t to);
    void show_mode_names();
    // The threshold boxes with their names, and the gear between the boxes
    // beside the map: as designed, or in a larger window beside their lines.
    void place_threshold_boxes();
    void follow_lines();
    void set_saved_line(const QString& text);
    void show_thresholds();
    // Asks the session's questions as Yes/No messages with No by default.
    calibration::Ask ask(const char* title);
    // Tells the user how a write ended; true when the box kept everything.
    bool show_write_result(const calibration::WriteResult& r, const char* title);
    void offer_restore();
    void give_mnemonics();
    void lose_box_and_search();
    void unload();

    device::HidBackend& backend_;
    Dialogs& dialogs_;
    AppConfig config_;
    std::unique_ptr<WindowState> state_;
    calibration::BoxStore store_;
    calibration::BoxSession session_;
    bool unloaded_ = false;
    bool closing_ = false;
    std::uint8_t described_mode_ = 0xFF;
    bool fitted_ = false;
    // The size the window had last while neither maximised nor full screen,
    // and the gear view's panel width then.
    QSize normal_size_;
    int normal_panel_ = 0;
    std::pair<QSize, int> earlier_normal_;
    QScrollArea* scroll_;
    GearView* gears_;
    monitor::LineDrag* drag_;
    // The threshold dragged and its value when the drag began.
    std::optional<std::pair<int, int>> drag_start_;
    // Where the mouse last took it, not yet shown.
    std::optional<std::pair<int, int>> drag_to_;
    QWidget* design_;
    // The firmware update: gone before the session and the store it uses.
    std::unique_ptr<UpdateController> updates_;
};
