// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One firmware update of the open box, from the question to the service to
// the calibration offered back, as both front ends run it. It holds the
// update's phase and decides every step: the query (which pins the box), the
// service's answer, the check of the downloaded image, the calibration kept
// before the hand-over, the hand-over and the writing, the wait for the box's
// return on one clock, and what the user is told at each phase and failure.
// A front end only does the transfers (with NetGrab), starts the steps, asks
// the questions and shows the phase.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

#include "calibration/BoxSession.h"
#include "calibration/BoxStore.h"
#include "device/Connection.h"
#include "update/Flasher.h"
#include "device/PinnedSearch.h"
#include "device/Result.h"
#include "update/UpdateQuery.h"
#include "update/UpdateWords.h"

namespace update {

// What the user typed or sees, as the query sends it.
struct QueryTexts {
    QString serial_caption;
    QString h1, h2, v1, v2;
};

class UpdateSequence {
public:
    // store may be null: a box found in its bootloader is then offered no
    // calibration kept from before.
    UpdateSequence(calibration::BoxSession& session, FlashEnvironment env, UpdateLimits limits = {},
                   const calibration::BoxStore* store = nullptr);

    Phase phase() const { return phase_; }
    const UpdateLimits& limits() const { return limits_; }
    // A new update may be started: none runs past the service's question.
    bool may_start() const;
    // From the hand-over to the last page the update owns the connection.
    bool owns_box() const { return phase_ == Phase::HandingOver || phase_ == Phase::Writing; }
    // What the phase tells the user while it runs ("Writing the firmware: do
    // not unplug the box."); empty where there is nothing to say.
    std::string stage_sentence() const;

    // Asking: the query for the box open now, which from here on is the one
    // box this update may write. Its memory dump is read from the box; a dump
    // the box did not give is left out rather than filled with whatever the
    // buffer held. The bootloader is sent no command.
    QString start(const QString& host, const QueryTexts& texts);
    const device::PinnedBox& pinned() const { return pin_; }
    // The service could not be reached (why, as the transfer says it): Failed.
    void service_failed(const QString& why);
    // The service's answer, against the box's version: Offered for newer
    // firmware, Done for the latest or an older one, Failed (BadAnswer) for an
    // answer that cannot be used.
    device::Result<Offer> take_answer(const QByteArray& body);
    const UpdateAnswer& answer() const { return *answer_; }
    // The user's answer to the offer: Downloading, or Idle.
    void accept(bool yes);
    // The bytes of the image received so far, for the progress.
    void download_progress(qint64 bytes) const;
    // The user stopped the download: Idle, nothing was sent.
    void stop_download();
    void download_failed(const QString& why);
    // The downloaded image: exactly the announced size and whole pages
    // (HandingOver), or Failed and nothing touches the box.
    device::Status take_image(const QByteArray& bytes);

    // The hand-over and the writing of the image taken, into the pinned box
    // only: Restarting, or Failed. Before anything is sent, the calibration to
    // offer back afterwards is kept: as last read from the box, or, for a box
    // in its bootloader after an update that broke off, as the store kept it
    // for its serial.
    FlashOutcome write();

    // Restarting: one search for the pinned box, back in its application or
    // still in its bootloader; Failed when the boxes cannot be told apart or
    // the time for its return has run out. True when it is back, open, in its
    // application: the front end reads it (BoxSession::read_info) and calls
    // box_back().
    bool look_for_restart();
    // Restarting (the pinned box still open in its bootloader, or not seen):
    // Failed once the time for its return has run out.
    void check_restart_time();
    // The whole wait for a front end without ticks: true when back.
    bool wait_for_restart();
    // The box back and read: Failed when it does not run the offered
    // version; else OfferingCalibration when it holds other thresholds than
    // before, or Done.
    void box_back();

    // OfferingCalibration: the thresholds from before, the sentence that
    // shows both, and the user's answer (a yes writes them, and the write's
    // result is returned); Done afterwards.
    std::optional<device::Thresholds> restore_offer() const;
    std::string restore_statement() const;
    static constexpr const char* kRestoreQuestion = "Put the calibration from before back into the box?";
    std::optional<calibration::WriteResult> answer_restore(bool put_back);
    // The user saved a calibration of their own meanwhile: nothing is offered.
    void calibration_replaced();
    // The calibration kept from before the hand-over, while it may be offered.
    const std::optional<calibration::Backup>& kept() const { return kept_; }

    const std::optional<Failure>& failure() const { return failure_; }
    // The failure told whole: what went wrong and what to do ("Try
    // downloading firmware from HOST manually." for the service and the
    // download; the way back for the box, with `again`).
    std::string failure_text(const std::string& again) const;
    // The window's own advice for a failed fetch or image.
    QString manual_advice() const;
    std::optional<CalibrationOutcome> calibration() const { return calibration_; }
    // Done after a write: the sentence that says so ("Firmware updated: the
    // box now runs version 1.07.").
    std::string done_sentence() const;
    // What became of the calibration, when there is something to say ("The
    // calibration from before was put back.").
    std::string calibration_sentence() const;
    // The end of a write, to be told once: true the first time it is asked
    // after the update ended (Done or Failed after the hand-over).
    bool end_to_tell();

private:
    void keep_calibration();
    void fail(FailureKind kind, device::Status status);
    void finish(CalibrationOutcome outcome);

    calibration::BoxSession& session_;
    device::DeviceConnection& conn_;
    FlashEnvironment env_;
    UpdateLimits limits_;
    const calibration::BoxStore* store_;
    Phase phase_ = Phase::Idle;
    device::PinnedBox pin_;
    std::optional<UpdateAnswer> answer_;
    QByteArray image_;
    std::optional<calibration::Backup> kept_;
    std::optional<Failure> failure_;
    std::optional<CalibrationOutcome> calibration_;
    std::chrono::milliseconds written_at_{};
    QString host_;
    bool restarting_ = false;  // the box was written and awaited
    bool replaced_ = false;    // the user saved a calibration of their own meanwhile
    bool told_ = false;
};

}  // namespace update
