// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The last thresholds read from each box, by serial number, in the user's
// application data folder, one calibration file per box (the format
// shifterctl backup writes). A box that comes back after an update that broke
// off runs its bootloader and cannot be asked for its thresholds; this is
// where they are found again.
//
// The key is the serial number exactly as the box reports it: a QString of
// every UTF-16 unit up to its first zero unit (box_string in Readout.h). Two
// boxes whose serials differ anywhere, by one unit past the 50th, by a letter
// outside Latin-1 or only in letter case, never share a file, so no box is
// offered another's calibration.

#include <QString>
#include <optional>

#include "calibration/Backup.h"
#include "device/Result.h"

namespace calibration {

// A calibration file's contents for a box as it is open now.
Backup make_backup(std::uint16_t product_id, std::uint16_t firmware_version, const QString& serial,
                   const device::Thresholds& thresholds);

class BoxStore {
public:
    // An empty folder means the folder both programs share: "Vantrel/
    // shiftercal/boxes" in the user's data folder (on Linux
    // ~/.local/share/Vantrel/shiftercal/boxes, the window's own data folder).
    // Removes the temporary files a writer that was killed left in the folder.
    explicit BoxStore(QString folder = {});
    const QString& folder() const { return folder_; }

    // Nothing for a box without a serial number (nothing tells it from
    // another box), for a box never seen, or a file that is not ours or
    // holds another serial than the one asked for. Never blocks: a pipe or a
    // device under the box's name is no file of ours.
    std::optional<Backup> last_read(const QString& serial) const;
    // Replaces what is kept of this box, atomically and only in a regular
    // file (write_file_safely), in a folder only its owner may read (made so
    // when it is missing); a box without a serial is not kept. Failed with a
    // sentence when the folder or the file cannot be written.
    device::Status remember(const Backup& backup) const;

    // The file's name for a serial, the same on every system the tool runs
    // on: upper-case letters, digits and '-' as they are, a lower-case letter
    // as '_' and its upper-case form, any other unit up to FF as %XX and above
    // it as +XXXX (upper-case hexadecimal), then ".json". A name Windows
    // reserves for a device (CON, NUL, COM1, ... with any extension) has its
    // last character written as %XX instead. So no name holds a path, a
    // character some system refuses or a lower-case letter, and two serials
    // never get names that differ only in letter case. A serial whose name
    // would pass the 255 bytes a file name may have (126 lower-case letters,
    // 51 CJK characters) is named by the start of that name, '=' and the
    // SHA-256 of the serial's UTF-16 units in upper-case hexadecimal, which
    // keeps it apart from every other. The empty serial gets none.
    static std::optional<QString> file_name(const QString& serial);
    // The serial a name stands for; none for a name file_name never makes,
    // and none for a name with a digest, which does not hold the serial.
    static std::optional<QString> serial_from_file_name(const QString& name);

private:
    QString folder_;
};

}  // namespace calibration
