// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One session over the open box: the only place that decides which
// thresholds may be written into it, what the user must be asked first, and
// whether the box kept what was written. Both front ends write every
// threshold through it (save, set, restore, factory reset, a calibration put
// back after a firmware update, and closing); they ask its questions in their
// own way (a dialog; a terminal question or --yes) and show its sentences.

#include <QString>
#include <functional>
#include <span>
#include <optional>
#include <string>
#include <vector>

#include "calibration/Backup.h"
#include "calibration/BoxStore.h"
#include "device/Connection.h"
#include "monitor/GearRecord.h"
#include "calibration/Plans.h"
#include "calibration/Readout.h"
#include "device/Result.h"
#include "device/Settings.h"
#include "calibration/Writes.h"

namespace calibration {

// Every threshold written into the box lies in 0..255 (device/Settings.h says why).
inline constexpr int kMinThreshold = device::kMinThreshold;
inline constexpr int kMaxThreshold = device::kMaxThreshold;

struct WriteResult {
    // Done; OutOfRange or Declined (nothing sent); Failed (the sequence broke
    // off, or the read-back failed); NotKept (the box holds other values);
    // NoDevice, Bootloader, NotServed (nothing sent).
    device::Status status;
    std::vector<SettingWrite> planned;
    std::size_t written = 0;                   // planned[0 .. written) went through
    std::optional<device::Thresholds> before;  // the box's thresholds before, as last known
    std::optional<device::Thresholds> kept;    // as read back
    // The writes that put back what the box held before each threshold that
    // was written; empty when what it held is not known.
    std::vector<SettingWrite> undo() const;
};

// "v2=190 v1=64": writes as NAME=VALUE words, as shifterctl set takes them.
std::string assignments(const std::vector<SettingWrite>& writes);

class BoxSession {
public:
    // store may be null: nothing is kept per box.
    explicit BoxSession(device::DeviceConnection& conn, const BoxStore* store = nullptr);

    device::DeviceConnection& conn() { return conn_; }

    // A search replaced the connection: nothing is known of the box found
    // until it is read, and nothing earlier may be written into it.
    void found();
    // Searches the bus as FindTheHid does (the first accepted box, or the
    // connection's chosen one) and starts afresh with what it found.
    bool find(device::HidBackend& backend, std::uint16_t vendor_id);

    // The readout (tool attached, thresholds, strings); the thresholds read
    // become what the box is known to hold.
    DeviceInfo read_info();

    // The box is told that a tool holds it when it is read (read_info) or
    // leased with `announce`, and that the tool let go once when the lease
    // ends (or let_go()), as the window tells it on opening and closing: a box
    // left believing a tool holds it stays that way until it is replugged. A
    // search forgets it: a box found afresh was told nothing, and a box that
    // went into its bootloader is sent nothing more than the order to go.
    class Lease {
    public:
        explicit Lease(BoxSession& session) : session_(session) {}
        ~Lease() { session_.let_go(); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

    private:
        BoxSession& session_;
    };
    [[nodiscard]] Lease lease(bool announce);
    void let_go();
    bool told_attached() const { return attached_; }
    // The thresholds alone (one exchange), remembered likewise.
    device::Result<device::Thresholds> read_thresholds();

    const std::optional<device::Thresholds>& box_thresholds() const { return box_; }
    // The serial number exactly as the box reports it (every UTF-16 unit up
    // to the first zero unit); empty when it gives none or was not read.
    const QString& serial() const { return serial_; }

    // Which working thresholds the tool knows: read from the box since it was
    // found, or set by the user since. Only these are ever written back.
    KnownSettings known() const { return known_; }
    void mark_set(KnownSettings settings) { known_ |= settings; }
    // A running automatic calibration derived these; closing during it takes
    // them back to what the box holds.
    void mark_derived(KnownSettings settings);
    void calibration_ended() { derived_.reset(); }

    // While a calibration kept from before a firmware update waits to be
    // offered back, the box's new thresholds must not replace it in the store;
    // once it has been answered, the store takes what the box holds.
    void hold_store(bool hold);
    // Why the store did not keep what was last read from the box (its folder
    // or file cannot be written); fine when it did, or there is no store. A
    // front end tells the user: a calibration not kept cannot be offered back
    // after an update that broke off.
    const device::Status& store_status() const { return store_status_; }

    // A crossed pair asks first, and so do lines that would move recorded
    // points of a gear into another zone.
    WritePlan plan_save(const device::Thresholds& t, bool sequential,
                        std::span<const monitor::RecordedReport> recorded = {}) const;
    // The named thresholds only, checked against what the box holds for the
    // others of their pairs.
    WritePlan plan_set(const std::vector<SettingWrite>& writes) const;
    // All six of a calibration file; a file from another model or another
    // box asks first.
    WritePlan plan_restore(const Backup& file) const;
    // While an automatic calibration runs, it asks first: the reset ends it.
    WritePlan plan_factory_reset(bool calibrating = false) const;
    // All six, as a calibration kept from before a firmware update.
    WritePlan plan_put_back(const device::Thresholds& t) const;

    // Asks the plan's questions (the first no sends nothing), then sends its
    // writes in order and stops at the first one the box does not take: a
    // later write would only make the mix of old and new values larger.
    // Then reads the thresholds back and compares every threshold written
    // (NotKept names those the box did not keep).
    WriteResult write(const WritePlan& plan, const Ask& ask);

    // What closing writes back: the known thresholds that fit in a byte, in
    // closing order, without a pair that is crossed unless the user said yes
    // to it, and with what a running calibration derived taken back to what
    // the box holds.
    std::vector<SettingWrite> closing_writes(const device::Thresholds& working, bool calibrating) const;
    // Lets the box go: tool detached, the closing writes, handles closed.
    void close(const device::Thresholds& working, bool calibrating);

    // What the plans read of the box, as the session knows it now.
    BoxFacts facts() const;

private:
    void verify(WriteResult& result);
    void box_read(const device::Thresholds& read);

    device::DeviceConnection& conn_;
    const BoxStore* store_;
    std::optional<device::Thresholds> box_;
    QString serial_;
    KnownSettings known_;
    KnownSettings derived_;
    bool hold_store_ = false;
    device::Status store_status_;
    bool attached_ = false;
    // Crossed pairs the user said yes to, with their values.
    std::vector<ConfirmedPair> confirmed_;
};

}  // namespace calibration
