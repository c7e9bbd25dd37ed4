// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/UpdateSequence.h"

#include "device/Commands.h"
#include "device/Products.h"
#include "calibration/Words.h"

namespace update {

using device::Fault;
using device::Status;

UpdateSequence::UpdateSequence(calibration::BoxSession& session, FlashEnvironment env, UpdateLimits limits,
                               const calibration::BoxStore* store)
    : session_(session), conn_(session.conn()), env_(std::move(env)), limits_(limits), store_(store) {
    // Every search of the update replaces the connection: what the session
    // knew belongs to the box that was open before.
    std::function<void()> shown = std::move(env_.found);
    env_.found = [this, shown] {
        session_.found();
        if (shown) shown();
    };
    // The hand-over's stages are the update's phases.
    auto progress = std::move(env_.progress);
    env_.progress = [this, progress](Stage stage, std::int64_t done, std::int64_t total) {
        if (stage == Stage::Flash) phase_ = Phase::Writing;
        if (stage == Stage::Settle || stage == Stage::SecondSettle) phase_ = Phase::HandingOver;
        if (progress) progress(stage, done, total);
    };
}

bool UpdateSequence::may_start() const {
    return phase_ == Phase::Idle || phase_ == Phase::Asking || phase_ == Phase::Done || phase_ == Phase::Failed;
}

std::string UpdateSequence::stage_sentence() const { return update::stage_sentence(phase_, host_, answer_); }

void UpdateSequence::fail(FailureKind kind, Status status) {
    failure_ = Failure{kind, std::move(status)};
    phase_ = Phase::Failed;
}

QString UpdateSequence::start(const QString& host, const QueryTexts& texts) {
    host_ = host;
    failure_.reset();
    calibration_.reset();
    answer_.reset();
    restarting_ = replaced_ = told_ = false;
    phase_ = Phase::Asking;
    pin_ = device::pin_box(*env_.backend, conn_, env_.vendor_id);
    QueryFields f;
    f.attributes = conn_.hid_attributes;
    if (!conn_.bootloader()) {
        if (const device::Result<device::MemoryDump> dump = device::read_memory(conn_)) f.memory_dump = dump_hex(*dump);
    }
    f.serial_caption = texts.serial_caption;
    f.h1_text = texts.h1;
    f.h2_text = texts.h2;
    f.v1_text = texts.v1;
    f.v2_text = texts.v2;
    return build_update_url(host, f);
}

void UpdateSequence::service_failed(const QString& why) {
    fail(FailureKind::Service,
         {Fault::Failed, "The update service at " + host_.toStdString() + " could not be reached (" +
                             why.toStdString() + ")."});
}

device::Result<Offer> UpdateSequence::take_answer(const QByteArray& body) {
    QString reason;
    answer_ = parse_update_answer(body, &reason);
    if (!answer_) {
        Status bad{Fault::BadAnswer, "The update service at " + host_.toStdString() +
                                         " gave an answer this tool cannot use (" + reason.toStdString() + ")."};
        fail(FailureKind::Service, bad);
        return bad;
    }
    const Offer offer = decide_offer(*answer_, pin_.version, device::is_bootloader(pin_.product_id));
    phase_ = offer == Offer::Upgrade ? Phase::Offered : Phase::Done;
    return offer;
}

void UpdateSequence::accept(bool yes) { phase_ = yes ? Phase::Downloading : Phase::Idle; }

void UpdateSequence::download_progress(qint64 bytes) const {
    if (env_.progress && answer_ && answer_->size > 0) env_.progress(Stage::Download, bytes, answer_->size);
}

void UpdateSequence::stop_download() { phase_ = Phase::Idle; }

void UpdateSequence::download_failed(const QString& why) {
    fail(FailureKind::Service, {Fault::Failed, "The firmware could not be downloaded from " + host_.toStdString() +
                                                   " (" + why.toStdString() + ")."});
}

Status UpdateSequence::take_image(const QByteArray& bytes) {
    if (!answer_) return {Fault::BadAnswer, "No update answer was taken."};
    if (Status s = check_image(bytes.size(), answer_->size); !s) {
        fail(FailureKind::Download, s);
        return s;
    }
    image_ = bytes;
    phase_ = Phase::HandingOver;
    return {};
}

void UpdateSequence::keep_calibration() {
    kept_.reset();
    if (conn_.application() && session_.box_thresholds())
        kept_ = calibration::make_backup(static_cast<std::uint16_t>(conn_.product_id),
                                         conn_.hid_attributes.version_number, session_.serial(),
                                         *session_.box_thresholds());
    else if (store_)
        kept_ = store_->last_read(QString::fromStdU16String(pin_.serial));
    // The new firmware may start from other thresholds; what the store keeps
    // of this box must not be replaced by them before the user was asked.
    if (kept_) session_.hold_store(true);
}

FlashOutcome UpdateSequence::write() {
    keep_calibration();
    phase_ = Phase::HandingOver;
    FlashOutcome outcome = switch_to_bootloader(conn_, image_, env_, pin_, limits_);
    if (!outcome.status) {
        fail(FailureKind::Box, outcome.status);
        session_.hold_store(false);
        return outcome;
    }
    written_at_ = now(env_);
    restarting_ = true;
    phase_ = Phase::Restarting;
    return outcome;
}

bool UpdateSequence::look_for_restart() {
    if (phase_ != Phase::Restarting) return false;
    device::PinnedSearch search = device::find_pinned_application(*env_.backend, conn_, env_.vendor_id, pin_);
    // The bootloader stays a moment after the last page before it starts the
    // new firmware.
    if (search == device::PinnedSearch::NotYet)
        search = device::find_pinned_bootloader(*env_.backend, conn_, env_.vendor_id, pin_);
    if (env_.found) env_.found();
    if (search == device::PinnedSearch::Found && conn_.application()) return true;
    if (search == device::PinnedSearch::Ambiguous)
        fail(FailureKind::Box, restart_ambiguous());
    else
        check_restart_time();
    return false;
}

void UpdateSequence::check_restart_time() {
    if (phase_ == Phase::Restarting && now(env_) - written_at_ >= limits_.restart_wait)
        fail(FailureKind::Box, restart_missing(limits_));
}

bool UpdateSequence::wait_for_restart() {
    while (phase_ == Phase::Restarting) {
        if (look_for_restart()) return true;
        if (phase_ != Phase::Restarting) break;
        if (env_.progress) env_.progress(Stage::Restart, (now(env_) - written_at_).count(), limits_.restart_wait.count());
        env_.pause(static_cast<int>(limits_.poll.count()));
        if (env_.stop_requested && env_.stop_requested()) fail(FailureKind::Box, restart_missing(limits_));
    }
    return false;
}

void UpdateSequence::finish(CalibrationOutcome outcome) {
    calibration_ = outcome;
    phase_ = Phase::Done;
    kept_.reset();
    session_.hold_store(false);
}

void UpdateSequence::box_back() {
    if (phase_ != Phase::Restarting || !conn_.application()) return;
    const int now_running = static_cast<std::int16_t>(conn_.hid_attributes.version_number);
    if (answer_ && now_running != answer_->offered_version) {
        session_.hold_store(false);
        return fail(FailureKind::Box,
                    {Fault::Missing, "The box came back with firmware " +
                                         calibration::version_text(conn_.hid_attributes.version_number).toStdString() +
                                         ", not with the offered " +
                                         version_display(answer_->version_text).toStdString() + "."});
    }
    if (replaced_) return finish(CalibrationOutcome::Kept);
    // The box did not answer with its thresholds: nothing tells whether it
    // kept its calibration.
    if (!session_.box_thresholds()) return finish(CalibrationOutcome::Unchecked);
    if (!kept_ || kept_->thresholds == *session_.box_thresholds()) return finish(CalibrationOutcome::Kept);
    phase_ = Phase::OfferingCalibration;
}

std::optional<device::Thresholds> UpdateSequence::restore_offer() const {
    if (phase_ != Phase::OfferingCalibration || !kept_) return std::nullopt;
    return kept_->thresholds;
}

std::string UpdateSequence::restore_statement() const {
    if (!kept_ || !session_.box_thresholds()) return {};
    return update::restore_statement(*session_.box_thresholds(), kept_->thresholds);
}

std::optional<calibration::WriteResult> UpdateSequence::answer_restore(bool put_back) {
    const std::optional<device::Thresholds> offer = restore_offer();
    if (!offer) return std::nullopt;
    if (!put_back) {
        finish(CalibrationOutcome::NotRestored);
        return std::nullopt;
    }
    calibration::WriteResult r = session_.write(session_.plan_put_back(*offer), {});
    finish(r.status ? CalibrationOutcome::Restored : CalibrationOutcome::NotRestored);
    return r;
}

void UpdateSequence::calibration_replaced() {
    replaced_ = true;
    if (phase_ == Phase::OfferingCalibration) return finish(CalibrationOutcome::Kept);
    kept_.reset();
    session_.hold_store(false);
}

std::string UpdateSequence::failure_text(const std::string& again) const {
    return failure_ ? update::failure_text(*failure_, host_, again) : std::string();
}

QString UpdateSequence::manual_advice() const { return update::manual_advice(host_); }

std::string UpdateSequence::done_sentence() const {
    if (phase_ != Phase::Done || !calibration_) return {};
    return update::done_sentence(conn_.hid_attributes.version_number, *calibration_);
}

std::string UpdateSequence::calibration_sentence() const {
    return calibration_ ? update::calibration_sentence(*calibration_) : std::string();
}

bool UpdateSequence::end_to_tell() {
    if (!restarting_ || told_ || (phase_ != Phase::Done && phase_ != Phase::Failed)) return false;
    told_ = true;
    return true;
}

}  // namespace update
