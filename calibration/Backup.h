// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calibration file: the six thresholds of one box with the box's identity
// and the time they were read. shifterctl backup writes it and restore reads
// it; the window keeps the last thresholds read from each box in the same
// form. A small JSON object:
//
//   {"format": "shifter-calibration", "version": 1,
//    "saved": "2026-12-08T23:59:00Z",
//    "box": {"model": "Kelvo", "product_id": "10A0", "serial": "KV-000123", "firmware": "106"},
//    "thresholds": {"h1": 102, "h2": 152, "v1": 64, "v2": 190, "s1": 100, "s2": 155}}
//
// "firmware" is the box's version number in hexadecimal, "product_id" four
// hexadecimal digits. Every threshold is a whole number from 0 to 255. A box
// without a serial number has its path on the bus in "box" as "path" too:
// nothing else tells it from another box of its model.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

#include "device/Result.h"
#include "device/Settings.h"

namespace calibration {

inline constexpr const char* kBackupFormat = "shifter-calibration";
inline constexpr int kBackupVersion = 1;
// Far more than any calibration file; a larger file is not one of ours.
inline constexpr qint64 kMaxBackupBytes = 64 * 1024;

struct Backup {
    QString model;
    std::uint16_t product_id = 0;
    QString serial;
    std::uint16_t firmware_version = 0;
    QString path;     // empty unless the box has no serial number
    QDateTime saved;  // UTC
    device::Thresholds thresholds;
};

QByteArray write_backup(const Backup& backup);

// Refuses (BadAnswer, one sentence) anything that is not such a file: another
// JSON document, a truncated one, a later format version, a missing or
// repeated threshold, a value that is not a whole number from 0 to 255.
device::Result<Backup> read_backup(const QByteArray& bytes);

}  // namespace calibration
