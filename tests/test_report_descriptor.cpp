// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Report lengths from hand-written descriptors of well-known device kinds and
// of the box, and rejection of descriptors a parser must not trust.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "device/ReportDescriptor.h"

using device::parse_report_lengths;
using device::ReportLengths;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The box: vendor page, input 5 bytes, feature 64 bytes, no report IDs.
const Bytes kBox = {
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x05,        //   Report Count (5)
    0x09, 0x02,        //   Usage (2)
    0x81, 0x02,        //   Input (Data, Var, Abs)
    0x95, 0x40,        //   Report Count (64)
    0x09, 0x03,        //   Usage (3)
    0xB1, 0x02,        //   Feature (Data, Var, Abs)
    0xC0,              // End Collection
};

// Boot keyboard: modifiers, reserved byte, six key codes in; five LEDs and
// three bits of padding out.
const Bytes kBootKeyboard = {
    0x05, 0x01,  // Usage Page (Generic Desktop)
    0x09, 0x06,  // Usage (Keyboard)
    0xA1, 0x01,  // Collection (Application)
    0x05, 0x07,  //   Usage Page (Keyboard)
    0x19, 0xE0,  //   Usage Minimum (224)
    0x29, 0xE7,  //   Usage Maximum (231)
    0x15, 0x00,  //   Logical Minimum (0)
    0x25, 0x01,  //   Logical Maximum (1)
    0x75, 0x01,  //   Report Size (1)
    0x95, 0x08,  //   Report Count (8)
    0x81, 0x02,  //   Input (Data, Var, Abs)
    0x95, 0x01,  //   Report Count (1)
    0x75, 0x08,  //   Report Size (8)
    0x81, 0x01,  //   Input (Const)
    0x95, 0x05,  //   Report Count (5)
    0x75, 0x01,  //   Report Size (1)
    0x05, 0x08,  //   Usage Page (LEDs)
    0x19, 0x01,  //   Usage Minimum (1)
    0x29, 0x05,  //   Usage Maximum (5)
    0x91, 0x02,  //   Output (Data, Var, Abs)
    0x95, 0x01,  //   Report Count (1)
    0x75, 0x03,  //   Report Size (3)
    0x91, 0x01,  //   Output (Const)
    0x95, 0x06,  //   Report Count (6)
    0x75, 0x08,  //   Report Size (8)
    0x15, 0x00,  //   Logical Minimum (0)
    0x25, 0x65,  //   Logical Maximum (101)
    0x05, 0x07,  //   Usage Page (Keyboard)
    0x19, 0x00,  //   Usage Minimum (0)
    0x29, 0x65,  //   Usage Maximum (101)
    0x81, 0x00,  //   Input (Data, Array)
    0xC0,        // End Collection
};

// Mouse on report ID 1 (4 bytes) and consumer control on ID 2 (2 bytes): the
// longer report sets the length, the two are not added up.
const Bytes kMouseWithIds = {
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x02,        // Usage (Mouse)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x09, 0x01,        //   Usage (Pointer)
    0xA1, 0x00,        //   Collection (Physical)
    0x05, 0x09,        //     Usage Page (Button)
    0x19, 0x01,        //     Usage Minimum (1)
    0x29, 0x03,        //     Usage Maximum (3)
    0x15, 0x00,        //     Logical Minimum (0)
    0x25, 0x01,        //     Logical Maximum (1)
    0x95, 0x03,        //     Report Count (3)
    0x75, 0x01,        //     Report Size (1)
    0x81, 0x02,        //     Input (Data, Var, Abs)
    0x95, 0x01,        //     Report Count (1)
    0x75, 0x05,        //     Report Size (5)
    0x81, 0x03,        //     Input (Const)
    0x05, 0x01,        //     Usage Page (Generic Desktop)
    0x09, 0x30,        //     Usage (X)
    0x09, 0x31,        //     Usage (Y)
    0x09, 0x38,        //     Usage (Wheel)
    0x15, 0x81,        //     Logical Minimum (-127)
    0x25, 0x7F,        //     Logical Maximum (127)
    0x75, 0x08,        //     Report Size (8)
    0x95, 0x03,        //     Report Count (3)
    0x81, 0x06,        //     Input (Data, Var, Rel)
    0xC0,              //   End Collection
    0xC0,              // End Collection
    0x05, 0x0C,        // Usage Page (Consumer)
    0x09, 0x01,        // Usage (Consumer Control)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x02,        //   Report ID (2)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x03,  //   Logical Maximum (1023)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0x03,  //   Usage Maximum (1023)
    0x75, 0x10,        //   Report Size (16)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x00,        //   Input (Data, Array)
    0xC0,              // End Collection
};

