// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's side of a firmware update: the update flow started from the
// button, the service's question and the image's download, the update's
// questions asked as messages, its phase shown in the controls it is given.
// The update's steps themselves live in update/.

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "calibration/BoxSession.h"
#include "calibration/BoxStore.h"
#include "update/Flasher.h"
#include "update/UpdateSequence.h"

class Dialogs;
class NetGrab;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The window's controls the update reads and drives, by their design names,
// and what it asks of the window.
struct UpdateControls {
    QWidget* window;  // the messages' parent
    // What the service is told besides the version.
    QLabel* lblSerialNumber;
    QLineEdit* Text9;
    QLineEdit* Text10;
    QLineEdit* Text8;
    QLineEdit* Text7;
    QPushButton* cmd_CheckFirmware;
    QPushButton* cmd_StopDownload;
    // The progress frame, its bar and the percentage beside it.
    QWidget* Pic;
    QWidget* Progress;
    QLabel* lblProgress;
    std::function<bool()> device_found;
    // The window is being closed.
    std::function<bool()> closing;
};

// The update's waits, and the hand-over's pause and clock, as the window
// holds them (tests replace them there).
struct UpdateWaits {
    const update::UpdateLimits& limits;
    const std::function<void(int ms)>& pause;
    const std::function<std::chrono::milliseconds()>& clock;
};

class UpdateController : public QObject {
    Q_OBJECT
public:
    UpdateController(calibration::BoxSession& session, calibration::BoxStore& store, device::HidBackend& backend,
                     std::uint16_t vendor_id, QString update_host, Dialogs& dialogs, UpdateWaits waits,
                     QObject* parent = nullptr);
    ~UpdateController() override;

    // The window's controls, once it has made them.
    void attach(UpdateControls controls);

    // The update's phase (Idle before the first), and the last update, if any.
    update::Phase phase() const { return update_ ? update_->phase() : update::Phase::Idle; }
    update::UpdateSequence* sequence() const { return update_.get(); }
    // The calibration to offer when the box comes back from a firmware update.
    bool restore_pending() const { return update_ && update_->kept(); }
    // An update runs past the service's question; it has the box (from the
    // hand-over to the last page); it awaits the written box.
    bool running() const;
    bool owns_box() const;
    bool restarting() const;
    // What the window says of the update's stage over the information frame;
    // empty where it says nothing.
    QString stage_notice() const;
    // After the tick that saw the update's end: the line that names the
    // version the box now runs, or the message that says what to do.
    void show_update_end();

    // The update's procedures.
    void cmd_CheckFirmware_Click();
    void cmd_StopDownload_Click();
    void NetGetInfo_DownloadComplete(int nBytes);
    void NetGetInfo_DownloadFailed(int errNum, const QString& errDesc);
    void NetGetFirmware_DownloadProgress(int nBytes);
    void NetGetFirmware_DownloadComplete(int nBytes);
    void NetGetFirmware_DownloadFailed(int errNum, const QString& errDesc);
    update::FlashOutcome switch_to_bootloader();

    NetGrab* NetGetInfo;
    NetGrab* NetGetFirmware;

signals:
    // What the window says over the information frame changed.
    void notice_changed();
    // The line under the information frame: what the update put into the
    // box, or why it did not; empty to clear it.
    void saved_line_changed(const QString& text);

private:
    update::FlashEnvironment flash_environment();
    void pause_ms(int ms);
    void set_bar(double fraction);
    void show_progress(bool shown);
    void tell_failure();
    void end_download();

    calibration::BoxSession& session_;
    calibration::BoxStore& store_;
    device::HidBackend& backend_;
    std::uint16_t vendor_id_;
    QString update_host_;
    Dialogs& dialogs_;
    UpdateWaits waits_;
    UpdateControls c_{};
    std::unique_ptr<update::UpdateSequence> update_;
};
