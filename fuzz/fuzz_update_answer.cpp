// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The update service's answer on arbitrary bytes, with the version decision
// and the version's display form behind it. An accepted answer must be one the
// window can act on: no longer than the answer's limit, a version the box can
// hold, a positive size within the image limit, an http(s) address; and once
// the box runs the offered version it is not offered again.
#include <QUrl>

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzCheck.h"
#include "update/UpdateQuery.h"

using namespace update;

namespace {

bool is_hex_digit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

bool same(const UpdateAnswer& a, const UpdateAnswer& b) {
    return a.version_text == b.version_text && a.offered_version == b.offered_version && a.size == b.size &&
           a.url == b.url;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString reason;
    const std::optional<UpdateAnswer> a = parse_update_answer(body, &reason);
    if (!a) {
        FUZZ_CHECK(!reason.isEmpty());
        return 0;
    }

    FUZZ_CHECK(a->offered_version >= 0 && a->offered_version <= kMaxOfferedVersion);
    FUZZ_CHECK(a->version_text.size() >= 2);
    for (const QChar c : a->version_text) FUZZ_CHECK(is_hex_digit(c));
    bool ok = false;
    FUZZ_CHECK(a->version_text.toULongLong(&ok, 16) == static_cast<qulonglong>(a->offered_version) && ok);
    FUZZ_CHECK(body.size() <= kMaxAnswerBytes);
    FUZZ_CHECK(a->size > 0 && a->size <= kMaxImageBytes);
    FUZZ_CHECK(a->url.startsWith("http://", Qt::CaseInsensitive) || a->url.startsWith("https://", Qt::CaseInsensitive));
    const QUrl url(a->url);
    FUZZ_CHECK(url.isValid() && !url.host().isEmpty());

    // Fields after the third are ignored (within the answer's limit).
    if (body.size() + 6 <= kMaxAnswerBytes) {
        const std::optional<UpdateAnswer> longer = parse_update_answer(body + ",extra");
        FUZZ_CHECK(longer && same(*a, *longer));
    }

    // All but the last two digits, a point, the last two.
    const QString shown = version_display(a->version_text);
    FUZZ_CHECK(shown.size() == a->version_text.size() + 1);
    FUZZ_CHECK(shown.count('.') == 1 && shown[shown.size() - 3] == '.');
    FUZZ_CHECK(QString(shown).remove('.') == a->version_text);

    // The box's version is its 16-bit number taken as signed.
    const auto offered = static_cast<std::uint16_t>(a->offered_version);
    FUZZ_CHECK(decide_offer(*a, offered, false) == Offer::AlreadyLatest);
    for (const std::uint16_t box : {std::uint16_t{0}, std::uint16_t{0x0106}, static_cast<std::uint16_t>(offered - 1),
                                    static_cast<std::uint16_t>(offered + 1), std::uint16_t{0x7FFF},
                                    std::uint16_t{0x8000}, std::uint16_t{0xFFFF}}) {
        const int signed_box = static_cast<std::int16_t>(box);
        const Offer expected = a->offered_version > signed_box    ? Offer::Upgrade
                               : a->offered_version == signed_box ? Offer::AlreadyLatest
                                                                  : Offer::Older;
        FUZZ_CHECK(decide_offer(*a, box, false) == expected);
        FUZZ_CHECK(decide_offer(*a, box, true) == Offer::Upgrade);
    }
    return 0;
}
