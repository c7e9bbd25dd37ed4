// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QEventLoop>

#include "app/Dialogs.h"
#include "net/NetGrab.h"
#include "update/UpdateQuery.h"
#include "app/frmMain.h"

// The window's firmware update: the update flow started from the button and
// the download events, its questions asked as messages, its phase shown.

namespace {
QString text_of(const std::string& s) { return QString::fromStdString(s); }
constexpr int kFreshCopy = NetGrab::ModeFreshCopy;
const char* const kAgain = "click \"Get latest firmware\" once more";
}  // namespace

bool frmMain::update_running() const { return update_ && !update_->may_start(); }

bool frmMain::update_owns_box() const { return update_ && update_->owns_box(); }

bool frmMain::update_restarting() const { return update_ && update_->phase() == update::Phase::Restarting; }

void frmMain::cmd_CheckFirmware_Click() {
    // Asking again while the service is asked replaces the question.
    if (update_running()) return;
    update_ = std::make_unique<update::UpdateSequence>(session_, flash_environment(), update_limits, &store_);
    const update::QueryTexts texts{lblSerialNumber->text(), Text9->text(), Text10->text(), Text8->text(),
                                   Text7->text()};
    NetGetInfo->set_transfer_deadline_ms(static_cast<int>(update_limits.answer_deadline.count()));
    // The answer is a short line; a service that sends more is not answering.
    NetGetInfo->set_max_body_bytes(update::kMaxAnswerBytes);
    NetGetInfo->DownloadStart(update_->start(config_.update_host, texts), kFreshCopy);
}

// A failure of the service or the download: the message says what to do, the
// line under the information frame why.
void frmMain::tell_failure() {
    const std::optional<update::Failure>& failure = update_->failure();
    if (!failure || closing_) return;
    if (failure->kind == update::FailureKind::Box) {
        dialogs_.critical(this, failure->title(), text_of(update_->failure_text(kAgain)));
        return;
    }
    set_saved_line(text_of(failure->status.sentence()));
    dialogs_.critical(this, failure->title(), update_->manual_advice());
}

void frmMain::NetGetInfo_DownloadComplete(int) {
    if (!update_ || update_->phase() != update::Phase::Asking) return;
    const device::Result<update::Offer> offer = update_->take_answer(NetGetInfo->Bytes());
    if (!offer) return tell_failure();
    const update::UpdateAnswer& answer = update_->answer();
    const QString version = update::version_display(answer.version_text);
    switch (*offer) {
    case update::Offer::Upgrade: {
        const bool yes = dialogs_.question(this, "Found new firmware", "Upgrade to version " + version + " now?");
        update_->accept(yes);
        if (!yes) break;
        set_bar(0);
        show_progress(true);
        cmd_CheckFirmware->setEnabled(false);
        NetGetFirmware->set_transfer_deadline_ms(static_cast<int>(update_limits.image_deadline(answer.size).count()));
        NetGetFirmware->DownloadStart(answer.url, kFreshCopy);
        break;
    }
    case update::Offer::AlreadyLatest:
        dialogs_.information(this, "No new firmware", "Already running latest firmware version " + version);
        break;
    case update::Offer::Older: break;
    }
}

void frmMain::NetGetInfo_DownloadFailed(int, const QString& errDesc) {
    if (!update_ || update_->phase() != update::Phase::Asking) return;
    update_->service_failed(errDesc);
    end_download();
}

// Either fetch failed, or the image was refused: the frame goes, the user is
// told, and may retry.
void frmMain::end_download() {
    show_progress(false);
    tell_failure();
    cmd_CheckFirmware->setEnabled(true);
}

void frmMain::set_bar(double fraction) {
    Progress->resize(static_cast<int>(fraction * Pic->width()), Progress->height());
    const QString percent = QString("%1%").arg(qRound(fraction * 100));
    if (lblProgress->text() != percent) lblProgress->setText(percent);
}

void frmMain::show_progress(bool shown) {
    Pic->setVisible(shown);
    lblProgress->setVisible(shown);
    // Only the download can be stopped: once the box is handed over, the
    // image is written whole.
    cmd_StopDownload->setVisible(shown && update_ && update_->phase() == update::Phase::Downloading);
}

QString frmMain::stage_notice() const {
    // The stages that have the box; the download leaves it alone.
    if (!update_owns_box() && !update_restarting()) return {};
    return text_of(update_->stage_sentence());
}

void frmMain::NetGetFirmware_DownloadProgress(int nBytes) {
    if (!update_ || update_->phase() != update::Phase::Downloading) return;
    update_->download_progress(nBytes);
    QCoreApplication::processEvents();
}

void frmMain::cmd_StopDownload_Click() {
    if (!update_ || update_->phase() != update::Phase::Downloading) return;
    // The download's end (a cancelled read) then finds the update stopped.
    update_->stop_download();
    NetGetFirmware->DownloadCancel();
    show_progress(false);
    cmd_CheckFirmware->setEnabled(conn().device_found);
    set_saved_line("The firmware download was stopped; nothing was sent to the box.");
}

void frmMain::NetGetFirmware_DownloadComplete(int) {
    // Stopped meanwhile: what arrived is not used.
    if (!update_ || update_->phase() != update::Phase::Downloading) return;
    if (!update_->take_image(NetGetFirmware->Bytes())) return end_download();
    cmd_StopDownload->hide();
    // The notices of the update's stages stand where the saved line is.
    set_saved_line("");
    const update::FlashOutcome outcome = switch_to_bootloader();
    show_notice();
    if (!outcome.status) {
        tell_failure();
        // The box may stay open as it was; let the user try again.
        if (!closing_) cmd_CheckFirmware->setEnabled(conn().device_found);
    }
    show_progress(false);
}

void frmMain::NetGetFirmware_DownloadFailed(int, const QString& errDesc) {
    // A download the user stopped ends quietly.
    if (!update_ || update_->phase() != update::Phase::Downloading) return;
    update_->download_failed(errDesc);
    end_download();
}

update::FlashOutcome frmMain::switch_to_bootloader() { return update_->write(); }

// After the tick that saw the update's end: the line that names the version
// the box now runs, or the message that says what to do.
void frmMain::show_update_end() {
    if (!update_ || !update_->end_to_tell()) return;
    show_notice();
    cmd_CheckFirmware->setEnabled(conn().device_found);
    if (update_->phase() == update::Phase::Done) return set_saved_line(text_of(update_->done_sentence()));
    tell_failure();
}

void frmMain::pause_ms(int ms) {
    // The window stays responsive for the whole wait: ticks, repaints and
    // clicks run inside it.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

update::FlashEnvironment frmMain::flash_environment() {
    update::FlashEnvironment env;
    env.backend = &backend_;
    env.vendor_id = config_.vendor_id;
    env.found = [this] { show_notice(); };
    env.pause = [this](int ms) {
        if (pause)
            pause(ms);
        else
            pause_ms(ms);
    };
    env.clock = clock;
    env.pump = [] { QCoreApplication::processEvents(); };
    env.progress = [this](update::Stage stage, std::int64_t done, std::int64_t total) {
        show_notice();
        if (stage == update::Stage::Flash && done == 0) Progress->show();
        set_bar(update::progress_fraction(stage, done, total));
        if (stage == update::Stage::Flash) Progress->repaint();
    };
    // Closing stops the update before the first page; once pages go out, the
    // image is finished (a box left half-written waits in its bootloader).
    env.stop_requested = [this] { return closing_ && update_->phase() != update::Phase::Writing; };
    return env;
}
