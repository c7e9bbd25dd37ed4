// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Outside strings (a box's serial or product name, a file's contents, a
// service's answer) on a terminal. Written raw, an escape sequence in a serial
// number rewrites the user's terminal, and a right-to-left override turns
// what follows around, so a question about one box can be made to read as if
// it named another. Invisible characters do the same more quietly: a serial
// with a zero-width space in it looks exactly like the serial without.

#include <QString>

namespace calibration {

// Whether a terminal would act on the character, or show nothing (or only a
// blank) for it, so that two different texts could look the same: the C0 and
// C1 controls and DEL, format characters (zero-width spaces and joiners, the
// soft hyphen, the byte-order mark, the bidirectional embeddings, overrides,
// isolates and marks, tags), combining marks, blanks other than the space,
// the line and paragraph separators, and lone surrogates.
bool hidden_on_terminal(char32_t c);

// text with every such character shown as a visible escape: the C0 controls
// and DEL as \xHH (\t, \n, \r and \e by their usual names), the others as
// \uHHHH (\UHHHHHHHH beyond the first plane). A backslash becomes \\, so
// every result reads back to one text only. Everything else stays as it is.
QString terminal_text(const QString& text);

}  // namespace calibration
