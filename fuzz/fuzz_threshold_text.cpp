// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The threshold text boxes' validation on arbitrary text, against a plain
// model: blanks around, an optional sign, decimal digits with at most one
// point; the number, rounded to the nearest whole one, accepted in 0..254.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "monitor/MonitorState.h"

namespace {

bool plain_decimal(std::string_view t) {
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) t.remove_prefix(1);
    int digits = 0;
    int points = 0;
    for (const char c : t) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<int> value = monitor::parse_threshold_text(text);

    std::string_view t = text;
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    if (!plain_decimal(t)) {
        FUZZ_CHECK(!value);
        return 0;
    }
    // strtold reads exactly this grammar (in the C locale libFuzzer runs in).
    const std::string number(t);
    const long double d = std::strtold(number.c_str(), nullptr);
    constexpr long double kSlack = 1e-9L;
    if (value) {
        FUZZ_CHECK(*value >= 0 && *value <= 254);
        FUZZ_CHECK(std::fabs(d - *value) <= 0.5L + kSlack);
    }
    if (d > -0.5L + kSlack && d < 254.5L - kSlack) FUZZ_CHECK(value);
    if (d < -0.5L - kSlack || d > 254.5L + kSlack) FUZZ_CHECK(!value);
    // A short decimal converts exactly enough that the nearest whole number,
    // halves to even, decides: "12.5" gives 12, "13.5" gives 14, "-0.5" gives 0.
    if (number.size() <= 12) {
        const long double whole = std::nearbyintl(d);
        const bool in_range = whole >= 0 && whole <= 254;
        FUZZ_CHECK(value.has_value() == in_range);
        if (value) FUZZ_CHECK(*value == static_cast<int>(whole));
    }
    return 0;
}
