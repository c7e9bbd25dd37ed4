// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An update's phases and outcomes, and what the user is told of each: the
// sentences UpdateSequence gives both front ends.

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "device/Result.h"
#include "device/Settings.h"
#include "update/UpdateQuery.h"

namespace update {

enum class Phase {
    Idle,
    Asking,               // the update service is asked
    Offered,              // newer firmware is offered: the user is asked
    Downloading,          // the user accepted; the image is on its way
    HandingOver,          // the box restarts into its update mode
    Writing,              // the pages are written
    Restarting,           // written: the box is awaited with its new firmware
    OfferingCalibration,  // back, with other thresholds: the calibration from before is offered
    Done,
    Failed,
};

// Where a failure came from: the message it is told in.
enum class FailureKind { Service, Download, Box };

struct Failure {
    FailureKind kind = FailureKind::Box;
    device::Status status;  // what went wrong
    // The title of the window's message for it.
    const char* title() const;
};

// How the box's calibration came through the update.
enum class CalibrationOutcome {
    Kept,         // the box holds the thresholds it held before
    Restored,     // the new firmware had started from others; the ones from before were put back
    NotRestored,  // the same, and the user chose to leave them
    Unchecked,    // the box did not answer with its thresholds after the update
};

// What a running phase tells the user ("Writing the firmware: do not unplug
// the box."); empty where there is nothing to say. `answer` is the service's,
// once it has answered.
std::string stage_sentence(Phase phase, const QString& host, const std::optional<UpdateAnswer>& answer);
// "Try downloading firmware from HOST manually".
QString manual_advice(const QString& host);
// The failure told whole: what went wrong and what to do (the manual advice
// for the service and the download; the way back for the box, with `again`).
std::string failure_text(const Failure& failure, const QString& host, const std::string& again);
// What became of the calibration, when there is something to say.
std::string calibration_sentence(CalibrationOutcome outcome);
// The update done, the box running `version`.
std::string done_sentence(std::uint16_t version, CalibrationOutcome outcome);
// The offer of the calibration from before, with the box's thresholds now.
std::string restore_statement(const device::Thresholds& now, const device::Thresholds& before);

}  // namespace update
