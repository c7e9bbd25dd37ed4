// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files whose names come from the user (shifterctl backup FILE) or from a box
// (the per-box store). A plain open-and-write does what the name's owner did
// not mean: run as root it turns /dev/full into a regular file, it blocks
// forever on a named pipe nobody reads, and it follows a symbolic link into
// any file on the machine. These functions touch only a new file or an
// existing regular file and leave anything else as it is.

#include <QByteArray>
#include <QString>

#include "device/Result.h"

namespace calibration {

// Writes bytes to path when path names nothing yet or an existing regular
// file: through a temporary file in the same folder that is then renamed over
// path, so that a reader sees the old file or the new one, never half of one,
// and a full disk leaves the old file as it was. An existing file keeps its
// permission bits (and, when the process may, its owner). A symbolic link
// (even one to a regular file), a named pipe, a device, a socket or a folder
// is refused with Failed and one sentence naming what it is, and left as it
// was; so is a failed write.
device::Status write_file_safely(const QString& path, const QByteArray& bytes);

// Reads at most max_bytes + 1 bytes (so that a caller sees a file that is too
// large) from path when it is a regular file; anything else is refused as
// write_file_safely refuses it, without blocking on a pipe or a device.
device::Result<QByteArray> read_file_safely(const QString& path, qint64 max_bytes);

// Whether a name in a folder is that of the temporary file write_file_safely
// makes there, which stays behind only when the writer was killed before its
// rename.
bool is_safe_write_leftover(const QString& file_name);

}  // namespace calibration
