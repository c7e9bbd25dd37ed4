// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A label for the stick's X and Y values, which change on every tick. The
// values are numbers, whose digits stand side by side without kerning or
// shaping between them, so each character is laid out once and kept: a tick
// draws its value from the kept characters instead of laying out its text
// anew. Text, alignment and colours are the label's own.

#include <QHash>
#include <QLabel>
#include <QStaticText>

class ValueLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    struct Glyph {
        QStaticText text;
        qreal advance = 0;
    };
    const Glyph& glyph(QChar c);
    QHash<QChar, Glyph> glyphs_;
};