// Feature reports of 8, 20 and 2 bytes on IDs 1..3, then ID 1 again with 16
// more bytes: ID 1 totals 24. Report counts in two- and four-byte items.
const Bytes kSeveralFeatureIds = {
    0x06, 0x00, 0xFF,              // Usage Page (Vendor 0xFF00)
    0x09, 0x01,                    // Usage (1)
    0xA1, 0x01,                    // Collection (Application)
    0x75, 0x08,                    //   Report Size (8)
    0x85, 0x01,                    //   Report ID (1)
    0x95, 0x08,                    //   Report Count (8)
    0x09, 0x10, 0xB1, 0x02,        //   Feature
    0x85, 0x02,                    //   Report ID (2)
    0x96, 0x14, 0x00,              //   Report Count (20), two bytes
    0x09, 0x11, 0xB1, 0x02,        //   Feature
    0x85, 0x03,                    //   Report ID (3)
    0x95, 0x02,                    //   Report Count (2)
    0x09, 0x12, 0xB1, 0x02,        //   Feature
    0x85, 0x04,                    //   Report ID (4)
    0x95, 0x03,                    //   Report Count (3)
    0x09, 0x13, 0x81, 0x02,        //   Input
    0x85, 0x01,                    //   Report ID (1)
    0x97, 0x10, 0x00, 0x00, 0x00,  //   Report Count (16), four bytes
    0x09, 0x14, 0xB1, 0x02,        //   Feature
    0xC0,                          // End Collection
};

// The box's descriptor with long items in front, in the middle and at the end.
// The middle one's data reads as "Report Count (127), Input" to a parser that
// takes 0xFE for a short item.
Bytes box_with_long_items() {
    Bytes d = {0xFE, 0x00, 0xF1};  // long item without data
    d.insert(d.end(), kBox.begin(), kBox.begin() + 16);
    const Bytes long_item = {0xFE, 0x04, 0xF0, 0x95, 0x7F, 0x81, 0x02};
    d.insert(d.end(), long_item.begin(), long_item.end());
    d.insert(d.end(), kBox.begin() + 16, kBox.end());
    d.insert(d.end(), {0xFE, 0x02, 0xF2, 0xAA, 0xBB});
    return d;
}

// Push keeps ID 1 with 8 bits x 4; inside, ID 2 gets one 6-byte input. After
// Pop, two inputs of 4 bytes land on ID 1 again (8 bytes), and a 4-byte
// feature report follows.
const Bytes kPushPop = {
    0x05, 0x01, 0x09, 0x00, 0xA1, 0x01,  // Collection (Application)
    0x85, 0x01,                          //   Report ID (1)
    0x75, 0x08,                          //   Report Size (8)
    0x95, 0x04,                          //   Report Count (4)
    0xA4,                                //   Push
    0x85, 0x02,                          //   Report ID (2)
    0x75, 0x10,                          //   Report Size (16)
    0x95, 0x03,                          //   Report Count (3)
    0xA4,                                //   Push (nested, popped at once)
    0xB4,                                //   Pop
    0x81, 0x02,                          //   Input: ID 2, 6 bytes
    0xB4,                                //   Pop
    0x81, 0x02,                          //   Input: ID 1, 4 bytes
    0x81, 0x02,                          //   Input: ID 1, 4 more
    0xB1, 0x02,                          //   Feature: ID 1, 4 bytes
    0xC0,
};

struct LengthCase {
    const char* name;
    Bytes descriptor;
    ReportLengths expected;
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

class ReportLengthsTest : public testing::TestWithParam<LengthCase> {};

TEST_P(ReportLengthsTest, MatchesWindowsCapabilityLengths) {
    const LengthCase& c = GetParam();
    std::string error;
    const auto lengths = parse_report_lengths(c.descriptor, &error);
    ASSERT_TRUE(lengths.has_value()) << error;
    EXPECT_EQ(lengths->input, c.expected.input);
    EXPECT_EQ(lengths->output, c.expected.output);
    EXPECT_EQ(lengths->feature, c.expected.feature);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, ReportLengthsTest,
    testing::Values(
        LengthCase{"Box", kBox, {6, 0, 65}},
        LengthCase{"BootKeyboard", kBootKeyboard, {9, 2, 0}},
        LengthCase{"MouseWithReportIds", kMouseWithIds, {5, 0, 0}},
        LengthCase{"SeveralFeatureIds", kSeveralFeatureIds, {4, 0, 25}},
        LengthCase{"LongItems", box_with_long_items(), {6, 0, 65}},
        LengthCase{"PushPop", kPushPop, {9, 0, 5}},
        // 9 bits round up to 2 bytes.
        LengthCase{"BitsRoundUp", {0x75, 0x03, 0x95, 0x03, 0x81, 0x02}, {3, 0, 0}},
        // Items of no width make no report.
        LengthCase{"ZeroWidthItems", {0x75, 0x08, 0x95, 0x00, 0x81, 0x02, 0xB1, 0x02}, {0, 0, 0}},
        // Only local and global items: a valid descriptor without reports.
        LengthCase{"NoMainItems", {0x05, 0x01, 0x09, 0x02}, {0, 0, 0}},
        // Exactly the longest report accepted: 16384 bytes.
        LengthCase{"LongestReport", {0x75, 0x08, 0x96, 0x00, 0x40, 0x81, 0x02}, {16385, 0, 0}}),
    [](const testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.name); });

