#include "Backup.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>

namespace calibration {

namespace {

device::Status refused(const QString& why) {
    return {device::Fault::BadAnswer, ("This is not a calibration file of this tool: " + why + ".").toStdString()};
}

QString hex(std::uint16_t v, int width) { return QString("%1").arg(v, width, 16, QChar('0')).toUpper(); }

std::optional<std::uint16_t> parse_hex16(const QString& text) {
    if (text.isEmpty() || text.size() > 4) return std::nullopt;
    for (QChar c : text)
        if (!c.isDigit() && !(c.toUpper() >= 'A' && c.toUpper() <= 'F')) return std::nullopt;
    return static_cast<std::uint16_t>(text.toUInt(nullptr, 16));
}

}  // namespace

QByteArray write_backup(const Backup& b) {
    QJsonObject box{{"model", b.model},
                    {"product_id", hex(b.product_id, 4)},
                    {"serial", b.serial},
                    {"firmware", hex(b.firmware_version, 1)}};
    QJsonObject thresholds;
    for (int i = 0; i < device::kSettingCount; ++i) thresholds[device::setting_name(i)] = b.thresholds.get(i);
    const QJsonObject root{{"format", kBackupFormat},
                           {"version", kBackupVersion},
                           {"saved", b.saved.toUTC().toString(Qt::ISODate)},
                           {"box", box},
                           {"thresholds", thresholds}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

device::Result<Backup> read_backup(const QByteArray& bytes) {
    if (bytes.size() > kMaxBackupBytes) return refused("it is larger than any calibration file");
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return refused("it is not whole JSON (" + error.errorString() + " at byte " + QString::number(error.offset) +
                       ")");
    if (!doc.isObject()) return refused("it is not a JSON object");
    const QJsonObject root = doc.object();
    if (root.value("format").toString() != kBackupFormat) return refused("its \"format\" is not " + QString(kBackupFormat));
    if (root.value("version").toInt(-1) != kBackupVersion)
        return refused("its \"version\" is not " + QString::number(kBackupVersion));

    Backup b;
    const QJsonObject box = root.value("box").toObject();
    b.model = box.value("model").toString();
    b.serial = box.value("serial").toString();
    const std::optional<std::uint16_t> pid = parse_hex16(box.value("product_id").toString());
    const std::optional<std::uint16_t> version = parse_hex16(box.value("firmware").toString());
    if (!pid) return refused("its box has no product_id of up to four hexadecimal digits");
    if (!version) return refused("its box has no firmware version of up to four hexadecimal digits");
    b.product_id = *pid;
    b.firmware_version = *version;
    b.saved = QDateTime::fromString(root.value("saved").toString(), Qt::ISODate);
    if (!b.saved.isValid()) return refused("its \"saved\" is not a date and time");

    const QJsonObject thresholds = root.value("thresholds").toObject();
    if (thresholds.size() != device::kSettingCount)
        return refused("it does not hold exactly the six thresholds h1 h2 v1 v2 s1 s2");
    for (int i = 0; i < device::kSettingCount; ++i) {
        const QJsonValue v = thresholds.value(device::setting_name(i));
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d != std::floor(d) || d < 0 || d > 255)
            return refused(QString("its threshold ") + device::setting_name(i) + " is not a whole number from 0 to 255");
        b.thresholds.set(i, static_cast<int>(d));
    }
    return b;
}

}  // namespace calibration
