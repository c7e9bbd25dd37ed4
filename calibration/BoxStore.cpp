// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/BoxStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <vector>

#include "device/Products.h"
#include "calibration/SafeFile.h"
#include "calibration/Words.h"

namespace calibration {

namespace {

const QString kExtension = QStringLiteral(".json");
// NAME_MAX on Linux and macOS, and the length of a path component on
// Windows; the names are ASCII, so characters and bytes are the same.
constexpr qsizetype kMaxNameBytes = 255;
// Between the readable start and the digest of a serial too long for a name
// of its own; no character of a readable name.
constexpr char16_t kDigestMark = '=';
constexpr qsizetype kDigestDigits = 64;  // SHA-256 in hexadecimal

bool plain(char16_t u) { return (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-'; }

QString hex(unsigned value, int digits) { return QString("%1").arg(value, digits, 16, QChar('0')).toUpper(); }

void append_escaped(QString& name, char16_t u) {
    if (u <= 0xFF)
        name += '%' + hex(u, 2);
    else
        name += '+' + hex(u, 4);
}

// Names that Windows opens as a device whatever extension follows them.
bool reserved_on_windows(const QString& stem) {
    static const QStringList names{"CON", "PRN", "AUX", "NUL"};
    if (names.contains(stem)) return true;
    return stem.size() == 4 && (stem.startsWith("COM") || stem.startsWith("LPT")) && stem[3].unicode() >= '0' &&
           stem[3].unicode() <= '9';
}

std::optional<char16_t> hex_value(QStringView digits) {
    char16_t value = 0;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9')
            value = static_cast<char16_t>(value * 16 + (u - '0'));
        else if (u >= 'A' && u <= 'F')
            value = static_cast<char16_t>(value * 16 + (u - 'A' + 10));
        else
            return std::nullopt;
    }
    return value;
}

}  // namespace

Backup make_backup(std::uint16_t product_id, std::uint16_t firmware_version, const QString& serial,
                   const device::Thresholds& thresholds) {
    Backup b;
    b.model = model_name(product_id);
    b.product_id = product_id;
    b.serial = serial;
    b.firmware_version = firmware_version;
    b.saved = QDateTime::currentDateTimeUtc();
    b.thresholds = thresholds;
    return b;
}

BoxStore::BoxStore(QString folder) : folder_(std::move(folder)) {
    // The window and shifterctl keep one store between them, whatever name
    // each program runs under: the window's application data folder.
    if (folder_.isEmpty())
        folder_ = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  QStringLiteral("/Vantrel/shiftercal/boxes");
    // A writer killed between making its temporary file and renaming it
    // leaves the file behind; nothing else ever takes it away.
    const QDir dir(folder_);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (is_safe_write_leftover(name)) QFile::remove(dir.filePath(name));
}

std::optional<QString> BoxStore::file_name(const QString& serial) {
    if (serial.isEmpty()) return std::nullopt;
    QString stem;
    // Where the form of each unit ends in stem.
    std::vector<qsizetype> ends;
    for (const QChar c : serial) {
        const char16_t u = c.unicode();
        if (plain(u))
            stem += c;
        else if (u >= 'a' && u <= 'z')
            stem += '_' + c.toUpper();
        else
            append_escaped(stem, u);
        ends.push_back(stem.size());
    }
    if (reserved_on_windows(stem)) {
        stem.chop(1);
        append_escaped(stem, serial.back().unicode());
    }
    if (stem.size() + kExtension.size() <= kMaxNameBytes) return stem + kExtension;
    // Too long to name a file as it is: the readable start, cut where an
    // escape begins, then the digest of the whole serial.
    const qsizetype room = kMaxNameBytes - kExtension.size() - 1 - kDigestDigits;
    qsizetype keep = 0;
    for (const qsizetype end : ends)
        if (end <= room) keep = end;
    const QByteArray units(reinterpret_cast<const char*>(serial.utf16()), serial.size() * 2);
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(units, QCryptographicHash::Sha256).toHex()).toUpper();
    return stem.left(keep) + kDigestMark + digest + kExtension;
}

std::optional<QString> BoxStore::serial_from_file_name(const QString& name) {
    if (!name.endsWith(kExtension) || name.contains(kDigestMark)) return std::nullopt;
    const QStringView stem = QStringView(name).chopped(kExtension.size());
    QString serial;
    for (qsizetype i = 0; i < stem.size();) {
        const char16_t u = stem[i].unicode();
        std::optional<char16_t> unit;
        qsizetype width = 1;
        if (plain(u)) {
            unit = u;
        } else if (u == '_' && i + 1 < stem.size() && stem[i + 1].unicode() >= 'A' && stem[i + 1].unicode() <= 'Z') {
            unit = static_cast<char16_t>(stem[i + 1].unicode() - 'A' + 'a');
            width = 2;
        } else if (u == '%' || u == '+') {
            width = u == '%' ? 3 : 5;
            if (i + width <= stem.size()) unit = hex_value(stem.mid(i + 1, width - 1));
        }
        if (!unit) return std::nullopt;
        serial += QChar(*unit);
        i += width;
    }
    // One name per serial: "%41.json" would read as "A" too, but is not the
    // name file_name gives it.
    if (file_name(serial) != name) return std::nullopt;
    return serial;
}

std::optional<Backup> BoxStore::last_read(const QString& serial) const {
    const std::optional<QString> name = file_name(serial);
    if (!name) return std::nullopt;
    const device::Result<QByteArray> bytes = read_file_safely(folder_ + '/' + *name, kMaxBackupBytes);
    if (!bytes) return std::nullopt;
    const device::Result<Backup> b = read_backup(*bytes);
    if (!b || b->serial != serial) return std::nullopt;
    return *b;
}

device::Status BoxStore::remember(const Backup& backup) const {
    if (backup.serial.isEmpty()) return {};
    const std::optional<QString> name = file_name(backup.serial);
    if (!name) return {device::Fault::Failed, "The box's serial number names no file, so its calibration is not kept."};
    if (!QDir(folder_).exists()) {
        // Only its owner reads what the store keeps of the boxes.
        const QFileInfo made(folder_);
        if (!QDir().mkpath(made.absolutePath()) ||
            !QDir().mkdir(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return {device::Fault::Failed,
                    ("The folder " + folder_ + " cannot be made, so the calibration of the box is not kept.").toStdString()};
    }
    if (device::Status s = write_file_safely(folder_ + '/' + *name, write_backup(backup)); !s)
        return {device::Fault::Failed, "The calibration of the box cannot be kept: " + s.sentence()};
    return {};
}

}  // namespace calibration
