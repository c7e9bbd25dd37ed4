#pragma once
// Serves one or more BoxModel instances through the tool's HID seam, in
// process. Used by the tests and by --demo.

#include <memory>
#include <string>
#include <vector>

#include "BoxModel.h"
#include "Hid.h"

namespace emulator {

class EmulatedBackend : public device::HidBackend {
public:
    // Boxes are listed in the order added, after `foreign` interfaces of other
    // vendors that are listed first (a keyboard, a mouse).
    BoxModel& add_box(BoxIdentity identity = {}, Clock clock = system_clock());
    void add_foreign(device::HidAttributes attributes);
    std::vector<std::unique_ptr<BoxModel>>& boxes() { return boxes_; }

    std::vector<device::HidDeviceInfo> enumerate() override;
    device::OpenResult open(const std::string& path) override;

    // ---- knobs -----------------------------------------------------------
    // The platform cannot read the attributes of box i (listed with 0/0).
    std::vector<bool> attributes_unreadable;
    // Opening box i fails with this error (kind None = opens fine).
    std::vector<device::HidError> open_errors;

    // ---- counters for tests ----------------------------------------------
    int enumerations = 0;
    std::vector<std::string> opened_paths;   // every successful open, in order
    int open_handles() const;                // handles not yet closed

private:
    struct Foreign { device::HidAttributes attributes; };
    std::vector<std::unique_ptr<BoxModel>> boxes_;
    std::vector<Foreign> foreign_;
    std::shared_ptr<int> live_handles_ = std::make_shared<int>(0);
};

}  // namespace emulator
