// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The hidapi backend as far as it runs without a box: enumeration, the ways an
// open fails, and the string and path helpers. Exchanges with an open hidraw
// node need an emulated node and are not covered here.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "device/HidapiBackend.h"

#ifdef __linux__
#include <sys/stat.h>
#include <unistd.h>
#endif

using device::HidErrorKind;
using device::HidapiBackend;

namespace {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "hidapi-test-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
#ifdef __linux__
        if (::mkdtemp(buffer.data())) path_ = buffer.data();
#endif
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The entries hidapi lists are checked against fake hidraw nodes in
// test_hidraw, where there are entries to check.
#ifdef __linux__

struct OpenCase {
    const char* name;
    // Makes the path to open inside the scratch directory.
    std::string (*make)(const fs::path& dir);
    HidErrorKind expected;
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class HidapiOpenFailure : public testing::TestWithParam<OpenCase> {};

// Every one of these paths used to be handed to hid_open_path, which crashes
// on nodes that open but are not hidraw nodes.
TEST_P(HidapiOpenFailure, IsClassifiedWithAReasonNamingThePath) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string path = GetParam().make(dir.path());
    HidapiBackend backend;
    const device::OpenResult result = backend.open(path);
    EXPECT_EQ(result.device, nullptr);
    EXPECT_EQ(result.error.kind, GetParam().expected) << result.error.reason;
    EXPECT_NE(result.error.reason.find(path), std::string::npos) << result.error.reason;
}

std::string write_file(const fs::path& path) {
    std::ofstream(path) << "not a HID device";
    return path.string();
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HidapiOpenFailure,
    testing::Values(
        OpenCase{"Missing", [](const fs::path& d) { return (d / "hidraw99").string(); }, HidErrorKind::NotFound},
        OpenCase{"UnderAFile",
                 [](const fs::path& d) { return write_file(d / "file") + "/hidraw0"; }, HidErrorKind::NotFound},
        OpenCase{"Directory", [](const fs::path& d) { return d.string(); }, HidErrorKind::Io},
        OpenCase{"RegularFile", [](const fs::path& d) { return write_file(d / "hidraw0"); }, HidErrorKind::Io},
        OpenCase{"OtherCharacterDevice", [](const fs::path&) { return std::string("/dev/null"); }, HidErrorKind::Io}),
    [](const testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

TEST(HidapiBackend, NodeWithoutRightsIsPermissionDenied) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string path = write_file(dir.path() / "hidraw0");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    if (::access(path.c_str(), R_OK | W_OK) == 0)
        GTEST_SKIP() << "this user may open files regardless of their mode (root?)";
    HidapiBackend backend;
    const device::OpenResult result = backend.open(path);
    EXPECT_EQ(result.device, nullptr);
    EXPECT_EQ(result.error.kind, HidErrorKind::PermissionDenied) << result.error.reason;
    EXPECT_NE(result.error.reason.find(path), std::string::npos) << result.error.reason;
}

#endif  // __linux__

TEST(WideToUtf16, EncodesEveryPlane) {
    if constexpr (sizeof(wchar_t) != 4) GTEST_SKIP() << "wchar_t is already UTF-16 here";
    struct Case {
        std::wstring in;
        std::u16string out;
    };
    const std::vector<Case> cases = {
        {L"", u""},
        {L"Box 7", u"Box 7"},
        {std::wstring{wchar_t(0xE9), wchar_t(0x20AC), wchar_t(0xFFFD)}, u"\u00E9\u20AC\uFFFD"},
        // First and last code points outside the basic plane, and one between.
        {std::wstring{wchar_t(0x10000)}, std::u16string{char16_t(0xD800), char16_t(0xDC00)}},
        {std::wstring{L'a', wchar_t(0x1F600), L'b'}, std::u16string{u'a', char16_t(0xD83D), char16_t(0xDE00), u'b'}},
        {std::wstring{wchar_t(0x10FFFF)}, std::u16string{char16_t(0xDBFF), char16_t(0xDFFF)}},
        // Values UTF-16 cannot carry: past the last plane, and a lone surrogate.
        {std::wstring{wchar_t(0x110000), wchar_t(0xD800), L'z'}, u"\uFFFD\uFFFDz"},
    };
    for (const Case& c : cases) EXPECT_EQ(device::wide_to_utf16(c.in), c.out);
}

TEST(WideToUtf8, EncodesOneToFourBytes) {
    if constexpr (sizeof(wchar_t) != 4) GTEST_SKIP() << "built for UTF-32 wchar_t";
    const std::wstring in{L'A', wchar_t(0xE9), wchar_t(0x20AC), wchar_t(0x1F600)};
    EXPECT_EQ(device::wide_to_utf8(in), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(HidrawSysfsDir, FollowsTheNodeName) {
    struct Case {
        const char* path;
        const char* dir;
    };
    const Case cases[] = {
        {"/dev/hidraw7", "/sys/class/hidraw/hidraw7"},
        {"/dev/hidraw12", "/sys/class/hidraw/hidraw12"},
        {"hidraw0", "/sys/class/hidraw/hidraw0"},
        {"/dev/hidraw", ""},
        {"/dev/hidraw7x", ""},
        {"/dev/hidraw7/", ""},
        {"/dev/usb/hiddev0", ""},
        {"/dev/hidraw-7", ""},
        {"", ""},
        {"\\\\?\\hid#vid_1209&pid_10a0#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(device::hidraw_sysfs_dir(c.path), c.dir) << c.path;
}

}  // namespace
