// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shifter interface box, as the tool expects it to behave, in software:
// identity and strings, report lengths, a queue of input reports, the five
// application commands, the gear it decodes from its stored thresholds (by
// the rules of GearDecoding.h), and the bootloader that collects firmware
// pages. It knows nothing of how it is
// reached: EmulatedBackend serves it in-process, the hidraw test rig serves it
// through a fake device node.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emulator/GearDecoding.h"
#include "device/Hid.h"

namespace emulator {

using Clock = std::function<std::chrono::milliseconds()>;
// steady_clock in milliseconds.
Clock system_clock();

struct BoxIdentity {
    std::uint16_t vendor_id = 0x1209;
    std::uint16_t product_id = 0x10A0;   // application firmware
    std::uint16_t version = 0x0106;
    std::u16string manufacturer = u"Vantrel";
    std::u16string product = u"Kelvo shifter interface";
    std::u16string serial = u"KV-000123";
};

class BoxModel {
public:
    explicit BoxModel(BoxIdentity identity = {}, Clock clock = system_clock());

    // ---- what a host sees -------------------------------------------------
    // Attributes as the bus lists them now (product ID follows the mode).
    device::HidAttributes attributes() const;
    device::HidCaps caps() const;
    // The report descriptor that declares caps() (no report IDs, vendor page).
    std::vector<std::uint8_t> report_descriptor() const;
    const BoxIdentity& identity() const { return identity_; }
    bool in_bootloader() const;

    // A feature report from the host; report[0] is the report ID (0), the
    // span's size is the length the host passed. False = transfer failed.
    bool set_feature(std::span<const std::uint8_t> report);
    // The host's feature read; fills report[1..]. Answers the bytes it
    // filled, report-ID byte included, or -1 when the transfer failed.
    int get_feature(std::span<std::uint8_t> report);
    // The oldest queued input report without report-ID byte, or nullopt.
    std::optional<std::vector<std::uint8_t>> take_input();
    std::size_t queued_inputs() const { return input_.size(); }

    // ---- the box's own side ----------------------------------------------
    // Moves the stick: queues one input report with the gear decoded from the
    // stored thresholds (application firmware only; the bootloader queues
    // nothing). The queue keeps the newest queue_limit reports, as a host
    // driver does.
    // `reverse_held`: the stick's push-down or reverse switch, for a box whose
    // reverse_rule is Flag (the others do not read it).
    void move_stick(std::uint8_t x, std::uint8_t y, bool sequential = false, bool reverse_held = false);
    // Queues a report with exactly these bytes 1..5 (tests of decoding), in
    // either firmware, as long as the box is present.
    void queue_raw(std::uint8_t x, std::uint8_t y, std::uint8_t gear, std::uint8_t minus, std::uint8_t flags);

    const BoxSettings& settings() const { return settings_; }
    void set_settings(const BoxSettings& s) { settings_ = s; }
    const std::vector<std::uint8_t>& flash() const { return flash_; }
    // Memory that ReadMemory dumps (128 bytes, filled with a pattern by default).
    std::vector<std::uint8_t>& memory() { return memory_; }
    bool tool_attached() const { return tool_attached_; }

    // Every feature report the host wrote, as it arrived (its full length).
    const std::vector<std::vector<std::uint8_t>>& feature_log() const { return feature_log_; }
    void clear_log() { feature_log_.clear(); }

    // ---- presence on the bus ---------------------------------------------
    // Present now? Leaving for the bootloader, or a restart after flashing,
    // keeps the box away for reenumerate_delay.
    bool present() const;
    // Counts how often the box (re)appeared; open handles of an earlier
    // appearance are dead.
    int generation() const;
    void unplug();
    void plug();
    // Restarts the box into its bootloader at once, as a box does that comes
    // up without a valid application (an update that broke off). It is back
    // on the bus right away, with a new generation.
    void power_up_in_bootloader();

    // ---- knobs -----------------------------------------------------------
    ReverseRule reverse_rule = ReverseRule::Position;
    std::chrono::milliseconds reenumerate_delay{1000};
    // Bootloader: restart into the application this long after the last
    // firmware page (a real bootloader jumps to the new firmware once a whole
    // image has arrived; the box keeps it simple and restarts after a pause).
    std::chrono::milliseconds restart_after_flash{300};
    std::size_t queue_limit = 64;
    // The firmware version the box reports after a flashed image restarted it
    // (the box does not read it from the image).
    std::optional<std::uint16_t> version_after_flash;
    // A flashed image starts from the factory thresholds (102 152 64 190 100
    // 155) rather than keeping the ones stored before, as a new firmware may.
    bool factory_settings_after_flash = false;
    device::HidCaps app_caps{6, 65};
    device::HidCaps boot_caps{6, 65};
    bool fail_feature_writes = false;
    // SetSetting for this index is taken (the transfer succeeds) but the box
    // keeps its old value, as a firmware that refuses the value would; -1 = none.
    int ignored_setting = -1;
    bool fail_feature_reads = false;
    bool fail_strings = false;
    // Feature reads answer only this many bytes (report-ID byte included) and
    // leave the rest of the host's buffer as it was; 0 = the whole report.
    std::size_t feature_reply_bytes = 0;
    // Unplugs itself when this many more feature transfers have been made
    // (0 = never).
    int unplug_after_transfers = 0;

private:
    enum class Reply { None, Settings, Memory };

    // Brings the box's state up to the clock: the restart after the last
    // firmware page and the return to the bus after an absence happen when
    // time has passed, not on a call of their own.
    void settle() const;
    void count_transfer();
    void leave_bus(std::chrono::milliseconds now) const;

    // The version changes when a flashed image restarts the box.
    mutable BoxIdentity identity_;
    Clock clock_;
    // A flashed image may reset them when it restarts the box.
    mutable BoxSettings settings_;
    std::vector<std::uint8_t> memory_;
    std::vector<std::uint8_t> flash_;
    // Input reports leave with the box: a host driver drops the queue of a
    // device that left the bus.
    mutable std::deque<std::vector<std::uint8_t>> input_;
    std::vector<std::vector<std::uint8_t>> feature_log_;
    mutable bool bootloader_ = false;
    bool plugged_ = true;
    mutable bool tool_attached_ = false;
    mutable int generation_ = 1;
    // The box is off the bus until away_until_ (and while unplugged).
    mutable bool away_ = false;
    mutable std::chrono::milliseconds away_until_{0};
    // The reply the next feature read answers, as the last command asked.
    mutable Reply reply_ = Reply::None;
    mutable int memory_block_ = 0;
    // The next firmware page begins a new image rather than extending the
    // one already in flash.
    bool fresh_image_ = false;
    // -1 = no page since the bootloader started.
    mutable std::chrono::milliseconds last_page_at_{-1};
};

}  // namespace emulator
