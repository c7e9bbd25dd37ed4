// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/App.h"

int main(int argc, char** argv) { return run_app(argc, argv); }
