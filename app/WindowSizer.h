// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's size: fitting its screen, the compact layout on a short one,
// the size it had before it was maximised when it is restored, and the
// gear view's panel widening it. It watches the window's own events.

#include <QObject>
#include <QSize>

#include <functional>
#include <utility>

#include "app/MainControls.h"

class GearView;
class QWidget;

class WindowSizer : public QObject {
    Q_OBJECT
public:
    // `lay_out` places the controls for the design area's size.
    WindowSizer(QWidget& window, const MainControls& ui, const GearView& gears, std::function<void()> lay_out);

    // The gear view was turned on or off: the window widens or narrows by its
    // panel, so that the map keeps its size.
    void panel_shown(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // A window larger than its screen's free area is made to fit it (down to
    // its minimum; below that its design area scrolls).
    void fit_to_screen();
    void resized();
    void state_changed(Qt::WindowStates was);

    QWidget& window_;
    const MainControls& ui_;
    const GearView& gears_;
    std::function<void()> lay_out_;
    bool fitted_ = false;
    // The size the window had last while neither maximised nor full screen,
    // and the gear view's panel width then.
    QSize normal_size_;
    int normal_panel_ = 0;
    std::pair<QSize, int> earlier_normal_;
};
