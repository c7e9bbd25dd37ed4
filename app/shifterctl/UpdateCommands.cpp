// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Firmware: flash an image file, and check-update and update through the
// update service.
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "CliRunner.h"
#include "Readout.h"
#include "UpdateQuery.h"

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
    const auto not_regular = [&] {
        return fail(Kind::File, "\"" + path + "\" is not a regular file (a device, a pipe or a folder), so it is no "
                                "firmware image.");
    };
    // Looked at before it is opened: a device such as /dev/zero never ends,
    // and opening a FIFO waits for a writer that may never come.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return not_regular();
    if (info.size() > update::kMaxImageBytes) return too_large(info.size());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Kind::File, "The image file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    // The path may have been replaced in between, or the file may grow: the
    // opened file is asked again and never read past the limit.
    if (file.isSequential()) return not_regular();
    image = file.read(update::kMaxImageBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(Kind::File, "The image file \"" + path + "\" cannot be read: " + file.errorString() + ".");
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
    fe.pause = env_.pause;
    fe.progress = [this](update::Stage stage, std::int64_t done, std::int64_t total) {
        show_percent(static_cast<int>(update::progress_fraction(stage, done, total) * 100));
    };
    // Asked at every wait and between pages.
    fe.stop_requested = [this, &warned] { return stop_now(warned); };
    return fe;
}

int Cli::flash_failed(const update::FlashOutcome& outcome, const QString& again) {
    end_percent();
    const QString text =
        QString::fromStdString(update::failure_text(outcome.status, ("run " + again + " again").toStdString()));
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

    say(QString("Writing %1 pages into the box.").arg(image.size() / update::kPageSize));
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
    QObject::connect(&grab, &NetGrab::DownloadFailed, &loop, [&] {
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
    // The answer is a short line; a service that sends more is not answering.
    const Transfer answer = fetch(sequence.query_url(host_, texts),
                                  static_cast<int>(sequence.limits().answer_deadline.count()), {},
                                  update::kMaxAnswerBytes);
    if (answer.stopped) return answer.stopped;
    if (!answer.ok)
        return fail(Kind::Service, "The update service at " + host_ +
                                       " did not answer; try again later or download the firmware from it by hand.");
    const device::Result<update::Offer> taken = sequence.take_answer(answer.bytes);
    if (!taken)
        return fail(Kind::Service, "The update service at " + host_ + " gave an answer this tool cannot use (" +
                                       QString::fromStdString(taken.sentence()) + ").");
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

int Cli::check_update() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(false, false)) return status;
    ToolAttached attached(conn_, false);
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
    ToolAttached attached(conn_, false);
    bool warned = false;
    update::UpdateSequence sequence(session_, flash_environment(warned), update::UpdateLimits{}, &store_);
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
    if (const int status = confirm("Upgrade to version " + offered + " now?", "The firmware was not updated."))
        return status;
    const Transfer image = fetch(answer.url, static_cast<int>(sequence.limits().image_deadline(answer.size).count()),
                                 [&sequence](qint64 n) { sequence.download_progress(n); });
    if (image.stopped) return image.stopped;
    if (!image.ok)
        return fail(Kind::Service, "The firmware could not be downloaded from the update service at " + host_ +
                                       "; try again later.");
    if (const device::Status taken = sequence.take_image(image.bytes); !taken)
        return fail(Kind::Service, "The update service at " + host_ + " sent firmware this tool cannot use (" +
                                       QString::fromStdString(taken.sentence()) + ").");
    attached.detach();
    const update::FlashOutcome outcome = sequence.write();
    if (!outcome.status) return flash_failed(outcome, "shifterctl update");
    show_percent(100);
    end_percent();
    // Success only once the box that was checked is back, running the offered firmware.
    if (const device::Status back = sequence.wait_for_restart(); !back)
        return fail(Kind::Box, QString::fromStdString(update::failure_text(back, "run shifterctl update again")));
    ToolAttached back_attached(conn_, false);
    session_.read_info();
    if (const device::Status version = sequence.check_version(); !version)
        return fail(Kind::Box, QString::fromStdString(update::failure_text(version, "run shifterctl update again")));
    const QString now = version_text(conn_.hid_attributes.version_number);
    QString calibration = "kept";
    if (const std::optional<device::Thresholds> kept = sequence.restore_offer()) {
        // The new firmware started from other thresholds: the calibration
        // from before is shown, and put back on a yes.
        say("shifterctl: " + QString::fromStdString(sequence.restore_statement()));
        const QString line = "shifterctl set " + QString::fromStdString(calibration::thresholds_text(*kept));
        const QString question = "Put the calibration from before back into the box?";
        const std::optional<bool> yes =
            r_.has("--yes") ? std::optional<bool>(true) : env_.confirm ? env_.confirm(question) : std::nullopt;
        if (!yes || !*yes) {
            // The update itself went well; the calibration can follow later.
            say("shifterctl: The calibration from before was not put back; to put it back: " + line);
            sequence.offer_settled();
            calibration = "not restored";
        } else {
            calibration::WriteResult r = session_.write(session_.plan_put_back(*kept), {});
            session_.verify(r);
            sequence.offer_settled();
            if (!r.status) return written(r, kCliOk);
            calibration = "restored";
        }
    } else {
        sequence.offer_settled();
    }
    if (json_) {
        QJsonObject o{{"updated", true},
                      {"calibration", calibration},
                      {"thresholds", session_.box_thresholds() ? QJsonValue(thresholds_json(*session_.box_thresholds()))
                                                               : QJsonValue()}};
        insert_version(o, "offered_version", static_cast<std::uint16_t>(answer.offered_version));
        insert_version(o, "box_version", conn_.hid_attributes.version_number);
        emit_json(o);    } else {
        out_ << "The firmware was written; the box restarted with version " << now << "." << Qt::endl;
        if (calibration == "restored") out_ << "The calibration from before was put back." << Qt::endl;
    }
    return kCliOk;
}

}  // namespace ctl
