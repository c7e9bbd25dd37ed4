// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ThresholdBox.h"

#include <QPainter>
#include <QPen>

#include "GraphView.h"

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
