// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every modal message the window shows goes through this interface, so tests
// can answer them without a person.

#include <QString>

class QWidget;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void information(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void critical(QWidget* parent, const QString& title, const QString& text) = 0;
    // OK / Cancel; true for OK.
    virtual bool question(QWidget* parent, const QString& title, const QString& text) = 0;
    // Yes / No with No as the default button, for doing something the user
    // would rather not; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& title, const QString& text) = 0;
};

class MessageBoxDialogs : public Dialogs {
public:
    void information(QWidget* parent, const QString& title, const QString& text) override;
    void critical(QWidget* parent, const QString& title, const QString& text) override;
    bool question(QWidget* parent, const QString& title, const QString& text) override;
    bool confirm(QWidget* parent, const QString& title, const QString& text) override;
};
