// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowSizer.h"

#include <QEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <tuple>

#include "app/GearPanel.h"
#include "app/GearView.h"
#include "app/WindowLayout.h"

WindowSizer::WindowSizer(QWidget& window, const MainControls& ui, const GearView& gears, std::function<void()> lay_out)
    : QObject(&window), window_(window), ui_(ui), gears_(gears), lay_out_(std::move(lay_out)) {
    window_.installEventFilter(this);
    ui_.design_area->installEventFilter(this);
}

bool WindowSizer::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ui_.design_area && e->type() == QEvent::Resize) lay_out_();
    if (watched != &window_) return false;
    switch (e->type()) {
    case QEvent::Show:
        if (fitted_) break;
        fitted_ = true;
        // The window manager frames and places the window once it is shown;
        // only then does its frame's size tell whether it fits.
        QTimer::singleShot(200, this, &WindowSizer::fit_to_screen);
        if (QWindow* w = window_.windowHandle())
            connect(w, &QWindow::screenChanged, this, [this] { QTimer::singleShot(200, this, &WindowSizer::fit_to_screen); });
        break;
    case QEvent::Resize: resized(); break;
    case QEvent::WindowStateChange: state_changed(static_cast<QWindowStateChangeEvent*>(e)->oldState()); break;
    default: break;
    }
    return false;
}

void WindowSizer::fit_to_screen() {
    const QScreen* s = window_.screen();
    if (!s || window_.isMaximized() || window_.isFullScreen()) return;
    const QRect free = s->availableGeometry();
    const QRect frame = window_.frameGeometry();
    const QSize frame_extra = frame.size() - window_.size();
    const QSize room = free.size() - frame_extra;
    // A screen too short for the readable minimum: the compact layout where
    // the screen is wide enough for it, else the design area scrolls.
    const QSize least = layout::WindowLayout::minimum_size();
    const QSize compact = layout::WindowLayout::compact_size();
    QSize minimum = least.boundedTo(room);
    const int bar = ui_.scroll_area->verticalScrollBar()->sizeHint().width();
    if (room.height() < least.height() && room.width() >= compact.width() + bar)
        minimum = QSize(compact.width() + bar, std::min(room.height(), layout::WindowLayout::compact_block_height()));
    else if (room.height() < least.height())
        minimum.setWidth(std::min(room.width(), least.width() + bar));
    window_.setMinimumSize(minimum);
    const QSize fitting = window_.size().boundedTo(room).expandedTo(minimum);
    if (fitting != window_.size()) window_.resize(fitting);
    // Wholly on the screen, title bar included.
    QPoint at = frame.topLeft();
    at.setX(std::clamp(at.x(), free.left(), std::max(free.left(), free.right() + 1 - (fitting + frame_extra).width())));
    at.setY(std::clamp(at.y(), free.top(), std::max(free.top(), free.bottom() + 1 - (fitting + frame_extra).height())));
    if (at != frame.topLeft()) window_.move(at);
}

void WindowSizer::resized() {
    // The design area scrolls only below the smallest layout for this size.
    const QSize view = window_.size() - QSize(ui_.scroll_area->verticalScrollBar()->sizeHint().width(), 0);
    ui_.design_area->setMinimumSize(layout::WindowLayout::minimum_for(view, gears_.panel_width()));
    ui_.scroll_area->setGeometry(window_.rect());
    if (!(window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))) {
        earlier_normal_ = {normal_size_, normal_panel_};
        normal_size_ = window_.size();
        normal_panel_ = gears_.panel_width();
    }
}

void WindowSizer::state_changed(Qt::WindowStates was) {
    const Qt::WindowStates large = Qt::WindowMaximized | Qt::WindowFullScreen;
    const Qt::WindowStates now = window_.windowState();
    // The window manager may size the window before it says it maximised
    // it: a size that fills the screen was not the normal one.
    const QSize screen_size = window_.screen() ? window_.screen()->availableGeometry().size() : QSize();
    const QSize frame_extra = window_.frameGeometry().size() - window_.size();
    if (!(was & large) && (now & large) && normal_size_ == window_.size() && earlier_normal_.first.isValid() &&
        window_.size() + frame_extra == screen_size)
        std::tie(normal_size_, normal_panel_) = earlier_normal_;
    if (!(was & large) || (now & (large | Qt::WindowMinimized)) || !normal_size_.isValid()) return;
    // Restored: the size from before, wider or narrower by the gear view's
    // panel if it was switched meanwhile. The window manager puts its own
    // idea of that size first, so this follows it.
    const QSize before = normal_size_ + QSize(gears_.panel_width() - normal_panel_, 0);
    QTimer::singleShot(100, this, [this, before] {
        if (!(window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) && window_.size() != before)
            window_.resize(before);
    });
}

void WindowSizer::panel_shown(bool on) {
    const int panel = GearPanel::kWidth;
    ui_.design_area->setMinimumSize(layout::WindowLayout::minimum_size(gears_.panel_width()));
    if (!window_.isMaximized() && !window_.isFullScreen())
        window_.resize(window_.width() + (on ? panel : -panel), window_.height());
    // Widened past its screen: back onto it, the design area scrolling
    // sideways.
    if (fitted_) QTimer::singleShot(0, this, &WindowSizer::fit_to_screen);
}
