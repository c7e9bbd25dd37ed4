// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A window on an emulated bus, with a clock the test moves by hand.
#include <memory>

#include "tests/BusFixture.h"
#include "tests/ScriptedDialogs.h"
#include "tests/WindowControls.h"
#include "app/frmMain.h"

class WindowFixture : public BusFixture {
protected:
    frmMain& open() {
        AppConfig config;
        config.vendor_id = kTestVid;
        config.box_store_folder = store_dir.path();
        window = std::make_unique<frmMain>(bus, dialogs, config);
        return *window;
    }
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;
};
