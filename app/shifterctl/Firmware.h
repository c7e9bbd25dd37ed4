// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a firmware write keeps while it runs, for flash and update alike.

#include <QString>
#include <chrono>

#include "app/shifterctl/Context.h"
#include "update/Flasher.h"
#include "update/UpdateSequence.h"

namespace ctl::firmware {

struct Job {
    explicit Job(Context& context) : c(context) {}
    Context& c;
    // The time the waits have waited: the clock they are measured on.
    std::chrono::milliseconds waited{0};
    update::UpdateSequence* sequence = nullptr;  // the update running, for its stages
    QString told_stage;
    bool warned = false;  // the first stop request has been warned of
};

// The flasher's waits, clock, progress and stop requests, over the job.
update::FlashEnvironment flash_environment(Job& j);
// The running update's stage, named on err once each.
void tell_stage(Job& j);
int flash_failed(Job& j, const update::FlashOutcome& outcome, const QString& again);

}  // namespace ctl::firmware
