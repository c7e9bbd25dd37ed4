// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminalText.h"

namespace calibration {

namespace {

bool bidi_or_separator(char16_t u) {
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069) || u == 0x2028 || u == 0x2029;
}

QString hex(unsigned value, int width) { return QString("%1").arg(value, width, 16, QChar('0')); }

}  // namespace

QString terminal_text(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            shown += text[i];
            shown += text[++i];
            continue;
        }
        switch (u) {
        case '\\': shown += QStringLiteral("\\\\"); continue;
        case '\t': shown += QStringLiteral("\\t"); continue;
        case '\n': shown += QStringLiteral("\\n"); continue;
        case '\r': shown += QStringLiteral("\\r"); continue;
        case 0x1B: shown += QStringLiteral("\\e"); continue;
        default: break;
        }
        if (u < 0x20 || u == 0x7F)
            shown += "\\x" + hex(u, 2);
        else if ((u >= 0x80 && u <= 0x9F) || bidi_or_separator(u) || QChar::isSurrogate(u))
            shown += "\\u" + hex(u, 4);
        else
            shown += QChar(u);
    }
    return shown;
}

}  // namespace calibration
