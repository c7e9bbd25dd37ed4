// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/GearNames.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>

#include "monitor/Palette.h"

namespace monitor {

std::vector<GearName> place_gear_names(const std::array<QPoint, kGearCount>& middles,
                                       const std::function<QSize(Gear)>& name_size, QSize area,
                                       std::span<const QRgb> inked) {
    const int w = area.width();
    const int h = area.height();
    // Points of the trace a name would hide.
    auto covered = [&](const QRect& box) {
        int n = 0;
        for (int y = std::max(box.top(), 0); y <= std::min(box.bottom(), h - 1); ++y)
            for (int x = std::max(box.left(), 0); x <= std::min(box.right(), w - 1); ++x)
                n += inked[static_cast<std::size_t>(y) * w + x] != 0;
        return n;
    };
    std::vector<GearName> names;
    for (int g = 0; g < kGearCount; ++g) {
        const Gear gear = static_cast<Gear>(g);
        const QPoint middle = middles[static_cast<std::size_t>(g)];
        if (middle == QPoint(-1, -1) || gear == Gear::Between) continue;
        const QSize size = name_size(gear);
        // Beside the middle of the gear's points rather than on them.
        const int dx = size.width() / 2 + 4, dy = size.height() / 2 + 4;
        QRect best;
        int best_cost = 0;
        for (const QPoint offset : {QPoint(dx, 0), QPoint(-dx, 0), QPoint(0, -dy), QPoint(0, dy)}) {
            QRect box(QPoint(0, 0), size);
            box.moveCenter(middle + offset);
            box.moveLeft(std::clamp(box.left(), 0, std::max(0, w - box.width())));
            box.moveTop(std::clamp(box.top(), 0, std::max(0, h - box.height())));
            int cost = covered(box);
            for (const GearName& other : names)
                if (other.box.intersects(box)) cost += w * h;
            if (best.isNull() || cost < best_cost) {
                best = box;
                best_cost = cost;
            }
        }
        names.push_back({gear, best});
    }
    return names;
}

QImage gear_name_label(Gear gear, const QFont& font, QColor paper, qreal device_pixel_ratio) {
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(11);
    const QFontMetrics metrics(bold);
    const QString name = QString::fromLatin1(gear_name(gear));
    const QSize size(metrics.horizontalAdvance(name) + 8, metrics.height() + 2);
    QImage image(size * device_pixel_ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(device_pixel_ratio);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        QColor fill = paper;
        fill.setAlpha(220);
        p.fillRect(QRect(QPoint(0, 0), size), fill);
        p.setPen(QPen(gear_color(gear, paper), 2));
        p.drawRect(QRectF(QPoint(0, 0), size).adjusted(1, 1, -1, -1));
        p.setFont(bold);
        p.setPen(text_on(paper));
        p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, name);
    }
    return image;
}

}  // namespace monitor
