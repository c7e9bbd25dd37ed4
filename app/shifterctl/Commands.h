// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The functions that run the commands, by family; each answers the command's
// exit status.

#include "app/shifterctl/CommandLine.h"

namespace ctl {

struct Context;

using Handler = int (*)(Context&);

// The function that runs the command of the table with this id.
Handler handler(CommandId id);

// Cli.cpp
int help(Context& c);

// The commands that read or change the box (BoxCommands.cpp).
namespace box {
int list(Context& c);
int info(Context& c);
int settings(Context& c);
int set(Context& c);
int factory_reset(Context& c);
int monitor(Context& c);
}  // namespace box

// The gear check (GearCommands.cpp).
int gears(Context& c);

// The calibration file (FileCommands.cpp).
namespace file {
int backup(Context& c);
int restore(Context& c);
}  // namespace file

// Firmware: an image file (FlashCommand.cpp) or the update service's
// (UpdateCommands.cpp).
namespace firmware {
int flash(Context& c);
int check_update(Context& c);
int update(Context& c);
}  // namespace firmware

}  // namespace ctl
