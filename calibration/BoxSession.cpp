// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/BoxSession.h"

#include "device/Commands.h"
#include "monitor/GearCheck.h"
#include "device/Products.h"
#include "calibration/Words.h"

namespace calibration {

using device::Fault;
using device::Status;
using device::Thresholds;

namespace {

// The names of writes, "v2 and v1", "h1, h2 and s1".
std::string names(const std::vector<SettingWrite>& writes, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        if (i > from) text += i + 1 == to ? " and " : ", ";
        text += device::setting_name(writes[i].index);
    }
    return text;
}

Status broken_off(const WriteResult& r) {
    const std::size_t n = r.planned.size();
    std::string sentence;
    if (r.written == 0) {
        sentence = "The box took none of the " + std::to_string(n) + " thresholds, so it holds what it held before.";
    } else {
        sentence = "The box stopped taking thresholds after " + std::to_string(r.written) + " of " +
                   std::to_string(n) + ": " + names(r.planned, 0, r.written) + (r.written == 1 ? " was" : " were") +
                   " written, " + names(r.planned, r.written, n) + (n - r.written == 1 ? " was" : " were") + " not.";
        const std::vector<SettingWrite> undo = r.undo();
        sentence += undo.empty() ? " What it held before is not known."
                                 : " Before, it held " + assignments(undo) + ".";
    }
    return {Fault::Failed, sentence};
}

}  // namespace

std::vector<SettingWrite> WriteResult::undo() const {
    std::vector<SettingWrite> back;
    if (!before) return back;
    for (std::size_t i = 0; i < written && i < planned.size(); ++i)
        back.push_back({planned[i].index, before->get(planned[i].index)});
    return back;
}

std::string assignments(const std::vector<SettingWrite>& writes) {
    std::string text;
    for (const SettingWrite& w : writes) {
        if (!text.empty()) text += ' ';
        text += std::string(device::setting_name(w.index)) + "=" + std::to_string(w.value);
    }
    return text;
}

BoxSession::BoxSession(device::DeviceConnection& conn, const BoxStore* store) : conn_(conn), store_(store) {}

void BoxSession::found() {
    attached_ = false;
    box_.reset();
    serial_.clear();
    known_.reset();
    derived_.reset();
    confirmed_.clear();
    store_status_ = {};
}

bool BoxSession::find(device::HidBackend& backend, std::uint16_t vendor_id) {
    const bool found_one = device::FindTheHid(backend, conn_, vendor_id);
    found();
    return found_one;
}

void BoxSession::box_read(const Thresholds& read) {
    box_ = read;
    if (!store_ || hold_store_) return;
    store_status_ = store_->remember(make_backup(static_cast<std::uint16_t>(conn_.product_id),
                                                 conn_.hid_attributes.version_number, serial_, read));
}

BoxSession::Lease BoxSession::lease(bool announce) {
    if (announce && device::set_tool_attached(conn_, true)) attached_ = true;
    return Lease(*this);
}

void BoxSession::let_go() {
    if (!attached_) return;
    attached_ = false;
    (void)device::set_tool_attached(conn_, false);
}

DeviceInfo BoxSession::read_info() {
    // The readout tells an application box that the tool holds it.
    if (conn_.application() && conn_.served()) attached_ = true;
    DeviceInfo info = read_device_info(conn_);
    if (info.serial_text) serial_ = *info.serial_text;
    if (info.thresholds) {
        known_.set();
        box_read(*info.thresholds);
    }
    return info;
}

namespace {
device::Result<Thresholds> fetch_thresholds(device::DeviceConnection& conn) {
    const device::Result<device::SettingsBytes> reply = device::read_settings(conn);
    if (!reply) return reply.status();
    return device::thresholds_from_bytes(*reply);
}
}  // namespace

device::Result<Thresholds> BoxSession::read_thresholds() {
    device::Result<Thresholds> read = fetch_thresholds(conn_);
    if (read) {
        known_.set();
        box_read(*read);
    }
    return read;
}

void BoxSession::hold_store(bool hold) {
    hold_store_ = hold;
    if (!hold && box_) box_read(*box_);
}

