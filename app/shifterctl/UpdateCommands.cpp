// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Firmware from the update service: check-update and update.
#include <QEventLoop>
#include <QTimer>

#include "app/shifterctl/Commands.h"
#include "app/shifterctl/Firmware.h"
#include "app/shifterctl/Output.h"
#include "calibration/Readout.h"
#include "calibration/Words.h"
#include "net/NetGrab.h"
#include "update/UpdateQuery.h"

namespace ctl::firmware {

namespace {

// One transfer with a local event loop; Ctrl+C ends it.
struct Transfer {
    bool ok = false;
    QByteArray bytes;
    int stopped = 0;
    QString error;  // why it failed, as the transfer says it
};

Transfer fetch(Context& c, const QString& url, int deadline_ms, const std::function<void(qint64)>& progress,
               qint64 max_bytes = update::kMaxImageBytes) {
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
        if (const CliStops stops = c.env.stops(); stops.count > 0) {
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

// The update's failure, told whole.
int update_failed(Context& c, const update::UpdateSequence& sequence) {
    end_percent(c);
    const QString text = QString::fromStdString(sequence.failure_text("run shifterctl update again"));
    const update::FailureKind kind = sequence.failure() ? sequence.failure()->kind : update::FailureKind::Box;
    return fail(c, kind == update::FailureKind::Box ? Kind::Box : Kind::Service, text);
}

// The query and the service's answer: kCliOk with offer set.
int ask_service(Job& j, update::UpdateSequence& sequence, update::Offer& offer) {
    Context& c = j.c;
    // The query carries what the window shows: the serial number and the
    // thresholds as the box holds them.
    const calibration::DeviceInfo info = c.session.read_info();
    update::QueryTexts texts;
    if (info.serial) texts.serial_caption = QString::fromLatin1(info.serial->c_str());
    if (info.thresholds) {
        texts.h1 = QString::number(info.thresholds->h1);
        texts.h2 = QString::number(info.thresholds->h2);
        texts.v1 = QString::number(info.thresholds->v1);
        texts.v2 = QString::number(info.thresholds->v2);
    }
    const QString url = sequence.start(c.update_host, texts);
    tell_stage(j);
    // The answer is a short line; a service that sends more is not answering.
    const Transfer answer =
        fetch(c, url, static_cast<int>(sequence.limits().answer_deadline.count()), {}, update::kMaxAnswerBytes);
    if (answer.stopped) return answer.stopped;
    if (!answer.ok) {
        sequence.service_failed(answer.error);
        return update_failed(c, sequence);
    }
    const device::Result<update::Offer> taken = sequence.take_answer(answer.bytes);
    if (!taken) return update_failed(c, sequence);
    offer = *taken;
    return kCliOk;
}

const char* offer_word(update::Offer offer) {
    switch (offer) {
    case update::Offer::Upgrade: return "newer";
    case update::Offer::AlreadyLatest: return "latest";
    case update::Offer::Older: return "older";
    }
    return "older";
}

const char* calibration_word(update::CalibrationOutcome outcome) {
    switch (outcome) {
    case update::CalibrationOutcome::Kept: return "kept";
    case update::CalibrationOutcome::Restored: return "restored";
    case update::CalibrationOutcome::NotRestored: return "not restored";
    case update::CalibrationOutcome::Unchecked: return "unchecked";
    }
    return "unchecked";
}

}  // namespace

int check_update(Context& c) {
    if (const int status = arguments(c, 0, "")) return status;
    if (const int status = find_box(c, false, false)) return status;
    const auto lease = c.session.lease(false);
    Job j{c};
    update::UpdateSequence sequence(c.session, flash_environment(j));
    update::Offer offer{};
    if (const int status = ask_service(j, sequence, offer)) return status;
    const std::uint16_t box_number = c.conn.hid_attributes.version_number;
    const auto offered_number = static_cast<std::uint16_t>(sequence.answer().offered_version);
    const QString box = version_text(box_number);
    const QString offered = version_text(offered_number);
    if (c.json) {
        QJsonObject o{{"offer", offer_word(offer)},
                      {"mode", c.conn.bootloader() ? "bootloader" : "application"},
                      {"size", sequence.answer().size}};
        insert_version(o, "box_version", box_number);
        insert_version(o, "offered_version", offered_number);
        emit_json(c, o);
        return kCliOk;
    }
    c.out << "Box firmware:     " << box << (c.conn.bootloader() ? " (bootloader)" : "") << '\n';
    c.out << "Offered firmware: " << offered << '\n';
    switch (offer) {
    case update::Offer::Upgrade: c.out << "Newer firmware is offered; shifterctl update installs it.\n"; break;
    case update::Offer::AlreadyLatest: c.out << "Already running latest firmware version " << offered << ".\n"; break;
    case update::Offer::Older: c.out << "The box runs newer firmware than the one offered.\n"; break;
    }
    return kCliOk;
}

int update(Context& c) {
    if (const int status = arguments(c, 0, "")) return status;
    if (const int status = find_box(c, false, true)) return status;
    // The box is told the tool let go when the command ends, and before the
    // hand-over it is sent nothing but the order to restart.
    const auto lease = c.session.lease(false);
    Job j{c};
    update::UpdateSequence sequence(c.session, flash_environment(j), update::UpdateLimits{}, &c.store);
    j.sequence = &sequence;
    update::Offer offer{};
    if (const int status = ask_service(j, sequence, offer)) return status;
    const update::UpdateAnswer& answer = sequence.answer();
    const auto offered_number = static_cast<std::uint16_t>(answer.offered_version);
    const QString offered = version_text(offered_number);
    if (offer != update::Offer::Upgrade) {
        const QString why = offer == update::Offer::AlreadyLatest
                                ? "Already running latest firmware version " + offered + "."
                                : "The box runs newer firmware than the offered " + offered + ".";
        if (c.json) {
            QJsonObject o{{"updated", false}, {"offer", offer_word(offer)}};
            insert_version(o, "offered_version", offered_number);
            emit_json(c, o);
        } else
            c.out << why << Qt::endl;
        return kCliOk;
    }
    const int agreed = confirm(c, "Upgrade to version " + offered + " now?", "The firmware was not updated.");
    sequence.accept(agreed == kCliOk);
    if (agreed) return agreed;
    tell_stage(j);
    const Transfer image = fetch(c, answer.url, static_cast<int>(sequence.limits().image_deadline(answer.size).count()),
                                 [&sequence](qint64 n) { sequence.download_progress(n); });
    if (image.stopped) return image.stopped;
    if (!image.ok) sequence.download_failed(image.error);
    if (!image.ok || !sequence.take_image(image.bytes)) return update_failed(c, sequence);
    const update::FlashOutcome outcome = sequence.write();
    if (!outcome.status) return flash_failed(j, outcome, "shifterctl update");
    show_percent(c, 100);
    end_percent(c);
    tell_stage(j);
    // Success only once the box that was checked is back, running the offered firmware.
    if (!sequence.wait_for_restart()) return update_failed(c, sequence);
    c.session.read_info();
    sequence.box_back();
    if (sequence.phase() == update::Phase::Failed) return update_failed(c, sequence);
    if (const std::optional<device::Thresholds> kept = sequence.restore_offer()) {
        // The new firmware started from other thresholds: the calibration
        // from before is shown, and put back on a yes.
        say(c, "shifterctl: " + QString::fromStdString(sequence.restore_statement()));
        const QString question = update::UpdateSequence::kRestoreQuestion;
        const std::optional<bool> yes =
            c.request.has("--yes") ? std::optional<bool>(true) : c.env.confirm ? c.env.confirm(question) : std::nullopt;
        const std::optional<calibration::WriteResult> r = sequence.answer_restore(yes && *yes);
        if (r && !r->status) return written(c, *r, kCliOk);
        // The update itself went well; the calibration can follow later.
        if (!r)
            say(c, "shifterctl: The calibration from before was not put back; to put it back: shifterctl set " +
                QString::fromStdString(calibration::thresholds_line(*kept)));
    }
    const update::CalibrationOutcome calibration = *sequence.calibration();
    if (c.json) {
        QJsonObject o{{"updated", true},
                      {"calibration", calibration_word(calibration)},
                      {"thresholds", c.session.box_thresholds() ? QJsonValue(thresholds_json(*c.session.box_thresholds()))
                                                               : QJsonValue()}};
        insert_version(o, "offered_version", static_cast<std::uint16_t>(answer.offered_version));
        insert_version(o, "box_version", c.conn.hid_attributes.version_number);
        emit_json(c, o);
    } else {
        c.out << "The firmware was written; the box restarted with version "
              << version_text(c.conn.hid_attributes.version_number) << "." << Qt::endl;
        if (const std::string line = sequence.calibration_sentence(); !line.empty())
            c.out << QString::fromStdString(line) << Qt::endl;
    }
    return kCliOk;
}

}  // namespace ctl::firmware
