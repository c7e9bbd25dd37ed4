// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Firmware: flash an image file, and check-update and update through the
// update service.
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include "app/shifterctl/CliRunner.h"
#include "calibration/Readout.h"
#include "calibration/SafeFile.h"
#include "calibration/Words.h"
#include "update/UpdateQuery.h"

namespace ctl {

int Cli::read_image(const QString& path, QByteArray& image) {
    const auto too_large = [&](qint64 size) {
        return fail(Kind::File,
                    QString("The image file \"%1\" has %2 bytes, more than the %3 bytes (%4 MiB) a firmware image "
                            "may have.")
                        .arg(path)
                        .arg(size)
                        .arg(update::kMaxImageBytes)
                        .arg(update::kMaxImageBytes / (1024 * 1024)));
    };
    // A file that says it is too large is not read at all.
    if (const QFileInfo info(path); info.isFile() && info.size() > update::kMaxImageBytes) return too_large(info.size());
    // Never read past the limit: a device such as /dev/zero never ends, and
    // a FIFO may wait for a writer that never comes (both are refused).
    const device::Result<QByteArray> read = calibration::read_file_safely(path, update::kMaxImageBytes);
    if (!read) return fail(Kind::File, QString::fromStdString(read.sentence()));
    image = *read;
    if (image.size() > update::kMaxImageBytes) return too_large(image.size());
    if (image.isEmpty())
        return fail(Kind::File, "The image file \"" + path + "\" is empty, so there is nothing to write.");
    // Within the limit, the size fits the int the image checks count in.
    if (const device::Status problem = update::check_image(image.size(), image.size()); !problem)
        return fail(Kind::File, QString::fromStdString(problem.sentence()));
    return kCliOk;
}

// Stopping halfway leaves a box that only its bootloader runs, so the first
// request only warns; the second stops at the next wait or page.
bool Cli::stop_now(bool& warned) {
    const CliStops stops = env_.stops();
    if (stops.count >= 2) return true;
    if (stops.count == 1 && !warned) {
        warned = true;
        // On a line of its own, not after the percentage shown in place.
        say("shifterctl: The firmware is being written, and stopping now leaves the box in its update mode; "
            "press Ctrl+C again to stop anyway.");
    }
    return false;
}

update::FlashEnvironment Cli::flash_environment(bool& warned) {
    update::FlashEnvironment fe;
    fe.backend = &backend_;
    fe.vendor_id = env_.vendor_id;
    // The update's waits are measured by the time shifterctl waited.
    fe.pause = [this](int ms) {
        env_.pause(ms);
        waited_ += std::chrono::milliseconds(ms);
    };
    fe.clock = [this] { return waited_; };
    fe.progress = [this](update::Stage stage, std::int64_t done, std::int64_t total) {
        tell_stage();
        show_percent(static_cast<int>(update::progress_fraction(stage, done, total) * 100));
    };
    // Asked at every wait and between pages.
    fe.stop_requested = [this, &warned] { return stop_now(warned); };
    return fe;
}

void Cli::tell_stage() {
    if (!sequence_) return;
    const QString stage = QString::fromStdString(sequence_->stage_sentence());
    if (stage.isEmpty() || stage == told_stage_) return;
    told_stage_ = stage;
    say(stage);
}

int Cli::flash_failed(const update::FlashOutcome& outcome, const QString& again) {
    end_percent();
    const QString text =
        QString::fromStdString(calibration::failure_text(outcome.status, ("run " + again + " again").toStdString()));
    if (outcome.status == device::Fault::Stopped) {
        say("shifterctl: " + text);
        if (json_) emit_json({{"error", text}, {"kind", "stopped"}});
        return env_.stops().status;
    }
    // The box that was checked is no longer there.
    if (outcome.status == device::Fault::NoDevice) return fail(Kind::NoBox, text);
    return fail(Kind::Box, text);
}

int Cli::flash() {
    if (const int status = arguments(1, "one image FILE")) return status;
    QByteArray image;
    if (const int status = read_image(r_.arguments.front(), image)) return status;
    if (const int status = find_box(false, true)) return status;
    const int pages = static_cast<int>(image.size() / update::kPageSize);
    // As the update asks before it installs: the box is written whole or
    // left in its update mode.
    if (const int status = confirm(QString("Write the %1 pages of \"%2\" into the box now?")
                                       .arg(pages)
                                       .arg(r_.arguments.front()),
                                   "The firmware was not written."))
        return status;

    say(QString("Writing %1 pages into the box: do not unplug the box.").arg(pages));
    bool warned = false;
    // The box found now is the one written, however the bus changes meanwhile.
    device::PinnedBox pin = device::pin_box(backend_, conn_, env_.vendor_id);
    const update::FlashOutcome outcome =
        update::switch_to_bootloader(conn_, image, flash_environment(warned), pin, update::UpdateLimits{});
    if (!outcome.status) return flash_failed(outcome, "shifterctl flash FILE");
    show_percent(100);
    end_percent();
    if (json_)
        emit_json({{"written", true}, {"pages", outcome.pages}});
    else
        out_ << "The firmware was written; the box restarts with it." << Qt::endl;
    return kCliOk;
}

Cli::Transfer Cli::fetch(const QString& url, int deadline_ms, const std::function<void(qint64)>& progress,
                         qint64 max_bytes) {
    Transfer t;
    NetGrab grab;
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&grab, &NetGrab::DownloadComplete, &loop, [&] {
        t.ok = true;
        ended = true;
        loop.quit();
    });
    QObject::connect(&grab, &NetGrab::DownloadFailed, &loop, [&](int, const QString& why) {
        t.error = why;
        ended = true;
        loop.quit();
    });
    if (progress) QObject::connect(&grab, &NetGrab::DownloadProgress, &loop, [&](int n) { progress(n); });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (const CliStops stops = env_.stops(); stops.count > 0) {
            t.stopped = stops.status;
            loop.quit();
        }
    });
    watch.start(20);
    grab.set_transfer_deadline_ms(deadline_ms);
    grab.set_max_body_bytes(max_bytes);
    grab.DownloadStart(url, NetGrab::ModeFreshCopy);
    if (grab.Busy() && !ended) loop.exec();
    if (t.ok) t.bytes = grab.Bytes();
    return t;
}