struct BadCase {
    const char* name;
    Bytes descriptor;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class MalformedDescriptorTest : public testing::TestWithParam<BadCase> {};

TEST_P(MalformedDescriptorTest, IsRejectedWithAReason) {
    const BadCase& c = GetParam();
    std::string error;
    const auto lengths = parse_report_lengths(c.descriptor, &error);
    EXPECT_FALSE(lengths.has_value());
    EXPECT_FALSE(error.empty());
}

Bytes many_pushes(int n) {
    Bytes d(static_cast<std::size_t>(n), 0xA4);
    d.insert(d.end(), static_cast<std::size_t>(n), 0xB4);
    return d;
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, MalformedDescriptorTest,
    testing::Values(
        BadCase{"Empty", {}},
        BadCase{"OneByteItemCut", {0x75, 0x08, 0x95}},
        BadCase{"TwoByteItemCut", {0x26, 0xFF}},
        BadCase{"FourByteItemCut", {0x97, 0x01, 0x00, 0x00}},
        BadCase{"LongItemHeaderCut", {0xFE, 0x05}},
        BadCase{"LongItemDataCut", {0xFE, 0x05, 0xF0, 0x01, 0x02}},
        BadCase{"PopWithoutPush", {0x75, 0x08, 0xB4}},
        BadCase{"PushTooDeep", many_pushes(device::kMaxGlobalStackDepth + 1)},
        BadCase{"ReportIdZero", {0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        BadCase{"ReportIdAbove255", {0x86, 0x00, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        BadCase{"EndWithoutCollection", {0xC0}},
        BadCase{"CollectionLeftOpen", {0xA1, 0x01, 0xA1, 0x00, 0xC0}},
        BadCase{"AbsurdReportCount",
                {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02}},
        // Each item fits, together they pass the limit.
        BadCase{"ReportGrowsPastLimit", {0x75, 0x08, 0x96, 0x00, 0x40, 0x81, 0x02, 0x95, 0x01, 0x81, 0x02}},
        BadCase{"DescriptorTooLong", Bytes(device::kMaxDescriptorBytes + 1, 0x00)}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(MalformedDescriptor, ErrorNamesWhereTheDescriptorBreaks) {
    std::string error;
    EXPECT_FALSE(parse_report_lengths(Bytes{0x75, 0x08, 0x26, 0xFF}, &error));
    EXPECT_NE(error.find("byte 2"), std::string::npos) << error;
}

TEST(MalformedDescriptor, EveryCutOfTheBoxInsideItsCollectionIsRejected) {
    // Once the collection is open (byte 7), each cut either splits an item or
    // leaves the collection open; before that it leaves only usage items.
    // Copies of exact size let the address sanitizer see any read past the end.
    constexpr std::size_t kCollectionOpen = 7;
    for (std::size_t n = 0; n < kBox.size(); ++n) {
        const Bytes prefix(kBox.begin(), kBox.begin() + static_cast<std::ptrdiff_t>(n));
        std::string error;
        const auto lengths = parse_report_lengths(prefix, &error);
        if (n >= kCollectionOpen) {
            EXPECT_FALSE(lengths) << "cut after " << n << " bytes";
        } else if (lengths) {
            EXPECT_EQ(lengths->input + lengths->output + lengths->feature, 0) << "cut after " << n << " bytes";
        }
        if (!lengths) {
            EXPECT_FALSE(error.empty()) << "cut after " << n << " bytes";
        }
    }
}

TEST(MalformedDescriptor, RandomBytesEitherParseOrExplain) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> size(1, 300);
    for (int round = 0; round < 2000; ++round) {
        Bytes d(static_cast<std::size_t>(size(random)));
        for (auto& b : d) b = static_cast<std::uint8_t>(byte(random));
        std::string error;
        const auto lengths = parse_report_lengths(d, &error);
        if (lengths) {
            for (int length : {lengths->input, lengths->output, lengths->feature}) {
                EXPECT_GE(length, 0);
                EXPECT_LE(length, device::kMaxReportBytes + 1);
            }
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

}  // namespace
