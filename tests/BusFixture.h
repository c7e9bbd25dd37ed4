// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Boxes on an emulated bus, with a clock the test moves by hand; no window.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <vector>

#include "emulator/EmulatedBackend.h"
#include "device/Products.h"
#include "tests/TestSupport.h"

inline constexpr std::uint16_t kTestVid = 0x1209;

class BusFixture : public ::testing::Test {
protected:
    emulator::BoxModel& add_box(std::uint16_t pid = device::kPidKelvo) {
        emulator::BoxIdentity id;
        id.vendor_id = kTestVid;
        id.product_id = pid == device::kPidBootloader ? device::kPidKelvo : pid;
        emulator::BoxModel& box = bus.add_box(id, clock.clock());
        if (pid == device::kPidBootloader) box.power_up_in_bootloader();
        return box;
    }
    // Indices of the SetSetting writes the box received, in order.
    static std::vector<int> setting_writes(const emulator::BoxModel& box) {
        std::vector<int> indices;
        for (const auto& r : box.feature_log())
            if (r.size() > 3 && r[1] == 0xEE) indices.push_back(r[2]);
        return indices;
    }
    // The thresholds kept per box, in a folder of this test's own.
    QTemporaryDir store_dir;
    ManualClock clock;
    emulator::EmulatedBackend bus;
};
