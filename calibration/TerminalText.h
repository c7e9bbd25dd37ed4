// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Outside strings (a box's serial or product name, a file's contents, a
// service's answer) on a terminal. Written raw, an escape sequence in a serial
// number rewrites the user's terminal, and a right-to-left override turns
// what follows around, so a question about one box can be made to read as if
// it named another.

#include <QString>

namespace calibration {

// text with every character a terminal would act on instead of showing shown
// as a visible escape: the C0 controls and DEL as \xHH (\t, \n, \r and \e by
// their usual names), the C1 controls, the bidirectional embeddings,
// overrides, isolates and marks and the line and paragraph separators as
// \uHHHH, a lone surrogate as \uHHHH too. A backslash becomes \\, so every
// result reads back to one text only. Everything else stays as it is.
QString terminal_text(const QString& text);

}  // namespace calibration
