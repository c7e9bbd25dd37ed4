// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The report-descriptor parser on arbitrary bytes: it either gives lengths a
// box could declare or refuses with one sentence; it never reads outside the
// descriptor (libFuzzer hands over an exact-size copy, so ASan sees any
// overread).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "device/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto lengths = device::parse_report_lengths({data, size}, &error);
    if (!lengths) {
        FUZZ_CHECK(!error.empty() && error.back() == '.');
        return 0;
    }
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(size > 0 && size <= static_cast<std::size_t>(device::kMaxDescriptorBytes));
    // A declared report carries at least one bit, so at least one byte after
    // the report-ID byte.
    for (const int length : {lengths->input, lengths->output, lengths->feature})
        FUZZ_CHECK(length == 0 || (length >= 2 && length <= device::kMaxReportBytes + 1));
    return 0;
}
