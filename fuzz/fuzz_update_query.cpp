// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The update query built from arbitrary identities and texts: the URL always
// carries its ten parameters in their order, and no serial number or typed
// text can add, cut or rename one; read back, every value is what was put in.
#include <QUrl>
#include <QUrlQuery>

#include <array>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/FuzzCheck.h"
#include "device/Products.h"
#include "update/UpdateQuery.h"

using namespace update;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    QueryFields f;
    f.attributes.vendor_id = in.ConsumeIntegral<std::uint16_t>();
    f.attributes.version_number = in.ConsumeIntegral<std::uint16_t>();
    // The product IDs with a model word come up often enough to reach each.
    f.attributes.product_id =
        in.ConsumeBool() ? in.PickValueInArray({device::kPidKelvo, device::kPidDravi, device::kPidGeneric,
                                                device::kPidBootloader})
                         : in.ConsumeIntegral<std::uint16_t>();
    const QString host = in.ConsumeBool() ? QStringLiteral("127.0.0.1:8080") : QStringLiteral("update.shifter.invalid");
    // The serial number caption is made from the box's bytes as Latin-1; the
    // threshold boxes hold whatever the user typed.
    f.serial_caption = QString::fromLatin1(in.ConsumeRandomLengthString(64));
    f.h1_text = QString::fromUtf8(in.ConsumeRandomLengthString(24));
    f.h2_text = QString::fromUtf8(in.ConsumeRandomLengthString(24));
    f.v1_text = QString::fromUtf8(in.ConsumeRandomLengthString(24));
    f.v2_text = QString::fromUtf8(in.ConsumeRandomLengthString(24));
    if (in.ConsumeBool()) {
        const auto dump = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 128));
        f.memory_dump = dump_hex(dump);
        FUZZ_CHECK(f.memory_dump.size() == static_cast<qsizetype>(dump.size() * 2));
        for (const QChar c : f.memory_dump)
            FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    } else {
        f.memory_dump = QString::fromUtf8(in.ConsumeRemainingBytesAsString());
    }

    const QString text = build_update_url(host, f);
    FUZZ_CHECK(text.startsWith("http://" + host + "/scripts/shifter.php?pid="));
    // Only printable ASCII goes on the wire.
    for (const QChar c : text) FUZZ_CHECK(c.unicode() > 0x20 && c.unicode() < 0x7F);

    const QUrl url(text, QUrl::StrictMode);
    FUZZ_CHECK(url.isValid());
    FUZZ_CHECK(url.scheme() == "http" && url.path() == "/scripts/shifter.php");
    FUZZ_CHECK(url.authority() == host);

    // Compared as the bytes the service receives: Qt's own decoding of a
    // query leaves Unicode noncharacters (U+BFFFF, ...) encoded, though the
    // URL carries their UTF-8 bytes like any other text's.
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyEncoded);
    static const std::array<const char*, 10> kNames{"pid", "vid", "mod", "sn", "ver", "h1", "h2", "v1", "v2", "mem"};
    const device::HidAttributes& a = f.attributes;
    const std::array<QString, 10> values{hex16(a.product_id), hex16(a.vendor_id), model_word(a.product_id),
                                         f.serial_caption.trimmed(), hex16(a.version_number), f.h1_text,
                                         f.h2_text, f.v1_text, f.v2_text, f.memory_dump};
    FUZZ_CHECK(items.size() == 10);
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        FUZZ_CHECK(items[static_cast<qsizetype>(i)].first == QLatin1String(kNames[i]));
        FUZZ_CHECK(QByteArray::fromPercentEncoding(items[static_cast<qsizetype>(i)].second.toLatin1()) ==
                   values[i].toUtf8());
    }
    return 0;
}
