// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's controls, by their design names, and how they are made: every
// control with its caption and place, what a screen reader says of it, the
// keyboard's order and the buttons' mnemonics. The window takes them as its
// own names; what the controls do is the window's.

#include <QString>

#include "monitor/GraphView.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTimer;
class QWidget;

struct MainControls {
    QPushButton* cmd_auto_cal = nullptr;
    QPushButton* cmd_factory_reset = nullptr;
    QWidget* Pic = nullptr;
    QWidget* Progress = nullptr;
    QPushButton* cmd_CheckFirmware = nullptr;
    QPushButton* btnUpdate = nullptr;
    QLineEdit* Text10 = nullptr;
    QLineEdit* Text9 = nullptr;
    QLineEdit* Text8 = nullptr;
    QLineEdit* Text7 = nullptr;
    QTimer* Timer = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblProduct = nullptr;
    QLabel* lblManuf = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    monitor::GraphView* Graph = nullptr;
    // Graph's threshold lines by their design names: lineV1 h1, lineV2 h2,
    // lineH1 v2, LineH2 v1, SeqH1 s2, SeqH2 s1.
    monitor::GraphLine* lineV1 = nullptr;
    monitor::GraphLine* lineV2 = nullptr;
    monitor::GraphLine* lineH1 = nullptr;
    monitor::GraphLine* LineH2 = nullptr;
    monitor::GraphLine* SeqH1 = nullptr;
    monitor::GraphLine* SeqH2 = nullptr;
    QLabel* Gear = nullptr;
    QWidget* TickV2 = nullptr;
    QWidget* TickV1 = nullptr;
    QWidget* TickH1 = nullptr;
    QWidget* TickH2 = nullptr;
    QLabel* lblY = nullptr;
    QLabel* lblX = nullptr;
    // Plain sentences about a box that is present but cannot be served, or
    // that there is no box to plug in.
    QLabel* lblNotice = nullptr;
    // Under the information frame: what the last save, or the last firmware
    // update, put into the box. Cleared on the next change.
    QLabel* lblSaved = nullptr;
    // Beside the update's progress frame: a button that stops the image's
    // download, and how far the bar has come in percent.
    QPushButton* cmd_StopDownload = nullptr;
    QLabel* lblProgress = nullptr;
    // Beside the map: the gear view (the trace coloured by the gear the box
    // decoded) instead of the plain trace, with the calibration check.
    QCheckBox* chkGearView = nullptr;
    // The mode on show ("H-pattern" or "Sequential"), and beside each
    // threshold box the name of the threshold it holds.
    QLabel* lblMode = nullptr;
    QLabel* lblName7 = nullptr;
    QLabel* lblName8 = nullptr;
    QLabel* lblName9 = nullptr;
    QLabel* lblName10 = nullptr;
    // The design area, in a scroll area that fills the window and scrolls
    // only on a screen too small for it.
    QScrollArea* scroll_area = nullptr;
    QWidget* design_area = nullptr;

    // Makes every control in `window` at its design place, with its name,
    // caption and accessible texts, the keyboard's order and the buttons'
    // mnemonics.
    void build(QWidget* window);
    // The controls anchored to the window's edges where a window of the
    // design area's size, with a gear panel `panel_width` wide, puts them.
    void lay_out(int panel_width) const;
    // The box's values say their caption and their value to a screen reader.
    void name_value_labels() const;
    void set_saved_line(const QString& text) const;
};
