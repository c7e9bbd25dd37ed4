// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A push button that keeps its look as a picture and paints from it. The
// stick's X value moves along the top edge of the button row on every tick,
// and Qt repaints whatever lies under a label that moved: without the
// picture, each tick would lay out and draw the buttons' captions again. The
// picture is drawn anew whenever anything of the button's look changes (its
// state, caption, size, palette, font, style or scale).

#include <QCheckBox>
#include <QFont>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>

// The caption as the style is to draw it with `letter` underlined (its first
// occurrence in either case): the letter that Alt presses the control with.
// The control's own text stays the caption itself.
QString with_mnemonic(const QString& caption, QChar letter);

class KeptButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    void set_mnemonic(QChar letter);
    QChar mnemonic() const { return mnemonic_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    struct Look {
        QStyle::State state;
        int features = 0;
        QSize size;
        QString text;
        qint64 icon = 0;
        qint64 palette = 0;
        QFont font;
        qreal scale = 0;
        const QStyle* style = nullptr;
        bool operator==(const Look&) const = default;
    };
    Look look_;
    QPixmap picture_;
    QChar mnemonic_;
};

// A check box whose caption shows its Alt letter underlined the same way.
class MnemonicCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
    void set_mnemonic(QChar letter);
    QChar mnemonic() const { return mnemonic_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QChar mnemonic_;
};
