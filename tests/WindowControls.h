// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window as a user meets it: its controls found by their names, buttons
// clicked with the mouse, and the monitor's timer firing.
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <stdexcept>
#include <string>

// The window's control of that name and kind; a missing one fails the test.
template <class T>
T* control(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::logic_error(std::string("the window has no control named ") + name);
    return found;
}

// A left click in the middle of the button, as the mouse gives it: a hidden
// or disabled button takes none.
inline void click(QWidget& window, const char* name) {
    QTest::mouseClick(control<QAbstractButton>(window, name), Qt::LeftButton);
}

// One tick of the window's timer, whether or not it runs.
inline void tick(QWidget& window) {
    QMetaObject::invokeMethod(control<QTimer>(window, "Timer"), "timeout", Qt::DirectConnection);
}
