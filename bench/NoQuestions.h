// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dialogs for a window the benchmarks drive: nothing is shown, every
// question is answered No.
#include "app/Dialogs.h"

class NoQuestions : public Dialogs {
public:
    void information(QWidget*, const QString&, const QString&) override {}
    void critical(QWidget*, const QString&, const QString&) override {}
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    bool confirm(QWidget*, const QString&, const QString&) override { return false; }
};
