// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeptButton.h"

#include <QPaintEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

void KeptButton::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const qreal scale = devicePixelRatioF();
    const Look look{option.state, static_cast<int>(option.features), size(), option.text, option.icon.cacheKey(),
                    palette().cacheKey(), font(), scale, style()};
    if (picture_.isNull() || !(look == look_)) {
        picture_ = QPixmap(size() * scale);
        picture_.setDevicePixelRatio(scale);
        picture_.fill(Qt::transparent);
        QStylePainter p(&picture_, this);
        p.drawControl(QStyle::CE_PushButton, option);
        look_ = look;
    }
    // Whole, clipped to what is asked for: parts blitted one by one would
    // show seams at a fractional scale.
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}