int Cli::update_failed(const update::UpdateSequence& sequence) {
    end_percent();
    const QString text = QString::fromStdString(sequence.failure_text("run shifterctl update again"));
    const update::FailureKind kind = sequence.failure() ? sequence.failure()->kind : update::FailureKind::Box;
    return fail(kind == update::FailureKind::Box ? Kind::Box : Kind::Service, text);
}

int Cli::ask_service(update::UpdateSequence& sequence, update::Offer& offer) {
    // The query carries what the window shows: the serial number and the
    // thresholds as the box holds them.
    const calibration::DeviceInfo info = session_.read_info();
    update::QueryTexts texts;
    if (info.serial) texts.serial_caption = QString::fromLatin1(info.serial->c_str());
    if (info.thresholds) {
        texts.h1 = QString::number(info.thresholds->h1);
        texts.h2 = QString::number(info.thresholds->h2);
        texts.v1 = QString::number(info.thresholds->v1);
        texts.v2 = QString::number(info.thresholds->v2);
    }
    const QString url = sequence.start(host_, texts);
    tell_stage();
    // The answer is a short line; a service that sends more is not answering.
    const Transfer answer =
        fetch(url, static_cast<int>(sequence.limits().answer_deadline.count()), {}, update::kMaxAnswerBytes);
    if (answer.stopped) return answer.stopped;
    if (!answer.ok) {
        sequence.service_failed(answer.error);
        return update_failed(sequence);
    }
    const device::Result<update::Offer> taken = sequence.take_answer(answer.bytes);
    if (!taken) return update_failed(sequence);
    offer = *taken;
    return kCliOk;
}

static const char* offer_word(update::Offer offer) {
    switch (offer) {
    case update::Offer::Upgrade: return "newer";
    case update::Offer::AlreadyLatest: return "latest";
    case update::Offer::Older: return "older";
    }
    return "older";
}

static const char* calibration_word(update::CalibrationOutcome outcome) {
    switch (outcome) {
    case update::CalibrationOutcome::Kept: return "kept";
    case update::CalibrationOutcome::Restored: return "restored";
    case update::CalibrationOutcome::NotRestored: return "not restored";
    case update::CalibrationOutcome::Unchecked: return "unchecked";
    }
    return "unchecked";
}

