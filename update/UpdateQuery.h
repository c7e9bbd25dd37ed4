// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The update check: the query that tells the update service which box asks,
// and the service's answer.

#include <QByteArray>
#include <QString>
#include <optional>
#include <span>

#include "device/Hid.h"

namespace update {

// 0x10A0 "Kelvo", 0x10A1 "Dravi", the bootloader "BOOT", anything else "".
QString model_word(std::uint16_t product_id);

// Upper-case hexadecimal without leading zeros: 0x0106 gives "106".
QString hex16(std::uint16_t value);

// Two upper-case hexadecimal digits per byte.
QString dump_hex(std::span<const std::uint8_t> bytes);

struct QueryFields {
    device::HidAttributes attributes;
    QString serial_caption;  // as the window shows it; blanks around are dropped
    QString h1_text, h2_text, v1_text, v2_text;  // the threshold boxes as they stand
    QString memory_dump;  // dump_hex of the box's memory; empty for the bootloader
};

// http://HOST/scripts/shifter.php?pid=..&vid=..&mod=..&sn=..&ver=..&h1=..&h2=..&v1=..&v2=..&mem=..
// Values go in as they are, except that characters a URL cannot carry raw
// (blanks, '&', '#', '%', '+', non-ASCII ...) are percent-encoded, so a serial
// number or a typed text can never add or cut a parameter.
QString build_update_url(const QString& host, const QueryFields& f);

// The highest version the box's signed 16-bit version number can carry.
inline constexpr int kMaxOfferedVersion = 0x7FFF;

// The largest firmware image the tool downloads. A box's image is a few tens
// of KiB; a body past this is not ours, and a service that announces one is
// not believed. The download component's default body limit is the same.
inline constexpr qint64 kMaxImageBytes = 16 * 1024 * 1024;
// The update answer is one short line; a longer one is not an answer, and
// reading it whole would let a service fill the memory with fields.
inline constexpr qint64 kMaxAnswerBytes = 4096;

struct UpdateAnswer {
    QString version_text;  // field 0 as sent, e.g. "107"
    int offered_version = 0;  // 0..kMaxOfferedVersion
    int size = 0;
    QString url;
};

// Parses "VERSION,SIZE,URL[,...]". nullopt (with a reason) for an answer that
// does not have that form: longer than kMaxAnswerBytes, fewer than three
// fields, a version that is not at least two hexadecimal digits (digits only:
// no sign, no "0x") or lies above kMaxOfferedVersion, a size that is not a
// positive decimal number or lies above kMaxImageBytes (no download could
// deliver it), a URL that is not http or https.
std::optional<UpdateAnswer> parse_update_answer(const QByteArray& body, QString* reason = nullptr);

// "107" shows as "1.07", "10A" as "1.0A".
QString version_display(const QString& version_text);

enum class Offer {
    Upgrade,        // newer, or the box sits in its bootloader
    AlreadyLatest,  // same version
    Older,          // the box is newer: nothing to say
};

Offer decide_offer(const UpdateAnswer& answer, std::uint16_t box_version, bool bootloader);

}  // namespace update
