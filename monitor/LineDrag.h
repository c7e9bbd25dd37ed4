// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dragging the threshold lines on the travel map with the mouse. A press
// within a few pixels of a shown line takes it (the nearest one); moving the
// mouse tells the owner the threshold under it, which the owner keeps from
// passing its partner and puts in place; Escape during the drag tells it to
// put the line back. Over a line the cursor shows the way it moves.

#include <QObject>
#include <QPoint>

class QMouseEvent;

namespace monitor {

class GraphLine;
class GraphView;

class LineDrag : public QObject {
    Q_OBJECT
public:
    explicit LineDrag(GraphView& map);

    // How near a press must come to a line to take it, in pixels.
    static constexpr int kGrabDistance = 5;

    // The threshold (device::SettingIndex) of the shown line nearest to a
    // point of the map's widget, within kGrabDistance; -1 for none.
    int line_at(QPoint at) const;
    // The threshold value under a point of the map's widget for the line of
    // `index`: its X for h1 and h2, its Y otherwise; 0..254.
    int value_at(int index, QPoint at) const;
    // The line being dragged; -1 while none is.
    int dragged() const { return dragged_; }

signals:
    void grabbed(int index);
    void moved(int index, int value);
    void released(int index);
    void cancelled(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    GraphLine* line_of(int index) const;
    void hover(QPoint at);

    GraphView& map_;
    int dragged_ = -1;
    int last_value_ = -1;
};

}  // namespace monitor
