// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/GearLegend.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <vector>

#include "monitor/GearRecord.h"
#include "monitor/GraphView.h"
#include "monitor/Palette.h"

namespace monitor {

namespace {

constexpr int kSwatch = 12;
constexpr int kLegendPad = 4;

std::vector<Gear> legend_gears(bool sequential) {
    if (sequential) return {Gear::Plus, Gear::Minus, Gear::Neutral};
    return {Gear::G1, Gear::G2, Gear::G3, Gear::G4, Gear::G5, Gear::G6, Gear::Reverse, Gear::Neutral};
}

}  // namespace

GearLegend::GearLegend(const GraphView& map, QWidget* parent) : QWidget(parent), map_(map) {
    setAccessibleName("Gear colours");
    setAccessibleDescription("The colour of each gear's points on the travel map; each gear's name is also written "
                             "at the middle of its points.");
}

void GearLegend::set_sequential(bool sequential) {
    if (sequential == sequential_) return;
    sequential_ = sequential;
    updateGeometry();
    update();
}

QSize GearLegend::sizeHint() const {
    const QFontMetrics metrics(font());
    int width = kLegendPad;
    for (Gear g : legend_gears(sequential_))
        width += kSwatch + 3 + metrics.horizontalAdvance(QString::fromLatin1(gear_name(g))) + 2 * kLegendPad;
    return QSize(width, std::max(kSwatch, metrics.height()) + 2 * kLegendPad);
}

void GearLegend::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor paper = map_.paper();
    p.fillRect(rect(), paper);
    p.setPen(text_on(paper));
    const QFontMetrics metrics(font());
    int x = kLegendPad;
    for (Gear g : legend_gears(sequential_)) {
        const QString name = QString::fromLatin1(gear_name(g));
        p.fillRect(QRect(x, (height() - kSwatch) / 2, kSwatch, kSwatch), gear_color(g, paper));
        x += kSwatch + 3;
        const int advance = metrics.horizontalAdvance(name);
        p.drawText(QRect(x, 0, advance, height()), Qt::AlignVCenter | Qt::AlignLeft, name);
        x += advance + 2 * kLegendPad;
    }
}

}  // namespace monitor
