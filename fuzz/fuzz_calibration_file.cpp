// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration file's reader on arbitrary bytes: shifterctl restore reads
// whatever file it is given, and the per-box store whatever lies in its
// folder. What it accepts must be a file of ours: six thresholds from 0 to 255
// that are written again and read back the same. A key given twice in one
// object is never accepted, however it is spelt, since JSON readers disagree
// on which of the two counts.
#include <QByteArray>

#include <cstddef>
#include <cstdint>

#include "calibration/Backup.h"
#include "fuzz/FuzzCheck.h"

using calibration::Backup;

namespace {

bool same(const Backup& a, const Backup& b) {
    return a.model == b.model && a.product_id == b.product_id && a.serial == b.serial &&
           a.firmware_version == b.firmware_version && a.saved == b.saved && a.thresholds == b.thresholds;
}

bool refused(const QByteArray& bytes) {
    const device::Result<Backup> r = calibration::read_backup(bytes);
    return !r && r.fault() == device::Fault::BadAnswer && !r.sentence().empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const device::Result<Backup> b = calibration::read_backup(bytes);
    if (!b) {
        FUZZ_CHECK(refused(bytes));
        return 0;
    }
    for (int i = 0; i < device::kSettingCount; ++i)
        FUZZ_CHECK(b->thresholds.get(i) >= 0 && b->thresholds.get(i) <= 255);

    const QByteArray again = calibration::write_backup(*b);
    const device::Result<Backup> back = calibration::read_backup(again);
    FUZZ_CHECK(back);
    FUZZ_CHECK(same(*b, *back));

    // The accepted file itself, with its first key once more at the top, and
    // the written one with a key of the box and of the thresholds repeated,
    // once plainly and once spelt with an escape.
    const qsizetype open = bytes.indexOf('{');
    FUZZ_CHECK(open >= 0);
    FUZZ_CHECK(refused(QByteArray(bytes).insert(open + 1, "\"format\": \"shifter-calibration\", ")));
    FUZZ_CHECK(refused(QByteArray(again).replace("\"box\": {", "\"box\": {\"model\": \"\", ")));
    FUZZ_CHECK(refused(QByteArray(again).replace("\"thresholds\": {", "\"thresholds\": {\"\\u0068\\u0031\": 1, ")));
    return 0;
}
