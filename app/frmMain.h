#pragma once
// The tool's one window. It owns the window state (the open box, the report
// buffers, the live-monitor values and the working thresholds) and its
// controls; the box's bytes, the monitor's arithmetic and the update's steps
// live in device/, monitor/, calibration/ and update/.

#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <memory>

#include "BoxStore.h"
#include "Connection.h"
#include "Flasher.h"
#include "GraphView.h"
#include "Monitor.h"
#include "MonitorState.h"
#include "UpdateSequence.h"
#include "Writes.h"

class Dialogs;
class NetGrab;

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
    // Which of them the tool knows; only those are written back on closing.
    calibration::KnownSettings known;
    // Mode of the first report of the batch the monitor decoded last: the mode
    // whose layout and thresholds the window shows. Nothing decoded yet reads
    // as H-pattern.
    std::uint8_t last_reported_mode = monitor::kModeH;
    // What the open box holds as far as the tool last read it (readout, the
    // read-back after a save or restore), and its serial number.
    std::optional<device::Thresholds> box_thresholds;
    QString serial;
};

// Where the window's firmware update stands. From the hand-over to the end of
// the flashing the update owns the connection: the polling tick leaves it
// alone, so a removal during the write is seen by the flasher alone.
enum class UpdateState {
    Idle,
    Asking,       // the update service is asked (the button stays, a new click asks again)
    Downloading,  // the user accepted; the image is on its way
    HandingOver,  // the box restarts into its bootloader
    Flashing,     // the pages are written
    Restarting,   // written: the bootloader restarts into the new firmware
};

// The progress bar's width as a fraction of its frame for a stage of the
// update: the download fills the first twentieth, each pause of the
// hand-over the next, and the writing starts at 0, then runs from 0.2 to 1.
double update_bar_fraction(update::Stage stage, std::int64_t done, std::int64_t total);

// What the window says when the hand-over or the flashing ended without the
// firmware written: the flasher's sentence and what the user can do.
QString update_failure_text(const update::FlashOutcome& outcome);

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
    UpdateState update_state() const { return update_state_; }

    // The window's procedures.
    bool FindTheHid();
    void DisableUI();
    void EnableUI();
    void initialise_values();
    void read_device_info();
    void Timer_Timer();
    void cmd_auto_cal_Click();
    void btnUpdate_Click();
    void cmd_factory_reset_Click();
    void cmd_CheckFirmware_Click();
    void NetGetInfo_DownloadComplete(int nBytes);
    void NetGetInfo_DownloadFailed(int errNum, const QString& errDesc);
    void NetGetFirmware_DownloadProgress(int nBytes);
    void NetGetFirmware_DownloadComplete(int nBytes);
    void NetGetFirmware_DownloadFailed(int errNum, const QString& errDesc);
    update::FlashOutcome switch_to_bootloader();

    // How long the hand-over waits for the bootloader (100 ms passes).
    update::FlashLimits flash_limits;
    // The hand-over's waits. They keep the window responsive; tests replace
    // them with a clock they move by hand.
    std::function<void(int ms)> pause;

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
    NetGrab* NetGetInfo;
    NetGrab* NetGetFirmware;
    // Plain sentences about a box that is present but cannot be served, or
    // that there is no box to plug in.
    QLabel* lblNotice;
    // Under the information frame: the last save went into the box. Cleared
    // on the next change.
    QLabel* lblSaved;

    // The calibration to offer when the box comes back from a firmware
    // update (remembered before the hand-over).
    const std::optional<calibration::Backup>& restore_pending() const { return restore_pending_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // Layout and wiring.
    void build_controls();
    void wire_controls();
    monitor::MonitorControls monitor_controls() const;

    // The live monitor and calibration.
    void show_notice();
    void set_calibration_look(bool calibrating);
    void mark_typed(QLineEdit* box);
    void apply_typed();
    void set_saved_line(const QString& text);
    // The box's thresholds as just read: remembered for the box (in memory
    // and in the box store).
    void box_read(const device::Thresholds& read);
    // Reads the settings back after writes and says what the box kept.
    void read_back_after(const std::vector<calibration::SettingWrite>& sent, const char* title);
    void offer_restore();
    void name_threshold_boxes();
    void name_value_labels();
    void lose_box_and_search();
    void unload();

    // The firmware update.
    update::FlashEnvironment flash_environment();
    void pause_ms(int ms);
    void set_bar(double fraction);
    void website_error(const char* title);
    // Either download failed: the frame goes, the user is told, and may retry.
    void website_unreachable();
    void end_restart_wait_if_over();

    device::HidBackend& backend_;
    Dialogs& dialogs_;
    AppConfig config_;
    std::unique_ptr<WindowState> state_;
    bool unloaded_ = false;
    bool closing_ = false;
    UpdateState update_state_ = UpdateState::Idle;
    calibration::BoxStore store_;
    std::optional<calibration::Backup> restore_pending_;
    std::uint8_t named_mode_ = 0xFF;
    std::unique_ptr<update::UpdateSequence> update_;
    // Restarting: no second update until the application is back, or it did
    // not come back in time.
    QDeadlineTimer restart_deadline_;
};
