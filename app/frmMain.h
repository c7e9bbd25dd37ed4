#pragma once
// The tool's one window. It owns the window state (the open box, the report
// buffers, the live-monitor values and the working thresholds) and its
// controls; the box's bytes and the monitor's arithmetic live in device/,
// monitor/ and calibration/.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QDeadlineTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "Connection.h"
#include "Flasher.h"
#include "GraphView.h"
#include "Monitor.h"
#include "Writes.h"
#include "MonitorState.h"

class Dialogs;
class NetGrab;

struct AppConfig {
    std::uint16_t vendor_id = 0;
    QString update_host;
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
    // The firmware update.
    QByteArray firmware_image;
    int firmware_size = 0;
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
    QLabel* Gear;
    QWidget* TickV2;
    QWidget* TickV1;
    QWidget* TickH1;
    QWidget* TickH2;
    QLabel* lblY;
    QLabel* lblX;
    NetGrab* NetGetInfo;
    NetGrab* NetGetFirmware;
    // Plain sentences about a box that is present but cannot be served.
    QLabel* lblNotice;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void build_controls();
    void unload();
    void show_notice();
    void set_calibration_look(bool calibrating);
    monitor::MonitorControls monitor_controls() const;
    void pause_ms(int ms);
    void set_bar(double fraction);
    void website_error(const char* title);
    // Either download failed: the frame goes, the user is told, and may retry.
    void website_unreachable();
    update::FlashEnvironment flash_environment();

    device::HidBackend& backend_;
    Dialogs& dialogs_;
    AppConfig config_;
    std::unique_ptr<WindowState> state_;
    bool unloaded_ = false;
    bool closing_ = false;
    // From the user's consent to the end of the flashing.
    bool update_running_ = false;
    // The hand-over and the flashing are under way.
    bool flashing_ = false;
    // The image is written and the bootloader restarts the box: no second
    // update until the application is back (or it did not come back in time).
    bool awaiting_restart_ = false;
    QDeadlineTimer restart_deadline_;
    void end_restart_wait_if_over();
};
