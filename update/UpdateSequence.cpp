#include "UpdateSequence.h"

#include "Commands.h"

namespace update {

UpdateSequence::UpdateSequence(device::DeviceConnection& conn, FlashEnvironment env, FlashLimits limits)
    : conn_(conn), env_(std::move(env)), limits_(limits) {}

QString UpdateSequence::query_url(const QString& host, const QueryTexts& texts) {
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
    return decide_offer(*answer_, conn_.hid_attributes.version_number, conn_.bootloader());
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

FlashOutcome UpdateSequence::write() { return switch_to_bootloader(conn_, image_, env_, limits_); }

}  // namespace update
