// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/EmulatedBackend.h"

#include <algorithm>
#include <charconv>

namespace emulator {

namespace {

constexpr std::string_view kBoxPrefix = "emu:box";
constexpr std::string_view kForeignPrefix = "emu:foreign";
constexpr std::size_t kPageBytes = 40;  // what one firmware page fills in flash

// Parses the decimal number at the start of text; nullopt unless it is there.
std::optional<std::size_t> number_at(std::string_view text, std::string_view& rest) {
    std::size_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end == text.data()) return std::nullopt;
    rest = text.substr(static_cast<std::size_t>(end - text.data()));
    return value;
}

// Counts itself among the backend's live handles for as long as it exists.
class CountedHandle : public device::HidDevice {
public:
    explicit CountedHandle(std::shared_ptr<int> live) : live_(std::move(live)) { ++*live_; }
    ~CountedHandle() override { --*live_; }
    CountedHandle(const CountedHandle&) = delete;
    CountedHandle& operator=(const CountedHandle&) = delete;

private:
    std::shared_ptr<int> live_;
};

// Runs the cues that a feature report to box has just reached.
void reached(EmulatedBackend::Cues& cues, const BoxModel& box, bool was_bootloader) {
    using Step = EmulatedBackend::Step;
    for (std::size_t i = 0; i < cues.size(); ++i) {
        const EmulatedBackend::Cue& c = cues[i];
        if (c.watched != &box) continue;
        const bool now = c.step == Step::HandedOver
                             ? !was_bootloader && box.in_bootloader()
                             : was_bootloader && box.flash().size() == static_cast<std::size_t>(c.pages) * kPageBytes;
        if (!now) continue;
        // The act may add boxes and cues.
        const std::function<void()> act = std::move(cues[i].act);
        cues.erase(cues.begin() + static_cast<std::ptrdiff_t>(i));
        act();
        return;
    }
}

// A handle on one appearance of a box: once the box left the bus, even if it
// came back since, every call fails as it does on a stale platform handle.
class BoxHandle final : public CountedHandle {
public:
    BoxHandle(BoxModel& box, int generation, std::shared_ptr<int> live, std::shared_ptr<bool> backend_alive,
              std::shared_ptr<EmulatedBackend::Cues> cues)
        : CountedHandle(std::move(live)), box_(box), generation_(generation), backend_alive_(std::move(backend_alive)),
          cues_(std::move(cues)) {}

    std::optional<device::HidCaps> caps() override {
        if (!alive()) return std::nullopt;
        return box_.caps();
    }
    bool send_feature_report(std::span<const std::uint8_t> report) override {
        if (!alive()) return false;
        const bool was_bootloader = box_.in_bootloader();
        const bool taken = box_.set_feature(report);
        if (taken && *backend_alive_) reached(*cues_, box_, was_bootloader);
        return taken;
    }
    int get_feature_report(std::span<std::uint8_t> report) override {
        return alive() ? box_.get_feature(report) : -1;
    }
    int read_input(std::span<std::uint8_t> out) override {
        if (!alive()) return -1;
        const std::optional<std::vector<std::uint8_t>> report = box_.take_input();
        if (!report) return 0;
        const std::size_t n = std::min(report->size(), out.size());
        std::copy_n(report->begin(), n, out.begin());
        return static_cast<int>(n);
    }
    std::optional<std::u16string> manufacturer_string() override { return string(box_.identity().manufacturer); }
    std::optional<std::u16string> product_string() override { return string(box_.identity().product); }
    std::optional<std::u16string> serial_number_string() override { return string(box_.identity().serial); }
    bool probe() override { return alive(); }

private:
    bool alive() const { return *backend_alive_ && box_.present() && box_.generation() == generation_; }
    std::optional<std::u16string> string(const std::u16string& s) const {
        if (!alive() || box_.fail_strings) return std::nullopt;
        return s;
    }

