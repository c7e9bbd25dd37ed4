// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration file: backup and restore.
#include <QIODevice>
#include <algorithm>

#include "calibration/Backup.h"
#include "calibration/BoxStore.h"
#include "app/shifterctl/Commands.h"
#include "app/shifterctl/Context.h"
#include "app/shifterctl/Output.h"
#include "device/Commands.h"
#include "calibration/Readout.h"
#include "calibration/SafeFile.h"
#include "calibration/TerminalText.h"
#include "calibration/Writes.h"

namespace ctl::file {
namespace {

// As git, tar and the other tools of a shell: "-" is the standard output for
// backup and the standard input for restore; "./-" names a file called "-".
bool is_standard_stream(const QString& path) { return path == "-"; }

int read_small_file(Context& c, const QString& path, qint64 limit, QByteArray& bytes) {
    if (is_standard_stream(path)) {
        if (!c.env.input) return fail(c, Kind::File, "There is no standard input to read the calibration from.");
        // A pipe gives its bytes as they come: read until its end or past the limit.
        bytes.clear();
        char chunk[4096];
        while (bytes.size() <= limit) {
            const qint64 got = c.env.input->read(chunk, std::min<qint64>(sizeof chunk, limit + 1 - bytes.size()));
            if (got < 0)
                return fail(c, Kind::File, "The standard input cannot be read: " + c.env.input->errorString() + ".");
            if (got == 0) break;
            bytes.append(chunk, got);
        }
        return kCliOk;
    }
    // Only a regular file is read, and never past the limit (a pipe could
    // wait for a writer for ever, a device never end).
    const device::Result<QByteArray> read = calibration::read_file_safely(path, limit);
    if (!read) return fail(c, Kind::File, QString::fromStdString(read.sentence()));
    bytes = *read;
    return kCliOk;
}

}  // namespace

int backup(Context& c) {
    if (const int status = arguments(c, 1, "one FILE")) return status;
    const QString path = c.request.arguments.front();
    if (const int status = find_box(c, true, false)) return status;
    const calibration::DeviceInfo info = c.session.read_info();
    const auto lease = c.session.lease(false);
    if (!info.thresholds) return fail(c, Kind::Box, "The box did not answer with its thresholds.");
    // The same file the store keeps of each box; a box without a serial is
    // known by its place on the bus.
    calibration::Backup b = calibration::make_backup(static_cast<std::uint16_t>(c.conn.product_id),
                                                     c.conn.hid_attributes.version_number, c.session.serial(),
                                                     *info.thresholds);
    if (b.serial.isEmpty()) b.path = QString::fromStdString(c.conn.device_path);
    if (is_standard_stream(path)) {
        // The standard output carries the file alone; the sentence goes with
        // the other messages.
        c.out << QString::fromUtf8(calibration::write_backup(b));
        if (!c.json)
            say(c, "Saved " + thresholds_line(b.thresholds) + " of " + b.model + " " + b.serial + " to the standard output.");
        return kCliOk;
    }
    // Only a new file or a regular one is written, whole or not at all.
    if (const device::Status saved = calibration::write_file_safely(path, calibration::write_backup(b)); !saved)
        return fail(c, Kind::File, QString::fromStdString(saved.sentence()));
    if (c.json)
        emit_json(c, {{"file", path}, {"serial", b.serial}, {"thresholds", thresholds_json(b.thresholds)}});
    else
        c.out << "Saved " << thresholds_line(b.thresholds) << " of " << b.model << " "
              << calibration::terminal_text(b.serial) << " to " << calibration::terminal_text(path) << "." << Qt::endl;
    return kCliOk;
}

int restore(Context& c) {
    if (const int status = arguments(c, 1, "one FILE")) return status;
    const QString path = c.request.arguments.front();
    QByteArray bytes;
    if (const int status = read_small_file(c, path, calibration::kMaxBackupBytes, bytes)) return status;
    const QString name = is_standard_stream(path) ? QString("The standard input") : "\"" + path + "\"";
    if (bytes.size() > calibration::kMaxBackupBytes)
        return fail(c, Kind::File, name + " is larger than any calibration file, so it is not one.");
    const device::Result<calibration::Backup> b = calibration::read_backup(bytes);
    if (!b) return fail(c, Kind::File, name + " cannot be restored: " + QString::fromStdString(b.sentence()));

    if (const int status = find_box(c, true, true)) return status;
    const auto lease = c.session.lease(false);
    if (!c.session.read_info().thresholds)
        return fail(c, Kind::Box, "The box did not answer with its thresholds, so none were written.");
    int refusal = kCliOk;
    const calibration::WriteResult r = c.session.write(c.session.plan_restore(*b), asker(c, refusal));
    if (!r.status) return written(c, r, refusal);
    const device::Thresholds held = *r.kept;
    if (c.json)
        emit_json(c, {{"file", path}, {"thresholds", thresholds_json(held)}});
    else
        c.out << "Restored " << thresholds_line(held) << " from "
              << (is_standard_stream(path) ? QString("the standard input") : calibration::terminal_text(path)) << "."
              << Qt::endl;
    return kCliOk;
}

}  // namespace ctl::file
