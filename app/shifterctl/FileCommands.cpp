// The calibration file: backup and restore.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "Backup.h"
#include "CliRunner.h"
#include "Commands.h"
#include "Readout.h"
#include "Safeguards.h"
#include "Writes.h"

namespace ctl {

int Cli::read_small_file(const QString& path, qint64 limit, QByteArray& bytes) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(Kind::File, "\"" + path + "\" is not a regular file (a device, a pipe or a folder).");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Kind::File, "The file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    if (file.isSequential())
        return fail(Kind::File, "\"" + path + "\" is not a regular file (a device, a pipe or a folder).");
    bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(Kind::File, "The file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    return kCliOk;
}

int Cli::backup() {
    if (const int status = arguments(1, "one FILE")) return status;
    const QString path = r_.arguments.front();
    if (const int status = find_box(true, false)) return status;
    const calibration::DeviceInfo info = calibration::read_device_info(conn_);
    ToolAttached attached(conn_, false);
    if (!info.thresholds) return fail(Kind::Box, "The box did not answer with its thresholds.");
    calibration::Backup b;
    const std::uint16_t pid = static_cast<std::uint16_t>(conn_.product_id);
    b.model = model(pid);
    b.product_id = pid;
    b.serial = info.serial ? QString::fromLatin1(info.serial->c_str()) : QString();
    b.firmware_version = conn_.hid_attributes.version_number;
    b.saved = QDateTime::currentDateTimeUtc();
    b.thresholds = *info.thresholds;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(calibration::write_backup(b)) < 0 || !file.commit())
        return fail(Kind::File, "The file \"" + path + "\" cannot be written: " + file.errorString() + ".");
    if (json_)
        emit_json({{"file", path}, {"serial", b.serial}, {"thresholds", thresholds_json(b.thresholds)}});
    else
        out_ << "Saved " << thresholds_line(b.thresholds) << " of " << b.model << " " << b.serial << " to " << path
             << "." << Qt::endl;
    return kCliOk;
}

int Cli::restore() {
    if (const int status = arguments(1, "one FILE")) return status;
    const QString path = r_.arguments.front();
    QByteArray bytes;
    if (const int status = read_small_file(path, calibration::kMaxBackupBytes, bytes)) return status;
    if (bytes.size() > calibration::kMaxBackupBytes)
        return fail(Kind::File, "\"" + path + "\" is larger than any calibration file, so it is not one.");
    const device::Result<calibration::Backup> b = calibration::read_backup(bytes);
    if (!b) return fail(Kind::File, "\"" + path + "\" cannot be restored: " + QString::fromStdString(b.sentence()));

    if (const int status = find_box(true, true)) return status;
    const calibration::DeviceInfo info = calibration::read_device_info(conn_);
    ToolAttached attached(conn_, false);
    const QString serial = info.serial ? QString::fromLatin1(info.serial->c_str()) : QString();
    if (serial != b->serial) {
        if (const int status = confirm("The file was saved from box " + b->serial + ", not from this box " + serial +
                                           "; write its thresholds into this box?",
                                       "Nothing was written."))
            return status;
    }
    const std::vector<calibration::SettingWrite> writes = calibration::all_writes(b->thresholds);
    const calibration::SendOutcome outcome = calibration::send_writes(conn_, writes);
    if (outcome.out_of_range || outcome.failed > 0)
        return fail(Kind::Box, QString("The box did not take %1 of the 6 thresholds; check that it is plugged in and "
                                       "run shifterctl restore again.")
                                   .arg(outcome.failed));
    const device::Result<device::SettingsBytes> reply = device::read_settings(conn_);
    if (!reply) return fail(Kind::Box, "The box did not answer with its thresholds after the restore.");
    const device::Thresholds held = calibration::thresholds_from_reply(*reply);
    if (const std::vector<int> differ = calibration::differing_writes(writes, held); !differ.empty()) {
        QStringList kept;
        for (const int i : differ)
            kept << QString("%1 is %2, not %3").arg(calibration::setting_name(i)).arg(held.get(i)).arg(b->thresholds.get(i));
        return fail(Kind::Box, "The box did not keep every restored threshold: " + kept.join(", ") + ".",
                    {{"thresholds", thresholds_json(held)}});
    }
    if (json_)
        emit_json({{"file", path}, {"thresholds", thresholds_json(held)}});
    else
        out_ << "Restored " << thresholds_line(held) << " from " << path << "." << Qt::endl;
    return kCliOk;
}

}  // namespace ctl
