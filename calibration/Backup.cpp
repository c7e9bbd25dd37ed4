// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/Backup.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "calibration/TerminalText.h"

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

// The first key that an object of the JSON text holds twice, at any depth.
// QJsonDocument keeps the last of them without a word, so a file with two
// "h1" would be read as whichever the writer put last. Runs on text that
// QJsonDocument has already taken for whole JSON, so it only needs to tell
// keys from values; keys are compared decoded ("h1" and "\u0068\u0031" are one
// key). Iterative and linear apart from the key sets: a deep file cannot
// exhaust the stack.
std::optional<QString> repeated_key(const QByteArray& text) {
    struct Frame {
        bool object;
        bool expecting_key;
        std::set<QString> keys;
    };
    std::vector<Frame> frames;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '{' || c == '[') {
            frames.push_back({c == '{', c == '{', {}});
            ++i;
        } else if (c == '}' || c == ']') {
            if (!frames.empty()) frames.pop_back();
            ++i;
        } else if (c == ',') {
            if (!frames.empty() && frames.back().object) frames.back().expecting_key = true;
            ++i;
        } else if (c == '"') {
            QString decoded;
            qsizetype run = ++i;
            while (i < n && text[i] != '"') {
                if (text[i] != '\\') {
                    ++i;
                    continue;
                }
                decoded += QString::fromUtf8(text.constData() + run, i - run);
                if (i + 1 >= n) break;
                const char e = text[i + 1];
                if (e == 'u' && i + 6 <= n) {
                    decoded += QChar(static_cast<char16_t>(text.mid(i + 2, 4).toUInt(nullptr, 16)));
                    i += 6;
                } else {
                    const char* from = "bfnrt";
                    const char* to = "\b\f\n\r\t";
                    const char* at = std::strchr(from, e);
                    decoded += QChar(at ? to[at - from] : e);
                    i += 2;
                }
                run = i;
            }
            decoded += QString::fromUtf8(text.constData() + run, std::min(i, n) - run);
            ++i;  // the closing quote
            if (!frames.empty() && frames.back().expecting_key) {
                frames.back().expecting_key = false;
                if (!frames.back().keys.insert(decoded).second) return decoded;
            }
        } else {
            ++i;  // blanks, ':', numbers, true, false, null
        }
    }
    return std::nullopt;
}

}  // namespace

QByteArray write_backup(const Backup& b) {
    QJsonObject box{{"model", b.model},
                    {"product_id", hex(b.product_id, 4)},
                    {"serial", b.serial},
                    {"firmware", hex(b.firmware_version, 1)}};
    if (!b.path.isEmpty()) box.insert("path", b.path);
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
    if (const std::optional<QString> key = repeated_key(bytes))
        return refused("it holds the key \"" + terminal_text(*key) + "\" twice in one object");
    const QJsonObject root = doc.object();
    if (root.value("format").toString() != kBackupFormat) return refused("its \"format\" is not " + QString(kBackupFormat));
    if (root.value("version").toInt(-1) != kBackupVersion)
        return refused("its \"version\" is not " + QString::number(kBackupVersion));

    Backup b;
    const QJsonObject box = root.value("box").toObject();
    b.model = box.value("model").toString();
    b.serial = box.value("serial").toString();
    b.path = box.value("path").toString();
    const std::optional<std::uint16_t> pid = parse_hex16(box.value("product_id").toString());
    const std::optional<std::uint16_t> version = parse_hex16(box.value("firmware").toString());
    if (!pid) return refused("its box has no product_id of up to four hexadecimal digits");
    if (!version) return refused("its box has no firmware version of up to four hexadecimal digits");
    b.product_id = *pid;
    b.firmware_version = *version;
    // Kept as the file is written: in UTC, to the second. A time that could
    // not be written back the same (a year past 9999 once in UTC) is none.
    b.saved = QDateTime::fromString(root.value("saved").toString(), Qt::ISODate).toUTC();
    b.saved.setTime(QTime(b.saved.time().hour(), b.saved.time().minute(), b.saved.time().second()));
    if (!b.saved.isValid() || QDateTime::fromString(b.saved.toString(Qt::ISODate), Qt::ISODate) != b.saved)
        return refused("its \"saved\" is not a date and time");

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
