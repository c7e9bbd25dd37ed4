// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Firmware written into the box: an image file with flash, and what the
// update's write shares with it (its waits, stages and stop requests).
#include <QFileInfo>

#include "app/shifterctl/Commands.h"
#include "app/shifterctl/Firmware.h"
#include "app/shifterctl/Output.h"
#include "calibration/Readout.h"
#include "calibration/SafeFile.h"
#include "update/UpdateQuery.h"

namespace ctl::firmware {

namespace {

// Stopping halfway leaves a box that only its bootloader runs, so the first
// request only warns; the second stops at the next wait or page.
bool stop_now(Job& j) {
    Context& c = j.c;
    const CliStops stops = c.env.stops();
    if (stops.count >= 2) return true;
    if (stops.count == 1 && !j.warned) {
        j.warned = true;
        // On a line of its own, not after the percentage shown in place.
        say(c, "shifterctl: The firmware is being written, and stopping now leaves the box in its update mode; "
               "press Ctrl+C again to stop anyway.");
    }
    return false;
}

// The image FILE names, whole, or the status after saying why it cannot be
// used. Nothing is sent to the box before it has been read.
int read_image(Context& c, const QString& path, QByteArray& image) {
    const auto too_large = [&](qint64 size) {
        return fail(c, Kind::File,
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
    if (!read) return fail(c, Kind::File, QString::fromStdString(read.sentence()));
    image = *read;
    if (image.size() > update::kMaxImageBytes) return too_large(image.size());
    if (image.isEmpty())
        return fail(c, Kind::File, "The image file \"" + path + "\" is empty, so there is nothing to write.");
    // Within the limit, the size fits the int the image checks count in.
    if (const device::Status problem = update::check_image(image.size(), image.size()); !problem)
        return fail(c, Kind::File, QString::fromStdString(problem.sentence()));
    return kCliOk;
}

}  // namespace

update::FlashEnvironment flash_environment(Job& j) {
    Context& c = j.c;
    update::FlashEnvironment fe;
    fe.backend = &c.backend;
    fe.vendor_id = c.env.vendor_id;
    // The update's waits are measured by the time shifterctl waited.
    fe.pause = [&j](int ms) {
        j.c.env.pause(ms);
        j.waited += std::chrono::milliseconds(ms);
    };
    fe.clock = [&j] { return j.waited; };
    fe.progress = [&j](update::Stage stage, std::int64_t done, std::int64_t total) {
        tell_stage(j);
        show_percent(j.c, static_cast<int>(update::progress_fraction(stage, done, total) * 100));
    };
    // Asked at every wait and between pages.
    fe.stop_requested = [&j] { return stop_now(j); };
    return fe;
}

void tell_stage(Job& j) {
    if (!j.sequence) return;
    const QString stage = QString::fromStdString(j.sequence->stage_sentence());
    if (stage.isEmpty() || stage == j.told_stage) return;
    j.told_stage = stage;
    say(j.c, stage);
}

int flash_failed(Job& j, const update::FlashOutcome& outcome, const QString& again) {
    Context& c = j.c;
    end_percent(c);
    const QString text =
        QString::fromStdString(calibration::failure_text(outcome.status, ("run " + again + " again").toStdString()));
    if (outcome.status == device::Fault::Stopped) {
        say(c, "shifterctl: " + text);
        if (c.json) emit_json(c, {{"error", text}, {"kind", "stopped"}});
        return c.env.stops().status;
    }
    // The box that was checked is no longer there.
    if (outcome.status == device::Fault::NoDevice) return fail(c, Kind::NoBox, text);
    return fail(c, Kind::Box, text);
}

int flash(Context& c) {
    if (const int status = arguments(c, 1, "one image FILE")) return status;
    QByteArray image;
    if (const int status = read_image(c, c.request.arguments.front(), image)) return status;
    if (const int status = find_box(c, false, true)) return status;
    const int pages = static_cast<int>(image.size() / update::kPageSize);
    // As the update asks before it installs: the box is written whole or
    // left in its update mode.
    if (const int status = confirm(c, QString("Write the %1 pages of \"%2\" into the box now?")
                                          .arg(pages)
                                          .arg(c.request.arguments.front()),
                                   "The firmware was not written."))
        return status;

    say(c, QString("Writing %1 pages into the box: do not unplug the box.").arg(pages));
    Job j{c};
    // The box found now is the one written, however the bus changes meanwhile.
    device::PinnedBox pin = device::pin_box(c.backend, c.conn, c.env.vendor_id);
    const update::FlashOutcome outcome =
        update::switch_to_bootloader(c.conn, image, flash_environment(j), pin, update::UpdateLimits{});
    if (!outcome.status) return flash_failed(j, outcome, "shifterctl flash FILE");
    show_percent(c, 100);
    end_percent(c);
    if (c.json)
        emit_json(c, {{"written", true}, {"pages", outcome.pages}});
    else
        c.out << "The firmware was written; the box restarts with it." << Qt::endl;
    return kCliOk;
}

}  // namespace ctl::firmware
