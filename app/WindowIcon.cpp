// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowIcon.h"

#include <QPainter>
#include <QPixmap>

QIcon window_icon() {
    QIcon icon;
    // Up to 64 pixels: a window manager scales for its switcher, and menus show
    // the installed SVG; 128 and 256 cost the window a megabyte at its start.
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x24, 0x30, 0x3c));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        QPen threshold(QColor(0xe8, 0xa3, 0x3c), 1.5);
        threshold.setDashPattern({2, 4.0 / 3});
        p.setPen(threshold);
        p.drawLine(QLineF(8, 23, 56, 23));
        p.drawLine(QLineF(8, 41, 56, 41));
        QPen gate(QColor(0xc8, 0xd2, 0xdc), 4, Qt::SolidLine, Qt::RoundCap);
        p.setPen(gate);
        p.drawLine(QLineF(16, 14, 16, 50));
        p.drawLine(QLineF(32, 14, 32, 50));
        p.drawLine(QLineF(48, 14, 48, 55));
        p.drawLine(QLineF(16, 32, 48, 32));
        p.setPen(QPen(QColor(0xf2, 0xf2, 0xf2), 2));
        p.setBrush(QColor(0xd6, 0x4a, 0x3a));
        p.drawEllipse(QPointF(48, 15), 6.5, 6.5);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