void BoxSession::mark_derived(KnownSettings settings) {
    known_ |= settings;
    derived_ |= settings;
}

BoxFacts BoxSession::facts() const {
    return {static_cast<std::uint16_t>(conn_.product_id), serial_, conn_.device_path, box_, known_, derived_,
            confirmed_};
}

WritePlan BoxSession::plan_save(const Thresholds& t, bool sequential,
                                std::span<const monitor::RecordedReport> recorded) const {
    return calibration::plan_save(t, sequential, recorded);
}

WritePlan BoxSession::plan_set(const std::vector<SettingWrite>& writes) const {
    return calibration::plan_set(facts(), writes);
}

WritePlan BoxSession::plan_restore(const Backup& file) const { return calibration::plan_restore(facts(), file); }

WritePlan BoxSession::plan_factory_reset(bool calibrating) const {
    return calibration::plan_factory_reset(calibrating);
}

WritePlan BoxSession::plan_put_back(const Thresholds& t) const { return calibration::plan_put_back(t); }

WriteResult BoxSession::write(const WritePlan& plan, const Ask& ask) {
    WriteResult r;
    r.planned = plan.writes;
    r.before = box_;
    if (!plan.refused) {
        r.status = plan.refused;
        return r;
    }
    for (const SettingWrite& w : plan.writes)
        if (w.value < kMinThreshold || w.value > kMaxThreshold) {
            r.status = {Fault::OutOfRange, std::string("The threshold ") + device::setting_name(w.index) + " is " +
                                               std::to_string(w.value) + ", outside " + std::to_string(kMinThreshold) +
                                               " to " + std::to_string(kMaxThreshold) + ", so nothing was written."};
            return r;
        }
    if (Status ready = device::application_ready(conn_); !ready) {
        r.status = ready;
        return r;
    }
    for (const Question& q : plan.questions)
        if (!ask || !ask(q)) {
            r.status = {Fault::Declined, "Nothing was written."};
            return r;
        }
    Thresholds planned_values = box_.value_or(Thresholds{});
    for (const SettingWrite& w : plan.writes) planned_values.set(w.index, w.value);
    for (const CrossedPair& p : plan.crossed)
        confirmed_.push_back({p, planned_values.get(p.low), planned_values.get(p.high)});
    for (const SettingWrite& w : plan.writes) {
        if (!device::send_setting(conn_, w.index, w.value)) {
            r.status = broken_off(r);
            return r;
        }
        ++r.written;
        known_.set(static_cast<std::size_t>(w.index));
    }
    verify(r);
    return r;
}

void BoxSession::verify(WriteResult& r) {
    if (!r.status || r.planned.empty()) return;
    const device::Result<Thresholds> read = fetch_thresholds(conn_);
    if (!read) {
        r.status = {Fault::Failed, "The thresholds were written, but the box did not answer when they were read back (" +
                                       read.sentence() + "), so it is not known whether it kept them."};
        return;
    }
    r.kept = *read;
    known_.set();
    if (!box_ || !(*box_ == *read)) box_read(*read);
    std::string differ;
    for (const SettingWrite& w : r.planned) {
        if (read->get(w.index) == w.value) continue;
        if (!differ.empty()) differ += ", ";
        differ += std::string(device::setting_name(w.index)) + " " + std::to_string(read->get(w.index)) +
                  " instead of " + std::to_string(w.value);
    }
    if (!differ.empty()) r.status = {Fault::NotKept, "The box kept other thresholds than were written: " + differ + "."};
}

std::vector<SettingWrite> BoxSession::closing_writes(const Thresholds& working, bool calibrating) const {
    return calibration::closing_writes(facts(), working, calibrating);
}

void BoxSession::close(const Thresholds& working, bool calibrating) {
    if (!conn_.device_found) return;
    const std::vector<SettingWrite> writes = closing_writes(working, calibrating);
    // Closing tells the box the tool let go in any case.
    attached_ = false;
    (void)device::set_tool_attached(conn_, false);
    // Closing is not held up by a box that no longer answers.
    for (const SettingWrite& w : writes) (void)device::send_setting(conn_, w.index, w.value);
    conn_.close_handles();
}

}  // namespace calibration
