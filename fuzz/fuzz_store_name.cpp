// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The per-box store's file names on arbitrary serials. Unique: two serials get
// two names, and names that differ in more than letter case (Windows and macOS
// take "KV-A" and "kv-a" for one file). Reversible: the serial comes back from
// its name, and no other name reads as a serial. Portable: ASCII without a
// character or a device name Windows refuses, nothing that names a path.
// Bounded: 255 bytes at most, and every serial of up to 50 units (all a box
// sends) has a name.
//
// Input: a mask byte, then UTF-16 units (little-endian) of serial a; serial b
// is a with the units the mask picks changed, by letter case where they are
// ASCII letters, so near misses of every kind are tried.
#include <QString>

#include <cstddef>
#include <cstdint>

#include "calibration/BoxStore.h"
#include "fuzz/FuzzCheck.h"

using calibration::BoxStore;

namespace {

bool windows_device_name(QString stem) {
    stem = stem.toUpper();
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.startsWith("COM") || stem.startsWith("LPT")) && stem[3].isDigit();
}

void check_name(const QString& serial) {
    const std::optional<QString> name = BoxStore::file_name(serial);
    if (serial.isEmpty()) {
        FUZZ_CHECK(!name);
        return;
    }
    FUZZ_CHECK(name);
    if (!name) return;
    FUZZ_CHECK(name->toUtf8().size() <= 255);
    for (const QChar c : *name) {
        FUZZ_CHECK(c.unicode() > 0x20 && c.unicode() < 0x7F);
        FUZZ_CHECK(!QStringLiteral("<>:\"/\\|?*").contains(c));
    }
    FUZZ_CHECK(!name->endsWith('.') && !name->endsWith(' ') && !name->startsWith('.'));
    FUZZ_CHECK(!windows_device_name(name->left(name->indexOf('.'))));
    // A name with a digest does not give its serial back; every other does.
    if (name->contains('='))
        FUZZ_CHECK(!BoxStore::serial_from_file_name(*name));
    else
        FUZZ_CHECK(BoxStore::serial_from_file_name(*name) == serial);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t mask = data[0];
    QString a;
    for (std::size_t i = 1; i + 1 < size; i += 2)
        a += QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    QString b = a;
    for (qsizetype i = 0; i < b.size(); ++i) {
        if (!(mask & (1u << (i % 8)))) continue;
        const char16_t u = b[i].unicode();
        if (u < 0x80 && QChar(u).isLetter())
            b[i] = QChar(static_cast<char16_t>(u ^ 0x20));
        else if (mask & 0x80)
            b[i] = QChar(static_cast<char16_t>(u + 1));
    }
    check_name(a);
    check_name(b);
    const std::optional<QString> name_a = BoxStore::file_name(a);
    const std::optional<QString> name_b = BoxStore::file_name(b);
    if (a != b && name_a && name_b) FUZZ_CHECK(name_a->compare(*name_b, Qt::CaseInsensitive) != 0);

    // The raw bytes as a name: read back only if it is the name of what it
    // reads as.
    const QString raw = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const std::optional<QString> serial = BoxStore::serial_from_file_name(raw))
        FUZZ_CHECK(BoxStore::file_name(*serial) == raw);
    return 0;
}
