// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/LineDrag.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

#include "monitor/GraphView.h"
#include "device/Settings.h"

namespace monitor {

namespace {

bool is_vertical(int index) { return index == device::kH1 || index == device::kH2; }

}  // namespace

LineDrag::LineDrag(GraphView& map) : QObject(&map), map_(map) {
    map.setMouseTracking(true);
    map.installEventFilter(this);
}

GraphLine* LineDrag::line_of(int index) const {
    GraphLine* const lines[] = {map_.line_h1, map_.line_h2, map_.line_v1, map_.line_v2, map_.line_s1, map_.line_s2};
    return index >= 0 && index < device::kSettingCount ? lines[index] : nullptr;
}

int LineDrag::line_at(QPoint at) const {
    const QPointF in_area = at - map_.contentsRect().topLeft();
    int nearest = -1;
    double best = kGrabDistance + 0.5;
    for (int index = 0; index < device::kSettingCount; ++index) {
        const GraphLine* line = line_of(index);
        if (!line->isVisible()) continue;
        const double distance = is_vertical(index) ? std::abs(in_area.x() - line->X1) : std::abs(in_area.y() - line->Y1);
        if (distance < best) {
            best = distance;
            nearest = index;
        }
    }
    return nearest;
}

int LineDrag::value_at(int index, QPoint at) const {
    const QPointF in_area = at - map_.contentsRect().topLeft();
    const double width = std::max(1, map_.ScaleWidth());
    const double height = std::max(1, map_.ScaleHeight());
    const double raw = is_vertical(index) ? in_area.x() / width * 255.0 : 255.0 - in_area.y() / height * 255.0;
    return std::clamp(static_cast<int>(std::lround(raw)), 0, 254);
}

void LineDrag::hover(QPoint at) {
    const int index = line_at(at);
    if (index < 0)
        map_.unsetCursor();
    else
        map_.setCursor(is_vertical(index) ? Qt::SplitHCursor : Qt::SplitVCursor);
}

bool LineDrag::eventFilter(QObject* watched, QEvent* e) {
    if (watched != &map_) return false;
    switch (e->type()) {
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() != Qt::LeftButton || dragged_ >= 0) return false;
        dragged_ = line_at(m->position().toPoint());
        if (dragged_ < 0) return false;
        last_value_ = -1;
        emit grabbed(dragged_);
        return false;  // the map still takes the keyboard
    }
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (dragged_ < 0) {
            if (m->buttons() == Qt::NoButton) hover(m->position().toPoint());
            return false;
        }
        // A move within the same count costs nothing.
        const int value = value_at(dragged_, m->position().toPoint());
        if (value == last_value_) return true;
        last_value_ = value;
        emit moved(dragged_, value);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() != Qt::LeftButton || dragged_ < 0) return false;
        const int index = dragged_;
        dragged_ = -1;
        emit released(index);
        return true;
    }
    case QEvent::KeyPress: {
        if (dragged_ < 0 || static_cast<QKeyEvent*>(e)->key() != Qt::Key_Escape) return false;
        const int index = dragged_;
        dragged_ = -1;
        emit cancelled(index);
        return true;
    }
    default: return false;
    }
}

}  // namespace monitor
