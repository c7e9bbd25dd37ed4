// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/UpdateQuery.h"

#include <QUrl>

#include <algorithm>

#include "device/Products.h"

namespace update {

QString model_word(std::uint16_t product_id) {
    const device::ProductInfo* p = device::find_product(product_id);
    return p ? QString(p->model_word) : QString();
}

QString hex16(std::uint16_t value) { return QString::number(value, 16).toUpper(); }

QString dump_hex(std::span<const std::uint8_t> bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() * 2));
    for (std::uint8_t b : bytes) text += QString("%1").arg(b, 2, 16, QChar('0')).toUpper();
    return text;
}

namespace {
QString raw(const QString& value) {
    // Unreserved characters and the few that are harmless inside a query
    // value stay as they are; the rest is percent-encoded.
    return QString::fromLatin1(QUrl::toPercentEncoding(value, "-._~:/"));
}
// Hexadecimal digits only, at least two (the display puts the point before the
// last two): no sign, no "0x", no blanks inside. nullopt otherwise. Leading
// zeros are digits like any other; the value stops growing once it is past
// anything the box can hold, so a long text cannot overflow it.
std::optional<int> parse_version(const QString& text) {
    if (text.size() < 2) return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        int digit = 0;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else
            return std::nullopt;
        value = std::min(value * 16 + digit, kMaxOfferedVersion + 1);
    }
    return value;
}

}  // namespace

QString build_update_url(const QString& host, const QueryFields& f) {
    const device::HidAttributes& a = f.attributes;
    return "http://" + host + "/scripts/shifter.php?" + "pid=" + hex16(a.product_id) + "&vid=" + hex16(a.vendor_id) +
           "&mod=" + raw(model_word(a.product_id)) + "&sn=" + raw(f.serial_caption.trimmed()) +
           "&ver=" + hex16(a.version_number) + "&h1=" + raw(f.h1_text) + "&h2=" + raw(f.h2_text) +
           "&v1=" + raw(f.v1_text) + "&v2=" + raw(f.v2_text) + "&mem=" + raw(f.memory_dump);
}

std::optional<UpdateAnswer> parse_update_answer(const QByteArray& body, QString* reason) {
    auto fail = [reason](const QString& why) -> std::optional<UpdateAnswer> {
        if (reason) *reason = why;
        return std::nullopt;
    };
    if (body.size() > kMaxAnswerBytes) return fail("the answer is longer than any update answer");
    const QStringList fields = QString::fromLatin1(body).split(',');
    if (fields.size() < 3) return fail("the answer has fewer than three fields");
    UpdateAnswer a;
    a.version_text = fields[0].trimmed();
    const std::optional<int> version = parse_version(a.version_text);
    if (!version) return fail("the offered version is not a hexadecimal number of at least two digits");
    // The box keeps its version in 16 bits and is compared as signed, so an
    // offer above 7FFF would look newer than every box, and after flashing
    // the box could never report it back: it would be offered again forever.
    if (*version > kMaxOfferedVersion) return fail("the offered version does not fit the box");
    a.offered_version = *version;
    bool ok = false;
    a.size = fields[1].trimmed().toInt(&ok, 10);
    if (!ok || a.size <= 0) return fail("the image size is not a positive number");
    // Refused before any download: the image's deadline grows with the size,
    // and a size that the download's body limit refuses anyway would only keep
    // a slow server's connection open for that long.
    if (a.size > kMaxImageBytes) return fail("the image size is larger than any firmware image");
    // A line break after the URL is the end of the answer, not part of it.
    a.url = fields[2].trimmed();
    const QUrl url(a.url, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") || url.host().isEmpty())
        return fail("the image address is not an http address");
    return a;
}

QString version_display(const QString& version_text) {
    return version_text.left(version_text.size() - 2) + "." + version_text.right(2);
}

Offer decide_offer(const UpdateAnswer& answer, std::uint16_t box_version, bool bootloader) {
    const int box = static_cast<std::int16_t>(box_version);
    if (bootloader || answer.offered_version > box) return Offer::Upgrade;
    if (answer.offered_version == box) return Offer::AlreadyLatest;
    return Offer::Older;
}

}  // namespace update
