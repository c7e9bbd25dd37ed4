// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/KeptButton.h"

#include <QPaintEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

QString with_mnemonic(const QString& caption, QChar letter) {
    QString text = caption;
    text.replace('&', "&&");
    const qsizetype at = letter.isNull() ? -1 : text.indexOf(letter, 0, Qt::CaseInsensitive);
    if (at >= 0) text.insert(at, '&');
    return text;
}

void KeptButton::set_mnemonic(QChar letter) {
    mnemonic_ = letter;
    update();
}

void KeptButton::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = with_mnemonic(option.text, mnemonic_);
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

void MnemonicCheckBox::set_mnemonic(QChar letter) {
    mnemonic_ = letter;
    update();
}

void MnemonicCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = with_mnemonic(option.text, mnemonic_);
    p.drawControl(QStyle::CE_CheckBox, option);
}
