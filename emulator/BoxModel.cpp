// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/BoxModel.h"

#include <algorithm>

namespace emulator {

namespace {

using std::chrono::milliseconds;

constexpr std::uint16_t kBootloaderProductId = 0xB017;
constexpr std::uint8_t kSetSetting = 0xEE;
constexpr std::uint8_t kReadSettings = 0xF0;
constexpr std::uint8_t kSetToolAttached = 0xDB;
constexpr std::uint8_t kReadMemory = 0xD0;
constexpr std::uint8_t kBootloaderEntry[3] = {0xA7, 0x3C, 0x51};
constexpr int kSettingCount = 6;
constexpr int kMemorySize = 128;
constexpr int kMemoryBlocks = 8;
constexpr int kMemoryBlockSize = 16;
constexpr int kPageSize = 40;

// Input byte 5.
constexpr std::uint8_t kSequentialFlag = 2;

// A short item of the report descriptor whose data takes as few bytes as the
// value needs (unsigned values only: counts and sizes).
void put_item(std::vector<std::uint8_t>& out, std::uint8_t tag, unsigned value) {
    // push_back rather than an initializer-list insert: GCC 12 warns falsely
    // about the latter when it is inlined.
    const bool one_byte = value <= 0xFF;
    out.push_back(static_cast<std::uint8_t>(tag | (one_byte ? 1 : 2)));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    if (!one_byte) out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

Clock system_clock() {
    return [] {
        return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    };
}

BoxModel::BoxModel(BoxIdentity identity, Clock clock)
    : identity_(std::move(identity)), clock_(std::move(clock)), memory_(kMemorySize) {
    constexpr std::size_t kMaxString = 50;
    for (std::u16string* s : {&identity_.manufacturer, &identity_.product, &identity_.serial})
        if (s->size() > kMaxString) s->resize(kMaxString);
    // Every byte differs from every other (37 is odd, so i * 37 runs through
    // all residues mod 256), so a dump with blocks swapped or repeated shows.
    for (int i = 0; i < kMemorySize; ++i) memory_[i] = static_cast<std::uint8_t>(i * 37 + 11);
}

void BoxModel::settle() const {
    const milliseconds now = clock_();
    if (bootloader_ && last_page_at_.count() >= 0 && !away_ && now >= last_page_at_ + restart_after_flash) {
        bootloader_ = false;
        if (version_after_flash) identity_.version = *version_after_flash;
        if (factory_settings_after_flash) settings_ = BoxSettings{};
        leave_bus(last_page_at_ + restart_after_flash);
        last_page_at_ = milliseconds{-1};
    }
    if (away_ && plugged_ && now >= away_until_) {
        away_ = false;
        ++generation_;
    }
}

void BoxModel::leave_bus(milliseconds now) const {
    away_ = true;
    away_until_ = now + reenumerate_delay;
    input_.clear();
    reply_ = Reply::None;
    memory_block_ = 0;
    // The host's flag lives in the box's RAM; every start begins without it.
    tool_attached_ = false;
}

bool BoxModel::present() const {
    settle();
    return plugged_ && !away_;
}

int BoxModel::generation() const {
    settle();
    return generation_;
}

bool BoxModel::in_bootloader() const {
    settle();
    return bootloader_;
}

device::HidAttributes BoxModel::attributes() const {
    settle();
    return {identity_.vendor_id, bootloader_ ? kBootloaderProductId : identity_.product_id, identity_.version};
}

device::HidCaps BoxModel::caps() const {
    settle();
    return bootloader_ ? boot_caps : app_caps;
}

std::vector<std::uint8_t> BoxModel::report_descriptor() const {
    const device::HidCaps c = caps();
    std::vector<std::uint8_t> d{
        0x06, 0x00, 0xFF,  // Usage Page (vendor defined 0xFF00)
        0x09, 0x01,        // Usage (1)
        0xA1, 0x01,        // Collection (Application)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255): two bytes, one would read as -1
        0x75, 0x08,        //   Report Size (8)
    };
    // No Report ID item: the host adds byte 0 itself, so each main item
    // declares one byte less than the length the host counts.
    if (c.input_report_length > 1) {
        put_item(d, 0x94, static_cast<unsigned>(c.input_report_length - 1));  // Report Count
        d.insert(d.end(), {0x09, 0x02, 0x81, 0x02});  // Usage (2), Input (Data, Var, Abs)
    }
    if (c.feature_report_length > 1) {
        put_item(d, 0x94, static_cast<unsigned>(c.feature_report_length - 1));
        d.insert(d.end(), {0x09, 0x03, 0xB1, 0x02});  // Usage (3), Feature (Data, Var, Abs)
    }
    d.push_back(0xC0);  // End Collection
    return d;
}

void BoxModel::count_transfer() {
    if (unplug_after_transfers > 0 && --unplug_after_transfers == 0) unplug();
}

bool BoxModel::set_feature(std::span<const std::uint8_t> report) {
    if (!present()) return false;
    if (fail_feature_writes) {
        count_transfer();
        return false;
    }
    feature_log_.emplace_back(report.begin(), report.end());

    if (bootloader_) {
        // The bootloader takes every report as the next page, whatever it
        // holds: there is no command byte and no address.
        if (fresh_image_) {
            flash_.clear();
            fresh_image_ = false;
        }
        const std::size_t n = std::min<std::size_t>(kPageSize, report.size() > 0 ? report.size() - 1 : 0);
        if (n > 0) flash_.insert(flash_.end(), report.begin() + 1, report.begin() + 1 + static_cast<std::ptrdiff_t>(n));
        // A short transfer still fills a whole page in flash.
        flash_.resize(flash_.size() + (kPageSize - n), 0);
        last_page_at_ = clock_();
        count_transfer();
        return true;
    }

    auto at = [&](std::size_t i) -> std::uint8_t { return i < report.size() ? report[i] : 0; };
    // A command replaces whatever reply an earlier one left unread.
    reply_ = Reply::None;
    if (report.size() >= 4 && std::equal(std::begin(kBootloaderEntry), std::end(kBootloaderEntry), report.begin() + 1)) {
        bootloader_ = true;
        fresh_image_ = true;
        last_page_at_ = milliseconds{-1};
        leave_bus(clock_());
        count_transfer();
        return true;
    }
    switch (at(1)) {
    case kSetSetting:
        if (at(2) < kSettingCount && at(2) != ignored_setting) settings_.value[at(2)] = at(3);
        break;
    case kReadSettings:
        reply_ = Reply::Settings;
        break;
    case kSetToolAttached:
        tool_attached_ = at(2) != 0;
        break;
    case kReadMemory:
        reply_ = Reply::Memory;
        memory_block_ = 0;
        break;
    default:
        break;
    }
    count_transfer();
    return true;
}

int BoxModel::get_feature(std::span<std::uint8_t> full) {
    if (!present()) return -1;
    if (fail_feature_reads) {
        count_transfer();
        return -1;
    }
    const std::span<std::uint8_t> report =
        feature_reply_bytes > 0 ? full.first(std::min(full.size(), feature_reply_bytes)) : full;
    // Without a reply due the box answers zeros; the bootloader never has one.
    if (report.size() > 1) std::fill(report.begin() + 1, report.end(), std::uint8_t{0});
    auto put = [&](std::size_t i, std::uint8_t v) {
        if (i < report.size()) report[i] = v;
    };
    if (reply_ == Reply::Settings) {
        put(1, kReadSettings);
        for (int i = 0; i < kSettingCount; ++i) put(2 + i, settings_.value[i]);
        reply_ = Reply::None;
    } else if (reply_ == Reply::Memory) {
        put(1, kReadMemory);
        for (int i = 0; i < kMemoryBlockSize; ++i) {
            const std::size_t at = static_cast<std::size_t>(memory_block_ * kMemoryBlockSize + i);
            put(2 + i, at < memory_.size() ? memory_[at] : 0);
        }
        if (++memory_block_ == kMemoryBlocks) reply_ = Reply::None;
    }
    count_transfer();
    return static_cast<int>(report.size());
}

std::optional<std::vector<std::uint8_t>> BoxModel::take_input() {
    settle();
    if (input_.empty()) return std::nullopt;
    std::vector<std::uint8_t> r = std::move(input_.front());
    input_.pop_front();
    return r;
}

void BoxModel::move_stick(std::uint8_t x, std::uint8_t y, bool sequential, bool reverse_held) {
    if (!present() || bootloader_) return;
    const DecodedGear g = decode_gear(x, y, sequential, settings_, reverse_rule, reverse_held);
    queue_raw(x, y, g.gear_bits, g.minus, sequential ? kSequentialFlag : 0);
}

void BoxModel::queue_raw(std::uint8_t x, std::uint8_t y, std::uint8_t gear, std::uint8_t minus, std::uint8_t flags) {
    if (!present()) return;
    const int length = caps().input_report_length - 1;
    // A box whose descriptor declares no input data sends nothing.
    if (length <= 0) return;
    std::vector<std::uint8_t> r{x, y, gear, minus, flags};
    r.resize(static_cast<std::size_t>(length), 0);
    input_.push_back(std::move(r));
    while (input_.size() > queue_limit) input_.pop_front();
}

void BoxModel::unplug() {
    settle();
    if (!plugged_) return;
    plugged_ = false;
    // Power is gone: a pending restart after flashing never happens, and the
    // bootloader starts over with a fresh image when it comes back.
    if (bootloader_) {
        last_page_at_ = milliseconds{-1};
        fresh_image_ = true;
    }
    if (away_) {
        // Already off the bus: keep the return time, the box cannot come
        // back before it anyway.
        input_.clear();
        return;
    }
    leave_bus(clock_());
    away_until_ = clock_();
}

void BoxModel::power_up_in_bootloader() {
    settle();
    bootloader_ = true;
    fresh_image_ = true;
    last_page_at_ = milliseconds{-1};
    const milliseconds now = clock_();
    leave_bus(now);
    away_until_ = now;
    settle();
}

void BoxModel::plug() {
    plugged_ = true;
    settle();
}

}  // namespace emulator
