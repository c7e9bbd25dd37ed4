// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CalibrationController.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "app/Dialogs.h"
#include "app/ThresholdEditor.h"
#include "app/UpdateController.h"
#include "calibration/Readout.h"
#include "calibration/Writes.h"

namespace {

const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

const char* const kCalibrationTitle = "Automatic calibration";
const char* const kCalibrationText =
    "Move shifter through all gears several times\r\n\r\nThen click \"Save calibration\" button";

QString words(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

CalibrationController::CalibrationController(const MainControls& ui, WindowState& state,
                                             calibration::BoxSession& session, Dialogs& dialogs,
                                             ThresholdEditor& editor, UpdateController& updates, QWidget& window)
    : QObject(&window), ui_(ui), state_(state), session_(session), dialogs_(dialogs), editor_(editor),
      updates_(updates), window_(window) {}

calibration::Ask CalibrationController::ask(const char* title) {
    return [this, title](const calibration::Question& q) {
        return dialogs_.confirm(&window_, title, words(q.statement) + "\r\n\r\n" + words(q.question));
    };
}

bool CalibrationController::show_write_result(const calibration::WriteResult& r, const char* title) {
    const QString sentence = words(r.status.sentence());
    switch (r.status.fault()) {
    case device::Fault::None:
        ui_.set_saved_line("Saved " + words(calibration::written_values(r.planned)) + " to the box");
        return true;
    case device::Fault::Declined: return false;
    // The working values stay as typed, so that a second save can be tried.
    case device::Fault::NotKept:
        dialogs_.critical(&window_, title, sentence + " The values you set are still in the window; save again.");
        return false;
    default:
        dialogs_.critical(&window_, title, sentence + " Check that the box is plugged in and save again.");
        return false;
    }
}

void CalibrationController::offer_restore() {
    if (!updates_.restarting() || !state_.conn.application()) return;
    update::UpdateSequence& update = *updates_.sequence();
    update.box_back();
    const std::optional<device::Thresholds> offer = update.restore_offer();
    if (!offer) return;
    const bool yes = dialogs_.question(&window_, "Restore calibration",
                                       words(update.restore_statement()) + "\r\n\r\n" +
                                           update::UpdateSequence::kRestoreQuestion);
    const std::optional<calibration::WriteResult> r = update.answer_restore(yes);
    if (!r) return;
    if (r->written > 0) {
        state_.thresholds = *offer;
        editor_.show_thresholds();
    }
    // A failed put-back is told here; the update itself went well.
    if (!r->status) show_write_result(*r, "Restore calibration");
}

void CalibrationController::set_calibration_look(bool calibrating) {
    for (monitor::GraphLine* l : {ui_.lineH1, ui_.LineH2, ui_.lineV1, ui_.lineV2}) l->set_color(calibrating ? kRed : kBlue);
    for (monitor::GraphLine* l : {ui_.SeqH1, ui_.SeqH2}) l->set_color(calibrating ? kRed : kGreen);
    for (QLineEdit* t : {ui_.Text7, ui_.Text8, ui_.Text9, ui_.Text10}) t->setEnabled(!calibrating);
    ui_.cmd_auto_cal->setText(calibrating ? "Cancel calibration" : "Start calibration");
}

void CalibrationController::end_calibration() {
    state_.mon.auto_calibrating = false;
    session_.calibration_ended();
    set_calibration_look(false);
}

void CalibrationController::cmd_auto_cal_Click() {
    if (!state_.mon.auto_calibrating) {
        ui_.set_saved_line("");
        state_.mon.auto_calibrating = true;
        for (monitor::GraphLine* l : {ui_.lineH1, ui_.LineH2, ui_.lineV1, ui_.lineV2, ui_.SeqH1, ui_.SeqH2}) l->set_color(kRed);
        for (QLineEdit* t : {ui_.Text7, ui_.Text8, ui_.Text9, ui_.Text10}) t->setEnabled(false);
        monitor::initialise_values(state_.mon, *ui_.Graph);
        ui_.Graph->repaint();
        QCoreApplication::processEvents();
        dialogs_.information(&window_, kCalibrationTitle, kCalibrationText);
        // The calibration may have been ended while the message was open.
        if (!state_.mon.auto_calibrating) return;
        ui_.cmd_auto_cal->setText("Cancel calibration");
        ui_.btnUpdate->setFocus();
        QCoreApplication::processEvents();
    } else {
        end_calibration();
        emit reread();
    }
}

void CalibrationController::btnUpdate_Click() {
    ui_.set_saved_line("");
    if (!state_.conn.device_found) {
        end_calibration();
        return;
    }
    const bool sequential = state_.last_reported_mode == monitor::kModeSequential;
    // The box being edited commits first, so that what was typed is saved. A
    // box whose text is not a threshold saves nothing: the user is told which
    // box holds what, and the calibration, if any, goes on.
    editor_.commit_drafts();
    std::vector<monitor::Untaken> untaken;
    if (!state_.mon.auto_calibrating)
        for (const monitor::UntakenText& u : monitor::untaken_texts(state_.last_reported_mode, editor_.monitor_controls()))
            untaken.push_back({u.index, u.text.toStdString(), u.problem});
    if (!untaken.empty()) {
        dialogs_.critical(&window_, "Save calibration", words(monitor::refusal_sentence(untaken)));
        return;
    }
    calibration::WriteResult r = session_.write(
        session_.plan_save(state_.thresholds, sequential, state_.mon.gear_record.reports()), ask("Save calibration"));
    // A threshold that does not fit, or a crossed pair the user would not
    // save: nothing was sent, and a calibration goes on so that the user can
    // widen the travel and save again.
    if (r.status == device::Fault::OutOfRange) {
        dialogs_.critical(&window_, "Save calibration",
                          words(r.status.sentence()) + " Move the shifter through all gears and save again.");
        return;
    }
    if (r.status == device::Fault::Declined) return;
    end_calibration();
    // What the user saved now is the calibration to keep across an update,
    // and the box decodes with it from now on: reports decoded with the old
    // lines would read as mismatches.
    if (r.status && updates_.sequence()) updates_.sequence()->calibration_replaced();
    if (r.status) state_.mon.gear_record.clear();
    show_write_result(r, "Save calibration");
}

void CalibrationController::cmd_factory_reset_Click() {
    // Asked before anything changes: a calibration running goes on after a no.
    std::optional<calibration::WriteResult> r;
    if (state_.conn.device_found) {
        r = session_.write(session_.plan_factory_reset(state_.mon.auto_calibrating), ask("Factory reset"));
        if (r->status == device::Fault::Declined) return;
    }
    ui_.set_saved_line("");
    end_calibration();
    state_.thresholds = calibration::factory_thresholds();
    session_.mark_set(calibration::KnownSettings().set());
    monitor::initialise_values(state_.mon, *ui_.Graph);
    ui_.Graph->repaint();
    if (!state_.conn.device_found) {
        emit reread();
        return;
    }
    const calibration::DeviceInfo info = session_.read_info();
    emit info_read(info);
    if (r->status)
        ui_.set_saved_line("Factory reset wrote " + words(calibration::written_values(r->planned)));
    else
        dialogs_.critical(&window_, "Factory reset", words(r->status.sentence()));
}
