// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QEventLoop>

#include <utility>

#include "Dialogs.h"
#include "NetGrab.h"
#include "UpdateQuery.h"
#include "frmMain.h"

// The window's firmware update: the update flow's steps started from the
// download events, and what the window shows of them.

namespace {
QString text_of(const std::string& s) { return QString::fromStdString(s); }
constexpr int kFreshCopy = NetGrab::ModeFreshCopy;
const char* const kWebsiteError = "Website access error";
const char* const kDownloadError = "Firmware download error";
const char* const kUpdateError = "Firmware update error";
const char* const kAgain = "click \"Get latest firmware\" once more";
}  // namespace

void frmMain::cmd_CheckFirmware_Click() {
    // Asking again while the service is asked replaces the question.
    if (update_state_ != UpdateState::Idle && update_state_ != UpdateState::Asking) return;
    update_ = std::make_unique<update::UpdateSequence>(session_, flash_environment(), update_limits, &store_);
    update_state_ = UpdateState::Asking;
    stage_.reset();
    const update::QueryTexts texts{lblSerialNumber->text(), Text9->text(), Text10->text(), Text8->text(),
                                   Text7->text()};
    NetGetInfo->set_transfer_deadline_ms(static_cast<int>(update_limits.answer_deadline.count()));
    // The answer is a short line; a service that sends more is not answering.
    NetGetInfo->set_max_body_bytes(update::kMaxAnswerBytes);
    NetGetInfo->DownloadStart(update_->query_url(config_.update_host, texts), kFreshCopy);
}

void frmMain::website_error(const char* title) {
    dialogs_.critical(this, title, "Try downloading firmware from " + config_.update_host + " manually");
}

void frmMain::NetGetInfo_DownloadComplete(int) {
    if (update_state_ != UpdateState::Asking) return;
    update_state_ = UpdateState::Idle;
    const device::Result<update::Offer> offer = update_->take_answer(NetGetInfo->Bytes());
    if (!offer) {
        dialogs_.critical(this, kWebsiteError,
                          "The update service gave an answer this tool cannot use (" + text_of(offer.sentence()) +
                              "). Try downloading firmware from " + config_.update_host + " manually");
        return;
    }
    const update::UpdateAnswer& answer = update_->answer();
    const QString version = update::version_display(answer.version_text);
    switch (*offer) {
    case update::Offer::Upgrade:
        if (dialogs_.question(this, "Found new firmware", "Upgrade to version " + version + " now?")) {
            set_bar(0);
            update_state_ = UpdateState::Downloading;
            show_progress(true);
            cmd_CheckFirmware->setEnabled(false);
            NetGetFirmware->set_transfer_deadline_ms(static_cast<int>(update_limits.image_deadline(answer.size).count()));
            NetGetFirmware->DownloadStart(answer.url, kFreshCopy);
        }
        break;
    case update::Offer::AlreadyLatest:
        dialogs_.information(this, "No new firmware", "Already running latest firmware version " + version);
        break;
    case update::Offer::Older:
        break;
    }
}

void frmMain::NetGetInfo_DownloadFailed(int, const QString&) { website_unreachable(); }

void frmMain::website_unreachable() {
    update_state_ = UpdateState::Idle;
    stage_.reset();
    show_progress(false);
    website_error(kWebsiteError);
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
    cmd_StopDownload->setVisible(shown && update_state_ == UpdateState::Downloading);
}

const char* frmMain::stage_notice() const {
    if (!stage_) return nullptr;
    switch (*stage_) {
    case update::Stage::Download: return nullptr;  // the box is not touched yet
    case update::Stage::Settle:
    case update::Stage::SecondSettle: return "The box is switching to its update mode: do not unplug the box.";
    case update::Stage::Flash: return "Writing the firmware: do not unplug the box.";
    case update::Stage::Restart: return "The box is restarting with its new firmware.";
    }
    return nullptr;
}

void frmMain::update_stage(update::Stage stage) {
    if (stage_ == stage) return;
    stage_ = stage;
    show_notice();
}

