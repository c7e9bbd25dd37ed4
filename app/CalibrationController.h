// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's calibration: the automatic calibration started and cancelled,
// "Save calibration", the factory reset, and the calibration offered back
// after a firmware update. What may reach the box is the box session's rule;
// this asks the user its questions and says how each write ended.

#include <QObject>

#include "app/MainControls.h"
#include "app/WindowState.h"
#include "calibration/BoxSession.h"

class Dialogs;
class ThresholdEditor;
class UpdateController;
class QWidget;

class CalibrationController : public QObject {
    Q_OBJECT
public:
    CalibrationController(const MainControls& ui, WindowState& state, calibration::BoxSession& session,
                          Dialogs& dialogs, ThresholdEditor& editor, UpdateController& updates, QWidget& window);

    // The buttons' handlers.
    void cmd_auto_cal_Click();
    void btnUpdate_Click();
    void cmd_factory_reset_Click();
    // The box back from a firmware update: its earlier calibration offered.
    void offer_restore();

signals:
    // The box's values are to be read and shown anew.
    void reread();
    // The box's values, read after a factory reset.
    void info_read(const calibration::DeviceInfo& info);

private:
    void set_calibration_look(bool calibrating);
    void end_calibration();
    // Asks the session's questions as Yes/No messages with No by default.
    calibration::Ask ask(const char* title);
    // Tells the user how a write ended; true when the box kept everything.
    bool show_write_result(const calibration::WriteResult& r, const char* title);

    const MainControls& ui_;
    WindowState& state_;
    calibration::BoxSession& session_;
    Dialogs& dialogs_;
    ThresholdEditor& editor_;
    UpdateController& updates_;
    QWidget& window_;
};
