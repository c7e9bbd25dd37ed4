// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ThresholdBox.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>

#include "monitor/Palette.h"

void ThresholdBox::set_problem(const QString& problem) {
    if (problem == problem_) return;
    problem_ = problem;
    setToolTip(problem);
    update();
}

QColor ThresholdBox::border_color(QColor background) {
    // Red darkened over a light background, lightened over a dark one, until
    // it stands out as the threshold lines do.
    if (background.lightness() >= 128) return QColor(204, 0, 0);
    return monitor::line_ink(QColor(255, 0, 0), background);
}

void ThresholdBox::paintEvent(QPaintEvent* e) {
    QLineEdit::paintEvent(e);
    if (problem_.isEmpty()) return;
    QPainter p(this);
    constexpr int kWidth = 2;
    p.setPen(QPen(border_color(palette().color(QPalette::Base)), kWidth));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0));
}

void ThresholdBox::keyPressEvent(QKeyEvent* e) {
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && e->key() == Qt::Key_Escape) {
        emit revert_asked();
        return;
    }
    if (plain && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)) {
        emit step_asked(e->key() == Qt::Key_Up ? 1 : -1);
        return;
    }
    // Enter commits here and is not passed on, so that it presses no button.
    if (plain && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        emit commit_asked();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void ThresholdBox::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    // A context menu or another window taking the keyboard for a moment is
    // not leaving the box.
    if (e->reason() != Qt::PopupFocusReason && e->reason() != Qt::ActiveWindowFocusReason) emit commit_asked();
}
