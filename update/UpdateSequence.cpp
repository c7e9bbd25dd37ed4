// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "UpdateSequence.h"

#include "Commands.h"
#include "Products.h"

namespace update {

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
}

QString UpdateSequence::query_url(const QString& host, const QueryTexts& texts) {
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

device::Result<Offer> UpdateSequence::take_answer(const QByteArray& body) {
    QString reason;
    answer_ = parse_update_answer(body, &reason);
    if (!answer_) return device::Status{device::Fault::BadAnswer, reason.toStdString()};
    return decide_offer(*answer_, pin_.version, device::is_bootloader(pin_.product_id));
}

void UpdateSequence::download_progress(qint64 bytes) const {
    if (env_.progress && answer_ && answer_->size > 0) env_.progress(Stage::Download, bytes, answer_->size);
}

device::Status UpdateSequence::take_image(const QByteArray& bytes) {
    if (!answer_) return {device::Fault::BadAnswer, "No update answer was taken."};
    if (device::Status s = check_image(bytes.size(), answer_->size); !s) return s;
    image_ = bytes;
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
    FlashOutcome outcome = switch_to_bootloader(conn_, image_, env_, pin_, limits_);
    written_at_ = std::chrono::steady_clock::now();
    return outcome;
}

device::PinnedSearch UpdateSequence::look_for_restart() {
    device::PinnedSearch search = device::find_pinned_application(*env_.backend, conn_, env_.vendor_id, pin_);
    // The bootloader stays a moment after the last page before it starts the
    // new firmware.
    if (search == device::PinnedSearch::NotYet)
        search = device::find_pinned_bootloader(*env_.backend, conn_, env_.vendor_id, pin_);
    if (env_.found) env_.found();
    return search;
}

device::Status UpdateSequence::restart_status(device::PinnedSearch last) const {
    if (last == device::PinnedSearch::Ambiguous) return restart_ambiguous();
    if (last == device::PinnedSearch::Found) return {};
    if (std::chrono::steady_clock::now() - written_at_ < limits_.restart_wait) return {};
    return restart_missing(limits_);
}

device::Status UpdateSequence::wait_for_restart() {
    return update::wait_for_restart(conn_, env_, pin_, limits_);
}

device::Status UpdateSequence::check_version() const {
    if (!answer_ || !conn_.application()) return {};
    const int now = static_cast<std::int16_t>(conn_.hid_attributes.version_number);
    if (now == answer_->offered_version) return {};
    return {device::Fault::Missing, "The box came back with firmware " +
                                        version_display(hex16(conn_.hid_attributes.version_number)).toStdString() +
                                        ", not with the offered " + version_display(answer_->version_text).toStdString() +
                                        "."};
}

std::optional<device::Thresholds> UpdateSequence::restore_offer() const {
    if (!kept_ || !conn_.application() || !session_.box_thresholds()) return std::nullopt;
    // A calibration kept of another box is never offered.
    if (kept_->serial != session_.serial()) return std::nullopt;
    if (kept_->thresholds == *session_.box_thresholds()) return std::nullopt;
    return kept_->thresholds;
}

std::string UpdateSequence::restore_statement() const {
    if (!kept_ || !session_.box_thresholds()) return {};
    return "The box holds other thresholds than before the firmware update (a new firmware may start from its "
           "factory values). Now: " +
           calibration::thresholds_text(*session_.box_thresholds()) +
           ". Before: " + calibration::thresholds_text(kept_->thresholds) + ".";
}

void UpdateSequence::offer_settled() {
    kept_.reset();
    session_.hold_store(false);
}

}  // namespace update
