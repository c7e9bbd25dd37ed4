// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Serves one or more BoxModel instances through the tool's HID seam, in
// process. Used by the tests and by --demo.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulator/BoxModel.h"
#include "device/Hid.h"

namespace emulator {

class EmulatedBackend : public device::HidBackend {
public:
    EmulatedBackend() = default;
    // Handles still open afterwards stay safe to use; they answer as dead.
    ~EmulatedBackend() override;
    EmulatedBackend(const EmulatedBackend&) = delete;
    EmulatedBackend& operator=(const EmulatedBackend&) = delete;

    // Boxes are listed in the order added, after `foreign` interfaces of other
    // vendors that are listed first (a keyboard, a mouse).
    BoxModel& add_box(BoxIdentity identity = {}, Clock clock = system_clock());
    void add_foreign(device::HidAttributes attributes);
    std::vector<std::unique_ptr<BoxModel>>& boxes() { return boxes_; }

    // Paths: "emu:foreign<i>" and "emu:box<i>#<generation>", so a path taken
    // before the box left the bus no longer opens after it returned.
    std::vector<device::HidDeviceInfo> enumerate() override;
    // Foreign interfaces open to an inert handle (no reports, no strings) so
    // that tests can see in opened_paths whether the tool opened one.
    device::OpenResult open(const std::string& path) override;

    // ---- knobs -----------------------------------------------------------
    // Boxes are listed newest first (their paths stay as they are).
    bool list_newest_first = false;
    // The platform cannot read the attributes of box i (listed with 0/0).
    std::vector<bool> attributes_unreadable;
    // Opening box i fails with this error (kind None = opens fine).
    std::vector<device::HidError> open_errors;

    // ---- moments of an update, for tests ---------------------------------
    enum class Step {
        HandedOver,  // the box took the order into its bootloader; the first pause follows
        LastPage,    // its bootloader took page number `pages` (counted from 1)
    };
    // Runs act once, right after `watched` reached the step, so that another
    // box can enter or leave its bootloader, or be swapped in, just then.
    void at_step(const BoxModel& watched, Step step, std::function<void()> act, int pages = 0);

    // ---- counters for tests ----------------------------------------------
    int enumerations = 0;
    std::vector<std::string> opened_paths;   // every successful open, in order
    int open_handles() const;                // handles not yet closed

    struct Cue {
        const BoxModel* watched;
        Step step;
        int pages;
        std::function<void()> act;
    };
    using Cues = std::vector<Cue>;

private:
    struct Foreign { device::HidAttributes attributes; };
    std::vector<std::unique_ptr<BoxModel>> boxes_;
    std::vector<Foreign> foreign_;
    std::shared_ptr<int> live_handles_ = std::make_shared<int>(0);
    std::shared_ptr<Cues> cues_ = std::make_shared<Cues>();
    // Cleared when the backend goes, which takes the boxes with it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace emulator
