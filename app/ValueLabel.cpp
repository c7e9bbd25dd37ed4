// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ValueLabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

const ValueLabel::Glyph& ValueLabel::glyph(QChar c) {
    auto found = glyphs_.find(c);
    if (found != glyphs_.end()) return *found;
    Glyph g;
    g.text = QStaticText(QString(c));
    g.text.setTextFormat(Qt::PlainText);
    g.text.prepare(QTransform(), font());
    g.advance = QFontMetricsF(font()).horizontalAdvance(c);
    return *glyphs_.insert(c, g);
}

void ValueLabel::paintEvent(QPaintEvent*) {
    const QString shown = text();
    if (shown.isEmpty()) return;
    qreal width = 0;
    for (QChar c : shown) width += glyph(c).advance;
    const qreal height = QFontMetricsF(font()).height();
    const QRect r = contentsRect();
    const Qt::Alignment a = alignment();
    qreal x = r.left();
    if (a & Qt::AlignRight) x = r.right() + 1 - width;
    if (a & Qt::AlignHCenter) x = r.left() + (r.width() - width) / 2;
    qreal y = r.top();
    if (a & Qt::AlignBottom) y = r.bottom() + 1 - height;
    if (a & Qt::AlignVCenter) y = r.top() + (r.height() - height) / 2;
    QPainter p(this);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    x = qRound(x);
    for (QChar c : shown) {
        const Glyph& g = glyph(c);
        p.drawStaticText(QPointF(x, qRound(y)), g.text);
        x += g.advance;
    }
}

void ValueLabel::changeEvent(QEvent* e) {
    QLabel::changeEvent(e);
    if (e->type() == QEvent::FontChange) glyphs_.clear();
}