    BoxModel& box_;
    const int generation_;
    std::shared_ptr<bool> backend_alive_;
    std::shared_ptr<EmulatedBackend::Cues> cues_;
};

// Another vendor's interface: present, but it has nothing to say to this tool.
class ForeignHandle final : public CountedHandle {
public:
    using CountedHandle::CountedHandle;
    std::optional<device::HidCaps> caps() override { return std::nullopt; }
    bool send_feature_report(std::span<const std::uint8_t>) override { return false; }
    int get_feature_report(std::span<std::uint8_t>) override { return -1; }
    int read_input(std::span<std::uint8_t>) override { return 0; }
    std::optional<std::u16string> manufacturer_string() override { return std::nullopt; }
    std::optional<std::u16string> product_string() override { return std::nullopt; }
    std::optional<std::u16string> serial_number_string() override { return std::nullopt; }
    bool probe() override { return true; }
};

device::OpenResult not_found() {
    return {nullptr, {device::HidErrorKind::NotFound, "The device is no longer attached."}};
}

}  // namespace

EmulatedBackend::~EmulatedBackend() { *alive_ = false; }

BoxModel& EmulatedBackend::add_box(BoxIdentity identity, Clock clock) {
    boxes_.push_back(std::make_unique<BoxModel>(std::move(identity), std::move(clock)));
    return *boxes_.back();
}

void EmulatedBackend::add_foreign(device::HidAttributes attributes) { foreign_.push_back({attributes}); }

std::vector<device::HidDeviceInfo> EmulatedBackend::enumerate() {
    ++enumerations;
    std::vector<device::HidDeviceInfo> list;
    for (std::size_t i = 0; i < foreign_.size(); ++i)
        list.push_back({std::string(kForeignPrefix) + std::to_string(i), foreign_[i].attributes, {}});
    for (std::size_t n = 0; n < boxes_.size(); ++n) {
        // A platform lists a box plugged in later before the others at times.
        const std::size_t i = list_newest_first ? boxes_.size() - 1 - n : n;
        const BoxModel& box = *boxes_[i];
        if (!box.present()) continue;
        device::HidDeviceInfo info;
        info.path = std::string(kBoxPrefix) + std::to_string(i) + "#" + std::to_string(box.generation());
        if (i >= attributes_unreadable.size() || !attributes_unreadable[i]) info.attributes = box.attributes();
        info.serial = box.identity().serial.substr(0, box.identity().serial.find(u'\0'));
        list.push_back(std::move(info));
    }
    return list;
}

device::OpenResult EmulatedBackend::open(const std::string& path) {
    const std::string_view p = path;
    std::string_view rest;
    if (p.starts_with(kForeignPrefix)) {
        const std::optional<std::size_t> i = number_at(p.substr(kForeignPrefix.size()), rest);
        if (!i || !rest.empty() || *i >= foreign_.size()) return not_found();
        opened_paths.push_back(path);
        return {std::make_unique<ForeignHandle>(live_handles_), {}};
    }
    if (!p.starts_with(kBoxPrefix)) return not_found();
    const std::optional<std::size_t> i = number_at(p.substr(kBoxPrefix.size()), rest);
    if (!i || *i >= boxes_.size() || !rest.starts_with('#')) return not_found();
    const std::optional<std::size_t> generation = number_at(rest.substr(1), rest);
    if (!generation || !rest.empty()) return not_found();

    BoxModel& box = *boxes_[*i];
    if (!box.present() || static_cast<std::size_t>(box.generation()) != *generation) return not_found();
    if (*i < open_errors.size() && open_errors[*i]) return {nullptr, open_errors[*i]};
    opened_paths.push_back(path);
    return {std::make_unique<BoxHandle>(box, box.generation(), live_handles_, alive_, cues_), {}};
}

int EmulatedBackend::open_handles() const { return *live_handles_; }

void EmulatedBackend::at_step(const BoxModel& watched, Step step, std::function<void()> act, int pages) {
    cues_->push_back({&watched, step, pages, std::move(act)});
}

}  // namespace emulator
