// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "app/Dialogs.h"
#include "net/NetGrab.h"
#include "update/UpdateQuery.h"
#include "app/UpdateController.h"

namespace {
QString text_of(const std::string& s) { return QString::fromStdString(s); }
constexpr int kFreshCopy = NetGrab::ModeFreshCopy;
const char* const kAgain = "click \"Get latest firmware\" once more";
}  // namespace

UpdateController::UpdateController(calibration::BoxSession& session, calibration::BoxStore& store,
                                   device::HidBackend& backend, std::uint16_t vendor_id, QString update_host,
                                   Dialogs& dialogs, UpdateWaits waits, QObject* parent)
    : QObject(parent), session_(session), store_(store), backend_(backend), vendor_id_(vendor_id),
      update_host_(std::move(update_host)), dialogs_(dialogs), waits_(waits) {
    setObjectName("updates");
    NetGetInfo = new NetGrab(this);
    NetGetInfo->setObjectName("NetGetInfo");
    NetGetFirmware = new NetGrab(this);
    NetGetFirmware->setObjectName("NetGetFirmware");
    connect(NetGetInfo, &NetGrab::DownloadComplete, this, &UpdateController::NetGetInfo_DownloadComplete);
    connect(NetGetInfo, &NetGrab::DownloadFailed, this, &UpdateController::NetGetInfo_DownloadFailed);
    connect(NetGetFirmware, &NetGrab::DownloadProgress, this, &UpdateController::NetGetFirmware_DownloadProgress);
    connect(NetGetFirmware, &NetGrab::DownloadComplete, this, &UpdateController::NetGetFirmware_DownloadComplete);
    connect(NetGetFirmware, &NetGrab::DownloadFailed, this, &UpdateController::NetGetFirmware_DownloadFailed);
}

UpdateController::~UpdateController() = default;

void UpdateController::attach(UpdateControls controls) {
    c_ = std::move(controls);
    connect(c_.cmd_CheckFirmware, &QPushButton::clicked, this, &UpdateController::cmd_CheckFirmware_Click);
    connect(c_.cmd_StopDownload, &QPushButton::clicked, this, &UpdateController::cmd_StopDownload_Click);
}

bool UpdateController::running() const { return update_ && !update_->may_start(); }

bool UpdateController::owns_box() const { return update_ && update_->owns_box(); }

bool UpdateController::restarting() const { return update_ && update_->phase() == update::Phase::Restarting; }

void UpdateController::cmd_CheckFirmware_Click() {
    // Asking again while the service is asked replaces the question.
    if (running()) return;
    update_ = std::make_unique<update::UpdateSequence>(session_, flash_environment(), waits_.limits, &store_);
    const update::QueryTexts texts{c_.lblSerialNumber->text(), c_.Text9->text(), c_.Text10->text(), c_.Text8->text(),
                                   c_.Text7->text()};
    NetGetInfo->set_transfer_deadline_ms(static_cast<int>(waits_.limits.answer_deadline.count()));
    // The answer is a short line; a service that sends more is not answering.
    NetGetInfo->set_max_body_bytes(update::kMaxAnswerBytes);
    NetGetInfo->DownloadStart(update_->start(update_host_, texts), kFreshCopy);
}

// A failure of the service or the download: the message says what to do, the
// line under the information frame why.
void UpdateController::tell_failure() {
    const std::optional<update::Failure>& failure = update_->failure();
    if (!failure || c_.closing()) return;
    if (failure->kind == update::FailureKind::Box) {
        dialogs_.critical(c_.window, failure->title(), text_of(update_->failure_text(kAgain)));
        return;
    }
    emit saved_line_changed(text_of(failure->status.sentence()));
    dialogs_.critical(c_.window, failure->title(), update_->manual_advice());
}

void UpdateController::NetGetInfo_DownloadComplete(int) {
    if (!update_ || update_->phase() != update::Phase::Asking) return;
    const device::Result<update::Offer> offer = update_->take_answer(NetGetInfo->Bytes());
    if (!offer) return tell_failure();
    const update::UpdateAnswer& answer = update_->answer();
    const QString version = update::version_display(answer.version_text);
    switch (*offer) {
    case update::Offer::Upgrade: {
        const bool yes = dialogs_.question(c_.window, "Found new firmware", "Upgrade to version " + version + " now?");
        update_->accept(yes);
        if (!yes) break;
        set_bar(0);
        show_progress(true);
        c_.cmd_CheckFirmware->setEnabled(false);
        NetGetFirmware->set_transfer_deadline_ms(static_cast<int>(waits_.limits.image_deadline(answer.size).count()));
        NetGetFirmware->DownloadStart(answer.url, kFreshCopy);
        break;
    }
    case update::Offer::AlreadyLatest:
        dialogs_.information(c_.window, "No new firmware", "Already running latest firmware version " + version);
        break;
    case update::Offer::Older: break;
    }
}