void frmMain::NetGetFirmware_DownloadProgress(int nBytes) {
    if (update_state_ != UpdateState::Downloading) return;
    if (update_) update_->download_progress(nBytes);
    QCoreApplication::processEvents();
}

void frmMain::cmd_StopDownload_Click() {
    if (update_state_ != UpdateState::Downloading) return;
    // The download's end (a cancelled read) then finds the window idle.
    update_state_ = UpdateState::Idle;
    stage_.reset();
    NetGetFirmware->DownloadCancel();
    show_progress(false);
    cmd_CheckFirmware->setEnabled(conn().device_found);
    set_saved_line("The firmware download was stopped; nothing was sent to the box.");
}

void frmMain::NetGetFirmware_DownloadComplete(int) {
    // Stopped meanwhile: what arrived is not used.
    if (update_state_ != UpdateState::Downloading) return;
    if (const device::Status image = update_->take_image(NetGetFirmware->Bytes()); !image) {
        update_state_ = UpdateState::Idle;
        website_error(kDownloadError);
        cmd_CheckFirmware->setEnabled(true);
    } else {
        update_state_ = UpdateState::HandingOver;
        cmd_StopDownload->hide();
        // The notices of the update's stages stand where the saved line is.
        set_saved_line("");
        const update::FlashOutcome outcome = switch_to_bootloader();
        if (outcome.status) {
            update_state_ = UpdateState::Restarting;
            update_stage(update::Stage::Restart);
        } else {
            update_state_ = UpdateState::Idle;
            stage_.reset();
            show_notice();
            if (!closing_) {
                dialogs_.critical(this, kUpdateError, text_of(update::failure_text(outcome.status, kAgain)));
                // The box may stay open as it was; let the user try again.
                cmd_CheckFirmware->setEnabled(conn().device_found);
            }
        }
    }
    show_progress(false);
}

void frmMain::NetGetFirmware_DownloadFailed(int, const QString&) {
    // A download the user stopped ends quietly.
    if (update_state_ != UpdateState::Downloading) return;
    website_unreachable();
}

update::FlashOutcome frmMain::switch_to_bootloader() { return update_->write(); }

// What a search while the updated box restarts found: its bootloader still,
// the box back with its new firmware, or nothing in time. A box that stays in
// its bootloader has not come back either.
void frmMain::restart_seen(device::PinnedSearch found) {
    const bool back = found == device::PinnedSearch::Found && !conn().bootloader();
    const device::PinnedSearch so_far = found == device::PinnedSearch::Found ? device::PinnedSearch::NotYet : found;
    const device::Status problem = back ? update_->check_version() : update_->restart_status(so_far);
    // Not back yet, and still in time.
    if (!back && problem) return;
    update_state_ = UpdateState::Idle;
    stage_.reset();
    show_notice();
    // Told once the window shows the box as it came back (or without it).
    if (!problem)
        update_failed_ = text_of(update::failure_text(problem, kAgain));
    else
        update_done_ = true;
}

void frmMain::show_update_end() {
    if (update_done_) {
        const QString version = update::version_display(update::hex16(conn().hid_attributes.version_number));
        set_saved_line(calibration_put_back_
                           ? "The box now runs firmware " + version + ", with its calibration put back."
                           : "Firmware updated: the box now runs version " + version + ".");
    }
    update_done_ = false;
    calibration_put_back_ = false;
    if (update_failed_.isEmpty()) return;
    const QString text = std::exchange(update_failed_, QString());
    dialogs_.critical(this, kUpdateError, text);
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
    env.pump = [] { QCoreApplication::processEvents(); };
    env.progress = [this](update::Stage stage, std::int64_t done, std::int64_t total) {
        update_stage(stage);
        if (stage == update::Stage::Flash && done == 0) {
            update_state_ = UpdateState::Flashing;
            Progress->show();
        }
        set_bar(update::progress_fraction(stage, done, total));
        if (stage == update::Stage::Flash) Progress->repaint();
    };
    // Closing stops the update before the first page; once pages go out, the
    // image is finished (a box left half-written waits in its bootloader).
    env.stop_requested = [this] { return closing_ && update_state_ != UpdateState::Flashing; };
    return env;
}
