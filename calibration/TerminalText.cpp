// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/TerminalText.h"

#include <QChar>

namespace calibration {

namespace {

QString hex(unsigned value, int width) { return QString("%1").arg(value, width, 16, QChar('0')); }

}  // namespace

bool hidden_on_terminal(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    if (c >= 0xD800 && c <= 0xDFFF) return true;  // a surrogate on its own
    switch (QChar::category(c)) {
    case QChar::Other_Format:          // U+200B, U+00AD, U+FEFF, U+2060, U+202E, ...
    case QChar::Mark_NonSpacing:       // combining accents, variation selectors
    case QChar::Mark_Enclosing:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return true;
    case QChar::Separator_Space: return c != ' ';  // no-break and other blanks
    default: return false;
    }
}

QString terminal_text(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        char32_t c = u;
        const bool pair = QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode());
        if (pair) c = QChar::surrogateToUcs4(u, text[i + 1].unicode());
        switch (c) {
        case '\\': shown += QStringLiteral("\\\\"); continue;
        case '\t': shown += QStringLiteral("\\t"); continue;
        case '\n': shown += QStringLiteral("\\n"); continue;
        case '\r': shown += QStringLiteral("\\r"); continue;
        case 0x1B: shown += QStringLiteral("\\e"); continue;
        default: break;
        }
        if (!hidden_on_terminal(c)) {
            shown += text[i];
            if (pair) shown += text[++i];
        } else if (c < 0x20 || c == 0x7F) {
            shown += "\\x" + hex(c, 2);
        } else if (pair) {
            shown += "\\U" + hex(c, 8);
            ++i;
        } else {
            shown += "\\u" + hex(c, 4);
        }
    }
    return shown;
}

}  // namespace calibration
