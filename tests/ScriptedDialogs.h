// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Answers the window's messages without a person and remembers them.
#include <QString>
#include <functional>
#include <vector>

#include "app/Dialogs.h"

class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString kind;  // "information", "critical", "question", "confirm"
        QString title;
        QString text;
    };
    std::vector<Shown> shown;
    bool answer = true;
    // Runs while a message is "open" (the real box is modal and the event loop
    // keeps running, so ticks can arrive meanwhile).
    std::function<void()> while_open;

    void information(QWidget*, const QString& title, const QString& text) override { record("information", title, text); }
    void critical(QWidget*, const QString& title, const QString& text) override { record("critical", title, text); }
    bool question(QWidget*, const QString& title, const QString& text) override {
        record("question", title, text);
        return answer;
    }
    bool confirm(QWidget*, const QString& title, const QString& text) override {
        record("confirm", title, text);
        return answer;
    }

private:
    void record(const char* kind, const QString& title, const QString& text) {
        shown.push_back({kind, title, text});
        if (while_open) while_open();
    }
};
