// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace device {
namespace {

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2, kReserved = 3 };

namespace main_tag {
inline constexpr std::uint8_t kInput = 0x8;
inline constexpr std::uint8_t kOutput = 0x9;
inline constexpr std::uint8_t kCollection = 0xA;
inline constexpr std::uint8_t kFeature = 0xB;
inline constexpr std::uint8_t kEndCollection = 0xC;
}  // namespace main_tag

namespace global_tag {
inline constexpr std::uint8_t kReportSize = 0x7;
inline constexpr std::uint8_t kReportId = 0x8;
inline constexpr std::uint8_t kReportCount = 0x9;
inline constexpr std::uint8_t kPush = 0xA;
inline constexpr std::uint8_t kPop = 0xB;
}  // namespace global_tag

inline constexpr std::uint8_t kLongItemPrefix = 0xFE;

enum Kind { kInputKind = 0, kOutputKind = 1, kFeatureKind = 2, kKindCount = 3 };

// Only the globals that decide a report's size; usage pages, logical ranges
// and units do not change how many bits travel.
struct Globals {
    std::uint32_t report_size = 0;
    std::uint32_t report_count = 0;
    std::uint32_t report_id = 0;  // 0 until the descriptor declares one
};

std::optional<ReportLengths> fail(std::string* error, std::string sentence) {
    if (error) *error = std::move(sentence);
    return std::nullopt;
}

std::string at(std::size_t offset) { return " at byte " + std::to_string(offset) + "."; }

}  // namespace

std::optional<ReportLengths> parse_report_lengths(std::span<const std::uint8_t> d, std::string* error) {
    if (d.empty()) return fail(error, "The report descriptor is empty.");
    if (d.size() > static_cast<std::size_t>(kMaxDescriptorBytes))
        return fail(error, "The report descriptor is " + std::to_string(d.size()) +
                               " bytes long, more than a HID interface may declare.");

    // Bits per report, by kind and report ID. Reports with different IDs are
    // separate reports; the longest of each kind sets the length.
    std::array<std::array<std::uint64_t, 256>, kKindCount> bits{};
    std::array<bool, kKindCount> declared{};
    constexpr std::uint64_t kMaxReportBits = std::uint64_t{kMaxReportBytes} * 8;

    Globals globals;
    std::vector<Globals> stack;
    int collection_depth = 0;

    std::size_t pos = 0;
    while (pos < d.size()) {
        const std::size_t item_start = pos;
        const std::uint8_t prefix = d[pos++];

        if (prefix == kLongItemPrefix) {
            // Long items carry vendor data only and were never given a meaning
            // for report layout; skip them whole.
            if (d.size() - pos < 2)
                return fail(error, "The report descriptor ends inside a long item" + at(item_start));
            const std::size_t data_size = d[pos];
            pos += 2;
            if (d.size() - pos < data_size)
                return fail(error, "The report descriptor ends inside a long item" + at(item_start));
            pos += data_size;
            continue;
        }

        static constexpr std::array<std::size_t, 4> kDataSizes{0, 1, 2, 4};
        const std::size_t data_size = kDataSizes[prefix & 0x03];
        const auto type = static_cast<ItemType>((prefix >> 2) & 0x03);
        const std::uint8_t tag = prefix >> 4;
        if (d.size() - pos < data_size)
            return fail(error, "The report descriptor ends inside an item" + at(item_start));
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < data_size; ++i) value |= std::uint32_t{d[pos + i]} << (8 * i);
        pos += data_size;

        if (type == kGlobal) {
            switch (tag) {
            case global_tag::kReportSize: globals.report_size = value; break;
            case global_tag::kReportCount: globals.report_count = value; break;
            case global_tag::kReportId:
                if (value == 0 || value > 255)
                    return fail(error, "The report descriptor declares report ID " + std::to_string(value) +
                                           ", outside 1 to 255," + at(item_start));
                globals.report_id = value;
                break;
            case global_tag::kPush:
                if (stack.size() >= static_cast<std::size_t>(kMaxGlobalStackDepth))
                    return fail(error, "The report descriptor pushes its global state more than " +
                                           std::to_string(kMaxGlobalStackDepth) + " levels deep" +
                                           at(item_start));
                stack.push_back(globals);
                break;
            case global_tag::kPop:
                if (stack.empty())
                    return fail(error, "The report descriptor pops a global state it never pushed" +
                                           at(item_start));
                globals = stack.back();
                stack.pop_back();
                break;
            default: break;
            }
            continue;
        }
        if (type != kMain) continue;  // local items name usages only; reserved items mean nothing yet

        int kind = -1;
        switch (tag) {
        case main_tag::kInput: kind = kInputKind; break;
        case main_tag::kOutput: kind = kOutputKind; break;
        case main_tag::kFeature: kind = kFeatureKind; break;
        case main_tag::kCollection: ++collection_depth; break;
        case main_tag::kEndCollection:
            if (collection_depth == 0)
                return fail(error, "The report descriptor closes a collection it never opened" + at(item_start));
            --collection_depth;
            break;
        default: break;
        }
        if (kind < 0) continue;

        // Both factors are below 2^32, so the product cannot wrap.
        const std::uint64_t item_bits = std::uint64_t{globals.report_size} * globals.report_count;
        // A zero-width item carries nothing and does not make a report exist.
        if (item_bits == 0) continue;
        std::uint64_t& report_bits = bits[kind][globals.report_id];
        if (item_bits > kMaxReportBits || report_bits + item_bits > kMaxReportBits)
            return fail(error, "The report descriptor declares a report longer than " +
                                   std::to_string(kMaxReportBytes) + " bytes" + at(item_start));
        report_bits += item_bits;
        declared[kind] = true;
    }

    if (collection_depth != 0)
        return fail(error, "The report descriptor leaves " + std::to_string(collection_depth) +
                               " collection(s) open at its end.");

    auto length = [&](int kind) {
        if (!declared[kind]) return 0;
        const std::uint64_t longest = *std::max_element(bits[kind].begin(), bits[kind].end());
        return static_cast<int>((longest + 7) / 8) + 1;
    };
    return ReportLengths{length(kInputKind), length(kOutputKind), length(kFeatureKind)};
}

}  // namespace device
