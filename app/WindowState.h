// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window holds: how it was started, and the state its procedures
// share.

#include <QString>

#include <cstdint>

#include "device/Connection.h"
#include "device/Settings.h"
#include "monitor/MonitorState.h"

struct AppConfig {
    std::uint16_t vendor_id = 0;
    QString update_host;
    // Where the last thresholds read from each box are kept; empty = the
    // user's application data folder.
    QString box_store_folder;
};

// Everything the window's procedures share.
struct WindowState {
    device::DeviceConnection conn;
    monitor::MonitorState mon;
    device::Thresholds thresholds;
    // Mode of the first report of the batch the monitor decoded last: the mode
    // whose layout and thresholds the window shows. Nothing decoded yet reads
    // as H-pattern.
    std::uint8_t last_reported_mode = monitor::kModeH;
};
