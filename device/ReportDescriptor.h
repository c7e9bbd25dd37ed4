// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Report lengths from a HID report descriptor, counted the way the Windows HID
// class driver counts them, because the rest of the tool was built on those
// numbers: the longest report of each kind in bytes, plus one byte for the
// report ID even when the descriptor declares none (that byte is then 0).
// hidapi before 0.14 has no call for these lengths, so the hidapi backend reads
// the raw descriptor and asks this parser.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace device {

struct ReportLengths {
    int input = 0;    // 0 when the descriptor has no input report
    int output = 0;
    int feature = 0;
};

// Limits a real interface never comes near; anything beyond them is taken for
// a corrupt descriptor rather than trusted.
inline constexpr int kMaxDescriptorBytes = 4096;
inline constexpr int kMaxReportBytes = 16384;  // report-ID byte excluded
inline constexpr int kMaxGlobalStackDepth = 16;

// nullopt when the descriptor is malformed; error (when given) then holds one
// plain sentence saying why.
std::optional<ReportLengths> parse_report_lengths(std::span<const std::uint8_t> descriptor,
                                                  std::string* error = nullptr);

}  // namespace device
