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
                        .arg(kMaxImageBytes)
                        .arg(kMaxImageBytes / (1024 * 1024)));
    };
    const auto not_regular = [&] {
        return fail(Kind::File, "\"" + path + "\" is not a regular file (a device, a pipe or a folder), so it is no "
                                "firmware image.");
    };
    // Looked at before it is opened: a device such as /dev/zero never ends,
    // and opening a FIFO waits for a writer that may never come.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return not_regular();
    if (info.size() > kMaxImageBytes) return too_large(info.size());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Kind::File, "The image file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    // The path may have been replaced in between, or the file may grow: the
    // opened file is asked again and never read past the limit.
    if (file.isSequential()) return not_regular();
    image = file.read(kMaxImageBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(Kind::File, "The image file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    if (image.size() > kMaxImageBytes) return too_large(image.size());
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

update::FlashEnvironment Cli::flash_environment(bool& warned, bool with_download) {
    update::FlashEnvironment fe;
    fe.backend = &backend_;
    fe.vendor_id = env_.vendor_id;
    fe.pause = env_.pause;
    // Closed handles fail the next page, which ends the writing there.
    fe.pump = [this, &warned] {
        if (stop_now(warned)) conn_.close_handles();
    };
    fe.progress = [this, with_download](update::Stage stage, std::int64_t done, std::int64_t total) {
        show_percent(update_percent(stage, done, total, with_download));
    };
    fe.stop_requested = [this, &warned] { return stop_now(warned); };
    return fe;
}

int Cli::flash_failed(const update::FlashOutcome& outcome, const QString& again) {
    end_percent();
    if (env_.stops().count >= 2) {
        const QString how = "; the box may be waiting in its update mode, so run " + again +
                            " again to write the whole firmware.";
        const QString what =
            outcome.status == device::Fault::Failed
                ? QString("The write was stopped after %1 of %2 pages").arg(outcome.page).arg(outcome.pages)
                : QString("The write was stopped before any page was sent");
        say("shifterctl: " + what + how);
        if (json_) emit_json({{"error", what + how}, {"kind", "stopped"}});
        return env_.stops().status;
    }
    const QString sentence = QString::fromStdString(outcome.status.sentence());
    switch (outcome.status.fault()) {
    case device::Fault::NoDevice: return not_found();
    case device::Fault::Missing: return fail(Kind::Box, sentence + " Unplug the box, plug it in again and retry.");
    case device::Fault::Failed:
    case device::Fault::Stopped: return fail(Kind::Box, sentence + " Run " + again + " again.");
    case device::Fault::Ambiguous:
        return fail(Kind::Box, sentence + " Unplug the other boxes and run " + again + " again.");
    default: return fail(Kind::Box, sentence);
    }
}

int Cli::flash() {
    if (const int status = arguments(1, "one image FILE")) return status;
    QByteArray image;
    if (const int status = read_image(r_.arguments.front(), image)) return status;
    if (const int status = find_box(false, true)) return status;

    say(QString("Writing %1 pages into the box.").arg(image.size() / update::kPageSize));
    bool warned = false;
    const update::FlashOutcome outcome = update::switch_to_bootloader(conn_, image, flash_environment(warned, false));
    if (!outcome.status) return flash_failed(outcome, "shifterctl flash FILE");
    show_percent(100);
    end_percent();
    if (json_)
        emit_json({{"written", true}, {"pages", outcome.pages}});
    else
        out_ << "The firmware was written; the box restarts with it." << Qt::endl;
    return kCliOk;
}

Cli::Transfer Cli::fetch(const QString& url, int deadline_ms, const std::function<void(qint64)>& progress) {
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
    grab.DownloadStart(url, NetGrab::ModeFreshCopy);
    if (grab.Busy() && !ended) loop.exec();
    if (t.ok) t.bytes = grab.Bytes();
    return t;
}

int Cli::ask_service(update::UpdateSequence& sequence, update::Offer& offer) {
    // The query carries what the window shows: the serial number and the
    // thresholds as the box holds them.
    const calibration::DeviceInfo info = calibration::read_device_info(conn_);
    update::QueryTexts texts;
    if (info.serial) texts.serial_caption = QString::fromLatin1(info.serial->c_str());
    if (info.thresholds) {
        texts.h1 = QString::number(info.thresholds->h1);
        texts.h2 = QString::number(info.thresholds->h2);
        texts.v1 = QString::number(info.thresholds->v1);
        texts.v2 = QString::number(info.thresholds->v2);
    }
    const Transfer answer = fetch(sequence.query_url(host_, texts), kAnswerDeadlineMs, {});
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
    update::UpdateSequence sequence(conn_, flash_environment(warned, true));
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
    update::UpdateSequence sequence(conn_, flash_environment(warned, true));
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
    // The serial number finds the box again once it has restarted (its path
    // may change on the way).
    const std::u16string serial = conn_.read_handle && conn_.read_handle->serial_number_string()
                                      ? *conn_.read_handle->serial_number_string()
                                      : std::u16string();
    const Transfer image = fetch(answer.url, NetGrab::deadline_ms_for_size(answer.size),
                                 [&sequence](qint64 n) { sequence.download_progress(n); });
    if (image.stopped) return image.stopped;
    if (!image.ok)
        return fail(Kind::Service, "The firmware could not be downloaded from the update service at " + host_ +
                                       "; try again later.");
    if (const device::Status taken = sequence.take_image(image.bytes); !taken)
        return fail(Kind::Service, "The update service at " + host_ + " sent firmware this tool cannot use (" +
                                       QString::fromStdString(taken.sentence()) + ").");
    const update::FlashOutcome outcome = sequence.write();
    attached.detach();
    if (!outcome.status) return flash_failed(outcome, "shifterctl update");
    show_percent(100);
    end_percent();
    // Wait for the box to restart with its new firmware, to say what it runs.
    conn_.choice = {"", serial.substr(0, serial.find(u'\0'))};
    std::optional<std::uint16_t> now;
    for (int pass = 0; pass < kRestartPasses && !now && env_.stops().count == 0; ++pass) {
        env_.pause(100);
        if (device::FindTheHid(backend_, conn_, env_.vendor_id) && conn_.application())
            now = conn_.hid_attributes.version_number;
    }
    conn_.close_handles();
    if (json_) {
        QJsonObject o{{"updated", true}};
        insert_version(o, "offered_version", offered_number);
        if (now)
            insert_version(o, "box_version", *now);
        else
            o.insert("box_version", QJsonValue());
        emit_json(o);
    } else if (now) {
        out_ << "The firmware was written; the box restarted with version " << version_text(*now) << "."
             << Qt::endl;
    } else {
        out_ << "The firmware was written; the box restarts with it." << Qt::endl;
    }
    return kCliOk;
}

}  // namespace ctl
