// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The product's HID seam over hidapi. Thin on purpose: every decision about
// the box is made above the seam, where the emulated box can exercise it.

#include <string>
#include <string_view>
#include <vector>

#include "device/Hid.h"

namespace device {

class HidapiBackend : public HidBackend {
public:
    // Initialises hidapi once per process; it is released at process exit.
    HidapiBackend();

    // Where a box that may not be opened looks for our udev rule (Linux);
    // tests point it at a folder of their own.
    void set_udev_rule_dirs(std::vector<std::string> dirs) { rule_dirs_ = std::move(dirs); }

    std::vector<HidDeviceInfo> enumerate() override;
    OpenResult open(const std::string& path) override;

    // False when hidapi could not be initialised; enumerate() then lists
    // nothing and open() fails with the reason.
    bool ready() const { return ready_; }

private:
    bool ready_ = false;
    std::vector<std::string> rule_dirs_;
};

// hidapi hands strings over as wchar_t: UTF-32 on Linux and macOS, UTF-16 on
// Windows. Code points that UTF-16 cannot carry become U+FFFD.
std::u16string wide_to_utf16(std::wstring_view text);
std::string wide_to_utf8(std::wstring_view text);

// The sysfs entry of a hidraw node, which holds its report descriptor and
// vanishes with the device: "/dev/hidraw7" -> "/sys/class/hidraw/hidraw7".
// Empty when the path does not name a hidraw node.
std::string hidraw_sysfs_dir(std::string_view device_path);

}  // namespace device
