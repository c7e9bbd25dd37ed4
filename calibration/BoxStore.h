#pragma once
// The last thresholds read from each box, by serial number, in the user's
// application data folder, one calibration file per box (the format
// shifterctl backup writes). A box that comes back after an update that broke
// off runs its bootloader and cannot be asked for its thresholds; this is
// where they are found again.

#include <QString>
#include <optional>

#include "Backup.h"
#include "Result.h"

namespace calibration {

// A calibration file's contents for a box as it is open now.
Backup make_backup(std::uint16_t product_id, std::uint16_t firmware_version, const QString& serial,
                   const device::Thresholds& thresholds);

class BoxStore {
public:
    // An empty folder means "boxes" in QStandardPaths::AppDataLocation.
    explicit BoxStore(QString folder = {});
    const QString& folder() const { return folder_; }

    // Nothing for a box without a serial number (nothing tells it from
    // another box), for a box never seen, or a file that is not ours.
    std::optional<Backup> last_read(const QString& serial) const;
    // Replaces what is kept of this box; a box without a serial is not kept.
    device::Status remember(const Backup& backup) const;

    // The file's name for a serial: its letters, digits, '-' and '_' as they
    // are, any other byte of its UTF-8 as %XX, so that no serial names a path.
    static QString file_name(const QString& serial);

private:
    QString folder_;
};

}  // namespace calibration
