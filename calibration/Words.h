// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the tool tells the user of a version, a model, a set of thresholds and
// a failure, in one form for the window, shifterctl and the files they write.
// The window's own captions (the version label, the message boxes' titles and
// texts) keep their forms; everything else says it as this file does.

#include <QString>
#include <cstdint>
#include <string>

#include "device/Result.h"
#include "device/Settings.h"

namespace calibration {

// A firmware version number: the high byte in hexadecimal, a point, and the
// low byte as two hexadecimal digits, so 0x0106 is "1.06", 0x010A "1.0A" and
// 0x0005 "0.05". The update service writes versions so ("106" for 1.06), and
// with the low byte always two digits, two versions of one major compare as
// text the way they compare as numbers (1.06 < 1.07 < 1.0A < 1.10).
QString version_text(std::uint16_t version);

// The word for a box's model: "Kelvo", "Dravi", "generic", "bootloader";
// "unknown" for a product ID the tool does not serve. The update query has a
// word of its own for the service (update::model_word).
QString model_name(std::uint32_t product_id);

// All six thresholds as NAME=VALUE words in index order, as shifterctl set
// takes them: "h1=102 h2=152 v1=64 v2=190 s1=100 s2=155".
std::string thresholds_line(const device::Thresholds& t);

// A failed step of a firmware update and what the user can do about it;
// `again` is how this front end's user starts the update again ("click "Get
// latest firmware" once more", "run shifterctl update again").
std::string failure_text(const device::Status& status, const std::string& again);

}  // namespace calibration
