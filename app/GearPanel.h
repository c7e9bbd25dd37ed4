// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Beside the travel map while the gear view is on: which colour is which
// gear, the calibration check, a short line per gear, and under it what the
// "Suggest" button beside the check proposes, read out as they are by a
// screen reader.

#include <QFrame>

#include "monitor/GearCheck.h"
#include "monitor/GearLegend.h"
#include "monitor/GraphView.h"
#include "monitor/Suggest.h"

class QLabel;
class QPushButton;

class GearPanel : public QFrame {
    Q_OBJECT
public:
    // Its width at the design size, in pixels.
    static constexpr int kWidth = 256;

    GearPanel(const monitor::GraphView& map, QWidget* parent);

    // The check of the reports so far against the thresholds on screen.
    void show_check(const monitor::GearCheck& check);
    QString check_text() const;
    // Each rest's margin now and with the suggestion; empty clears it.
    void show_suggestion(const std::optional<monitor::Suggestion>& suggestion);
    QString suggestion_text() const;
    QPushButton* suggest_button() const { return suggest_; }

private:
    monitor::GearLegend* legend_;
    QLabel* lines_;
    QPushButton* suggest_;
    QLabel* suggestion_;
    std::optional<bool> suggested_mode_;  // sequential?
};
