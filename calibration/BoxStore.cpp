#include "BoxStore.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "Products.h"

namespace calibration {

Backup make_backup(std::uint16_t product_id, std::uint16_t firmware_version, const QString& serial,
                   const device::Thresholds& thresholds) {
    Backup b;
    const device::ProductInfo* p = device::find_product(product_id);
    b.model = p ? QString(p->model_word) : QString();
    b.product_id = product_id;
    b.serial = serial;
    b.firmware_version = firmware_version;
    b.saved = QDateTime::currentDateTimeUtc();
    b.thresholds = thresholds;
    return b;
}

BoxStore::BoxStore(QString folder) : folder_(std::move(folder)) {
    if (folder_.isEmpty())
        folder_ = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/boxes");
}

QString BoxStore::file_name(const QString& serial) {
    QString name;
    for (const char c : serial.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_')
            name += QChar(u);
        else
            name += QString("%%1").arg(u, 2, 16, QChar('0')).toUpper();
    }
    return name + QStringLiteral(".json");
}

std::optional<Backup> BoxStore::last_read(const QString& serial) const {
    if (serial.isEmpty()) return std::nullopt;
    QFile file(folder_ + '/' + file_name(serial));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const device::Result<Backup> b = read_backup(file.read(kMaxBackupBytes + 1));
    if (!b || b->serial != serial) return std::nullopt;
    return *b;
}

device::Status BoxStore::remember(const Backup& backup) const {
    if (backup.serial.isEmpty()) return {};
    if (!QDir().mkpath(folder_))
        return {device::Fault::Failed, ("The folder " + folder_ + " cannot be made.").toStdString()};
    QSaveFile file(folder_ + '/' + file_name(backup.serial));
    if (!file.open(QIODevice::WriteOnly) || file.write(write_backup(backup)) < 0 || !file.commit())
        return {device::Fault::Failed,
                ("The calibration of the box cannot be kept in " + folder_ + ": " + file.errorString() + ".")
                    .toStdString()};
    return {};
}

}  // namespace calibration
