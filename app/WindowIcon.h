// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The window's icon: the shifter's gate with two threshold lines and the knob
// in fifth, as the desktop entry's icon draws it, at each size a desktop asks.
QIcon window_icon();