void UpdateController::NetGetInfo_DownloadFailed(int, const QString& errDesc) {
    if (!update_ || update_->phase() != update::Phase::Asking) return;
    update_->service_failed(errDesc);
    end_download();
}

// Either fetch failed, or the image was refused: the frame goes, the user is
// told, and may retry.
void UpdateController::end_download() {
    show_progress(false);
    tell_failure();
    c_.cmd_CheckFirmware->setEnabled(true);
}

void UpdateController::set_bar(double fraction) {
    c_.Progress->resize(static_cast<int>(fraction * c_.Pic->width()), c_.Progress->height());
    const QString percent = QString("%1%").arg(qRound(fraction * 100));
    if (c_.lblProgress->text() != percent) c_.lblProgress->setText(percent);
}

void UpdateController::show_progress(bool shown) {
    c_.Pic->setVisible(shown);
    c_.lblProgress->setVisible(shown);
    // Only the download can be stopped: once the box is handed over, the
    // image is written whole.
    c_.cmd_StopDownload->setVisible(shown && update_ && update_->phase() == update::Phase::Downloading);
}

QString UpdateController::stage_notice() const {
    // The stages that have the box; the download leaves it alone.
    if (!owns_box() && !restarting()) return {};
    return text_of(update_->stage_sentence());
}

void UpdateController::NetGetFirmware_DownloadProgress(int nBytes) {
    if (!update_ || update_->phase() != update::Phase::Downloading) return;
    update_->download_progress(nBytes);
    QCoreApplication::processEvents();
}

void UpdateController::cmd_StopDownload_Click() {
    if (!update_ || update_->phase() != update::Phase::Downloading) return;
    // The download's end (a cancelled read) then finds the update stopped.
    update_->stop_download();
    NetGetFirmware->DownloadCancel();
    show_progress(false);
    c_.cmd_CheckFirmware->setEnabled(c_.device_found());
    emit saved_line_changed("The firmware download was stopped; nothing was sent to the box.");
}

void UpdateController::NetGetFirmware_DownloadComplete(int) {
    // Stopped meanwhile: what arrived is not used.
    if (!update_ || update_->phase() != update::Phase::Downloading) return;
    if (!update_->take_image(NetGetFirmware->Bytes())) return end_download();
    c_.cmd_StopDownload->hide();
    // The notices of the update's stages stand where the saved line is.
    emit saved_line_changed("");
    const update::FlashOutcome outcome = switch_to_bootloader();
    emit notice_changed();
    if (!outcome.status) {
        tell_failure();
        // The box may stay open as it was; let the user try again.
        if (!c_.closing()) c_.cmd_CheckFirmware->setEnabled(c_.device_found());
    }
    show_progress(false);
}

void UpdateController::NetGetFirmware_DownloadFailed(int, const QString& errDesc) {
    // A download the user stopped ends quietly.
    if (!update_ || update_->phase() != update::Phase::Downloading) return;
    update_->download_failed(errDesc);
    end_download();
}

update::FlashOutcome UpdateController::switch_to_bootloader() { return update_->write(); }

// After the tick that saw the update's end: the line that names the version
// the box now runs, or the message that says what to do.
void UpdateController::show_update_end() {
    if (!update_ || !update_->end_to_tell()) return;
    emit notice_changed();
    c_.cmd_CheckFirmware->setEnabled(c_.device_found());
    if (update_->phase() == update::Phase::Done) {
        emit saved_line_changed(text_of(update_->done_sentence()));
        return;
    }
    tell_failure();
}

void UpdateController::pause_ms(int ms) {
    // The window stays responsive for the whole wait: ticks, repaints and
    // clicks run inside it.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

update::FlashEnvironment UpdateController::flash_environment() {
    update::FlashEnvironment env;
    env.backend = &backend_;
    env.vendor_id = vendor_id_;
    env.found = [this] { emit notice_changed(); };
    env.pause = [this](int ms) {
        if (waits_.pause)
            waits_.pause(ms);
        else
            pause_ms(ms);
    };
    env.clock = waits_.clock;
    env.pump = [] { QCoreApplication::processEvents(); };
    env.progress = [this](update::Stage stage, std::int64_t done, std::int64_t total) {
        emit notice_changed();
        if (stage == update::Stage::Flash && done == 0) c_.Progress->show();
        set_bar(update::progress_fraction(stage, done, total));
        if (stage == update::Stage::Flash) c_.Progress->repaint();
    };
    // Closing stops the update before the first page; once pages go out, the
    // image is finished (a box left half-written waits in its bootloader).
    env.stop_requested = [this] { return c_.closing() && update_->phase() != update::Phase::Writing; };
    return env;
}
