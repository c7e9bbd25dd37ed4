// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QWidget>

namespace monitor {

class GraphView;

// The gear view's legend, for beside the map: a swatch of each gear's colour
// on the map's background with the gear's name, for one mode's gears.
class GearLegend : public QWidget {
    Q_OBJECT
public:
    explicit GearLegend(const GraphView& map, QWidget* parent = nullptr);
    void set_sequential(bool sequential);
    bool sequential() const { return sequential_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    const GraphView& map_;
    bool sequential_ = false;
};

}  // namespace monitor
