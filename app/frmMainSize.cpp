// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <tuple>

#include "app/GearPanel.h"
#include "app/WindowLayout.h"
#include "app/frmMain.h"

// The window's size: fitting its screen, the compact layout on a short one,
// and the size it had before it was maximised when it is restored.

void frmMain::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (fitted_) return;
    fitted_ = true;
    // The window manager frames and places the window once it is shown; only
    // then does its frame's size tell whether it fits.
    QTimer::singleShot(200, this, &frmMain::fit_to_screen);
    if (QWindow* w = windowHandle())
        connect(w, &QWindow::screenChanged, this, [this] { QTimer::singleShot(200, this, &frmMain::fit_to_screen); });
}

void frmMain::fit_to_screen() {
    const QScreen* s = screen();
    if (!s || isMaximized() || isFullScreen()) return;
    const QRect free = s->availableGeometry();
    const QRect frame = frameGeometry();
    const QSize frame_extra = frame.size() - size();
    const QSize room = free.size() - frame_extra;
    // A screen too short for the readable minimum: the compact layout where
    // the screen is wide enough for it, else the design area scrolls.
    const QSize least = layout::WindowLayout::minimum_size();
    const QSize compact = layout::WindowLayout::compact_size();
    QSize minimum = least.boundedTo(room);
    const int bar = scroll_->verticalScrollBar()->sizeHint().width();
    if (room.height() < least.height() && room.width() >= compact.width() + bar)
        minimum = QSize(compact.width() + bar, std::min(room.height(), layout::WindowLayout::compact_block_height()));
    else if (room.height() < least.height())
        minimum.setWidth(std::min(room.width(), least.width() + scroll_->verticalScrollBar()->sizeHint().width()));
    setMinimumSize(minimum);
    const QSize fitting = size().boundedTo(room).expandedTo(minimum);
    if (fitting != size()) resize(fitting);
    // Wholly on the screen, title bar included.
    QPoint at = frame.topLeft();
    at.setX(std::clamp(at.x(), free.left(), std::max(free.left(), free.right() + 1 - (fitting + frame_extra).width())));
    at.setY(std::clamp(at.y(), free.top(), std::max(free.top(), free.bottom() + 1 - (fitting + frame_extra).height())));
    if (at != frame.topLeft()) move(at);
}

bool frmMain::eventFilter(QObject* watched, QEvent* e) {
    if (watched == design_ && e->type() == QEvent::Resize) lay_out();
    return QWidget::eventFilter(watched, e);
}

void frmMain::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // The design area scrolls only below the smallest layout for this size.
    const QSize view = size() - QSize(scroll_->verticalScrollBar()->sizeHint().width(), 0);
    design_->setMinimumSize(layout::WindowLayout::minimum_for(view, panel_width()));
    scroll_->setGeometry(rect());
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))) {
        earlier_normal_ = {normal_size_, normal_panel_};
        normal_size_ = size();
        normal_panel_ = panel_width();
    }
}

void frmMain::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange) return;
    const Qt::WindowStates was = static_cast<QWindowStateChangeEvent*>(e)->oldState();
    const Qt::WindowStates large = Qt::WindowMaximized | Qt::WindowFullScreen;
    // The window manager may size the window before it says it maximised
    // it: a size that fills the screen was not the normal one.
    const QSize screen_size = screen() ? screen()->availableGeometry().size() : QSize();
    const QSize frame_extra = frameGeometry().size() - size();
    if (!(was & large) && (windowState() & large) && normal_size_ == size() && earlier_normal_.first.isValid() &&
        size() + frame_extra == screen_size)
        std::tie(normal_size_, normal_panel_) = earlier_normal_;
    if (!(was & large) || (windowState() & (large | Qt::WindowMinimized)) || !normal_size_.isValid()) return;
    // Restored: the size from before, wider or narrower by the gear view's
    // panel if it was switched meanwhile. The window manager puts its own
    // idea of that size first, so this follows it.
    const QSize before = normal_size_ + QSize(panel_width() - normal_panel_, 0);
    QTimer::singleShot(100, this, [this, before] {
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) && size() != before) resize(before);
    });
}

// The gear view on or off: the window widens or narrows by its panel, so
// that the map keeps its size.
void frmMain::chkGearView_Toggled(bool on) {
    gears_->show(on);
    const int panel = GearPanel::kWidth;
    design_->setMinimumSize(layout::WindowLayout::minimum_size(panel_width()));
    setMinimumSize(minimumSize().expandedTo(QSize(0, 0)));
    if (!isMaximized() && !isFullScreen()) resize(width() + (on ? panel : -panel), height());
    lay_out();
    refresh_gear_check(true);
}
