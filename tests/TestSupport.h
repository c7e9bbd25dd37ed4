// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small things several test areas share.
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "emulator/BoxModel.h"
#include "device/Result.h"

// A clock the test moves by hand, for the box's timed behaviour.
struct ManualClock {
    std::chrono::milliseconds now{0};
    emulator::Clock clock() {
        return [this] { return now; };
    }
};

// A report of `length` bytes that starts with `head` and is zero after it.
inline std::vector<std::uint8_t> report_bytes(std::initializer_list<int> head, std::size_t length = 65) {
    std::vector<std::uint8_t> v(length, 0);
    std::size_t i = 0;
    for (int b : head) v[i++] = static_cast<std::uint8_t>(b);
    return v;
}

// A command's status, with the value it read put into out.
template <class T>
device::Status into(const device::Result<T>& r, T& out) {
    if (r) out = *r;
    return r.status();
}
