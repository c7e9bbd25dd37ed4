// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One firmware update of the open box, as both front ends run it: the query
// (which pins the box), the service's answer, the check of the downloaded
// image, the calibration kept before the hand-over, the hand-over to the
// bootloader, the flashing, the box's return with the offered version, and
// the calibration offered back. The front end does the transfers (with
// NetGrab) and the talking to the user; every decision is made here.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

#include "BoxSession.h"
#include "BoxStore.h"
#include "Connection.h"
#include "Flasher.h"
#include "Result.h"
#include "UpdateQuery.h"

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

    const UpdateLimits& limits() const { return limits_; }

    // The query for the box open now, which from here on is the one box this
    // update may write. Its memory dump is read from the box; a dump the box
    // did not give is left out rather than filled with whatever the buffer
    // held. The bootloader is sent no command.
    QString query_url(const QString& host, const QueryTexts& texts);
    const device::PinnedBox& pinned() const { return pin_; }

    // The service's answer, against the box's version: BadAnswer (with the
    // reason) when it cannot be used.
    device::Result<Offer> take_answer(const QByteArray& body);
    // The accepted answer (valid after take_answer succeeded).
    const UpdateAnswer& answer() const { return *answer_; }
    // The bytes of the answer's image received so far, for the progress.
    void download_progress(qint64 bytes) const;

    // The downloaded image: exactly the announced size and whole pages, or
    // BadAnswer and nothing touches the box.
    device::Status take_image(const QByteArray& bytes);

    // The hand-over and the flashing of the image taken, into the pinned box
    // only. Before anything is sent, the calibration to offer back afterwards
    // is kept: as last read from the box, or, for a box in its bootloader
    // after an update that broke off, as the store kept it for its serial.
    FlashOutcome write();

    // After a good write: one search for the pinned box, back in its
    // application or still in its bootloader (the window searches so on its
    // ticks). Found: it is open; once it runs its application, the session
    // must read it before check_version() and restore_offer().
    device::PinnedSearch look_for_restart();
    // What the searches so far tell: nothing yet (success), Ambiguous, or
    // Missing once the time for the box's return has run out.
    device::Status restart_status(device::PinnedSearch last) const;
    // The whole wait in one call, for a front end without ticks.
    device::Status wait_for_restart();
    // The box back: it must run the offered version (Missing otherwise).
    device::Status check_version() const;

    // The calibration kept from before, when the box, read since its return,
    // holds other thresholds; then the question that offers it back.
    const std::optional<calibration::Backup>& kept() const { return kept_; }
    std::optional<device::Thresholds> restore_offer() const;
    std::string restore_statement() const;
    // The offer was answered (or there was none to make): the store follows
    // the box again.
    void offer_settled();

private:
    void keep_calibration();

    calibration::BoxSession& session_;
    device::DeviceConnection& conn_;
    FlashEnvironment env_;
    UpdateLimits limits_;
    const calibration::BoxStore* store_;
    device::PinnedBox pin_;
    std::optional<UpdateAnswer> answer_;
    QByteArray image_;
    std::optional<calibration::Backup> kept_;
    std::chrono::steady_clock::time_point written_at_{};
};

}  // namespace update
