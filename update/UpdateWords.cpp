// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/UpdateWords.h"

#include "calibration/Words.h"

namespace update {

const char* Failure::title() const {
    switch (kind) {
    case FailureKind::Service: return "Website access error";
    case FailureKind::Download: return "Firmware download error";
    case FailureKind::Box: return "Firmware update error";
    }
    return "Firmware update error";
}

std::string stage_sentence(Phase phase, const QString& host, const std::optional<UpdateAnswer>& answer) {
    switch (phase) {
    case Phase::Asking: return "Asking the update service at " + host.toStdString() + " for the newest firmware.";
    case Phase::Downloading:
        return "Downloading firmware " + version_display(answer->version_text).toStdString() + ".";
    case Phase::HandingOver: return "The box is switching to its update mode: do not unplug the box.";
    case Phase::Writing: return "Writing the firmware: do not unplug the box.";
    case Phase::Restarting: return "The box is restarting with its new firmware.";
    default: return {};
    }
}

QString manual_advice(const QString& host) { return "Try downloading firmware from " + host + " manually"; }

std::string failure_text(const Failure& failure, const QString& host, const std::string& again) {
    if (failure.kind == FailureKind::Box) return calibration::failure_text(failure.status, again);
    return failure.status.sentence() + " " + manual_advice(host).toStdString() + ".";
}

std::string calibration_sentence(CalibrationOutcome outcome) {
    switch (outcome) {
    case CalibrationOutcome::Restored: return "The calibration from before was put back.";
    case CalibrationOutcome::Unchecked:
        return "The calibration could not be checked: the box did not answer with its thresholds.";
    default: return {};
    }
}

std::string done_sentence(std::uint16_t version_number, CalibrationOutcome outcome) {
    const std::string version = calibration::version_text(version_number).toStdString();
    if (outcome == CalibrationOutcome::Restored)
        return "The box now runs firmware " + version + ", with its calibration put back.";
    const std::string then = calibration_sentence(outcome);
    return "Firmware updated: the box now runs version " + version + "." + (then.empty() ? "" : " " + then);
}

std::string restore_statement(const device::Thresholds& now, const device::Thresholds& before) {
    return "The box holds other thresholds than before the firmware update (a new firmware may start from its "
           "factory values). Now: " +
           calibration::thresholds_line(now) + ". Before: " + calibration::thresholds_line(before) + ".";
}

}  // namespace update