int Cli::check_update() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(false, false)) return status;
    const auto lease = session_.lease(false);
    bool warned = false;
    update::UpdateSequence sequence(session_, flash_environment(warned));
    update::Offer offer{};
    if (const int status = ask_service(sequence, offer)) return status;
    const std::uint16_t box_number = conn_.hid_attributes.version_number;
    const auto offered_number = static_cast<std::uint16_t>(sequence.answer().offered_version);
    const QString box = version_text(box_number);
    const QString offered = version_text(offered_number);
    if (json_) {
        QJsonObject o{{"offer", offer_word(offer)},
                      {"mode", conn_.bootloader() ? "bootloader" : "application"},
                      {"size", sequence.answer().size}};
        insert_version(o, "box_version", box_number);
        insert_version(o, "offered_version", offered_number);
        emit_json(o);
        return kCliOk;
    }
    out_ << "Box firmware:     " << box << (conn_.bootloader() ? " (bootloader)" : "") << '\n';
    out_ << "Offered firmware: " << offered << '\n';
    switch (offer) {
    case update::Offer::Upgrade: out_ << "Newer firmware is offered; shifterctl update installs it.\n"; break;
    case update::Offer::AlreadyLatest: out_ << "Already running latest firmware version " << offered << ".\n"; break;
    case update::Offer::Older: out_ << "The box runs newer firmware than the one offered.\n"; break;
    }
    return kCliOk;
}

int Cli::update() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(false, true)) return status;
    // The box is told the tool let go when the command ends, and before the
    // hand-over it is sent nothing but the order to restart.
    const auto lease = session_.lease(false);
    bool warned = false;
    update::UpdateSequence sequence(session_, flash_environment(warned), update::UpdateLimits{}, &store_);
    sequence_ = &sequence;
    update::Offer offer{};
    if (const int status = ask_service(sequence, offer)) return status;
    const update::UpdateAnswer& answer = sequence.answer();
    const auto offered_number = static_cast<std::uint16_t>(answer.offered_version);
    const QString offered = version_text(offered_number);
    if (offer != update::Offer::Upgrade) {
        const QString why = offer == update::Offer::AlreadyLatest
                                ? "Already running latest firmware version " + offered + "."
                                : "The box runs newer firmware than the offered " + offered + ".";
        if (json_) {
            QJsonObject o{{"updated", false}, {"offer", offer_word(offer)}};
            insert_version(o, "offered_version", offered_number);
            emit_json(o);
        } else
            out_ << why << Qt::endl;
        return kCliOk;
    }
    const int agreed = confirm("Upgrade to version " + offered + " now?", "The firmware was not updated.");
    sequence.accept(agreed == kCliOk);
    if (agreed) return agreed;
    tell_stage();
    const Transfer image = fetch(answer.url, static_cast<int>(sequence.limits().image_deadline(answer.size).count()),
                                 [&sequence](qint64 n) { sequence.download_progress(n); });
    if (image.stopped) return image.stopped;
    if (!image.ok) sequence.download_failed(image.error);
    if (!image.ok || !sequence.take_image(image.bytes)) return update_failed(sequence);
    const update::FlashOutcome outcome = sequence.write();
    if (!outcome.status) return flash_failed(outcome, "shifterctl update");
    show_percent(100);
    end_percent();
    tell_stage();
    // Success only once the box that was checked is back, running the offered firmware.
    if (!sequence.wait_for_restart()) return update_failed(sequence);
    session_.read_info();
    sequence.box_back();
    if (sequence.phase() == update::Phase::Failed) return update_failed(sequence);
    if (const std::optional<device::Thresholds> kept = sequence.restore_offer()) {
        // The new firmware started from other thresholds: the calibration
        // from before is shown, and put back on a yes.
        say("shifterctl: " + QString::fromStdString(sequence.restore_statement()));
        const QString question = update::UpdateSequence::kRestoreQuestion;
        const std::optional<bool> yes =
            r_.has("--yes") ? std::optional<bool>(true) : env_.confirm ? env_.confirm(question) : std::nullopt;
        const std::optional<calibration::WriteResult> r = sequence.answer_restore(yes && *yes);
        if (r && !r->status) return written(*r, kCliOk);
        // The update itself went well; the calibration can follow later.
        if (!r)
            say("shifterctl: The calibration from before was not put back; to put it back: shifterctl set " +
                QString::fromStdString(calibration::thresholds_line(*kept)));
    }
    const update::CalibrationOutcome calibration = *sequence.calibration();
    if (json_) {
        QJsonObject o{{"updated", true},
                      {"calibration", calibration_word(calibration)},
                      {"thresholds", session_.box_thresholds() ? QJsonValue(thresholds_json(*session_.box_thresholds()))
                                                               : QJsonValue()}};
        insert_version(o, "offered_version", static_cast<std::uint16_t>(answer.offered_version));
        insert_version(o, "box_version", conn_.hid_attributes.version_number);
        emit_json(o);
    } else {
        out_ << "The firmware was written; the box restarted with version "
             << version_text(conn_.hid_attributes.version_number) << "." << Qt::endl;
        if (const std::string line = sequence.calibration_sentence(); !line.empty())
            out_ << QString::fromStdString(line) << Qt::endl;
    }
    return kCliOk;
}

}  // namespace ctl
