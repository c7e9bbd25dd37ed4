// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How shifterctl writes a box, its version and its thresholds, as text and
// as JSON.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

#include "device/Hid.h"
#include "device/Settings.h"

namespace ctl {

QString hex4(std::uint16_t value);
// Every firmware version the command line shows, the box's and the offered
// alike, as calibration::version_text tells it: "1.06" for 0x0106.
QString version_text(std::uint16_t version);
// KEY: the version's text, KEY_number: the 16-bit number.
void insert_version(QJsonObject& o, const QString& key, std::uint16_t version);
QString model(std::uint16_t product_id);
QString thresholds_line(const device::Thresholds& t);
QJsonObject thresholds_json(const device::Thresholds& t);
QJsonObject box_json(const device::HidDeviceInfo& d);
QString box_words(const device::HidDeviceInfo& d);
// Compact JSON, with every character a terminal would act on or hide written
// as a \u escape: the same value, but harmless when printed.
QByteArray json_text(const QJsonDocument& doc);
// A count or a time in milliseconds: plain digits, within limits.
std::optional<int> parse_count(const QString& text, int minimum, int maximum);

}  // namespace ctl
