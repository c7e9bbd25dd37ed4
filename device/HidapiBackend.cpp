// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/HidapiBackend.h"

#include <hidapi.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <system_error>
#include <vector>

#include "device/ReportDescriptor.h"
#include "device/UdevRule.h"

#ifdef __linux__
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(HID_API_MAKE_VERSION) && defined(HID_API_VERSION)
#if HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
#define SHIFTER_HIDAPI_HAS_DESCRIPTOR_CALL 1
#endif
#endif

namespace device {
namespace {

// hid_init is not safe to race and hid_exit must come after the last handle is
// closed, so both belong to one object that lives as long as the process.
class HidapiLibrary {
public:
    static HidapiLibrary& instance() {
        static HidapiLibrary library;
        return library;
    }
    bool ok() const { return ok_; }
    HidapiLibrary(const HidapiLibrary&) = delete;
    HidapiLibrary& operator=(const HidapiLibrary&) = delete;

private:
    HidapiLibrary() : ok_(hid_init() == 0) {}
    ~HidapiLibrary() {
        if (ok_) hid_exit();
    }
    bool ok_;
};

std::string last_global_error() {
    const wchar_t* text = hid_error(nullptr);
    return text ? wide_to_utf8(text) : std::string("no reason given");
}

constexpr bool is_surrogate(std::uint32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

#ifdef __linux__
std::optional<std::vector<std::uint8_t>> read_sysfs_descriptor(const std::string& device_path) {
    const std::string dir = hidraw_sysfs_dir(device_path);
    if (dir.empty()) return std::nullopt;
    std::ifstream file(dir + "/device/report_descriptor", std::ios::binary);
    if (!file) return std::nullopt;
    // One byte beyond the limit, so that an oversized descriptor reaches the
    // parser as oversized instead of silently cut short.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kMaxDescriptorBytes) + 1);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
#endif

class HidapiDevice final : public HidDevice {
public:
    HidapiDevice(hid_device* dev, std::string path) : dev_(dev), path_(std::move(path)) {
#ifdef __linux__
        struct stat st {};
        if (::stat(path_.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
            node_ = st.st_rdev;
            node_known_ = true;
        }
        sysfs_dir_ = hidraw_sysfs_dir(path_);
        // Some sandboxes hide sysfs; its absence at open time says nothing
        // about the box later.
        if (!sysfs_dir_.empty() && !exists(sysfs_dir_)) sysfs_dir_.clear();
#endif
    }
    ~HidapiDevice() override { hid_close(dev_); }
    HidapiDevice(const HidapiDevice&) = delete;
    HidapiDevice& operator=(const HidapiDevice&) = delete;

    std::optional<HidCaps> caps() override {
        const std::optional<std::vector<std::uint8_t>> descriptor = read_descriptor();
        if (!descriptor) return std::nullopt;
        const std::optional<ReportLengths> lengths = parse_report_lengths(*descriptor);
        if (!lengths) return std::nullopt;
        return HidCaps{lengths->input, lengths->feature};
    }

    bool send_feature_report(std::span<const std::uint8_t> report) override {
        if (report.empty()) return false;
        return hid_send_feature_report(dev_, report.data(), report.size()) >= 0;
    }

    int get_feature_report(std::span<std::uint8_t> report) override {
        if (report.empty()) return -1;
        // hidapi counts the report-ID byte in what it answers.
        const int n = hid_get_feature_report(dev_, report.data(), report.size());
        return n < 0 ? -1 : n;
    }

    int read_input(std::span<std::uint8_t> out) override {
        // A zero-length read would still take a report off the queue.
        if (out.empty()) return 0;
        const int n = hid_read_timeout(dev_, out.data(), out.size(), 0);
        if (n < 0) read_failed_ = true;
        return n < 0 ? -1 : n;
    }

    std::optional<std::u16string> manufacturer_string() override { return query(hid_get_manufacturer_string); }
    std::optional<std::u16string> product_string() override { return query(hid_get_product_string); }
    std::optional<std::u16string> serial_number_string() override { return query(hid_get_serial_number_string); }

    bool probe() override {
#ifdef __linux__
        // hidapi answers string queries here from udev data it cached at open,
        // and they keep succeeding after the box is unplugged. What does
        // change: the kernel fails reads on the stale handle, and removes the
        // node and its sysfs entry. While this handle stays open the kernel
        // keeps the node's minor number reserved, so a box plugged in again
        // appears under another node rather than reviving this one.
        if (read_failed_) return false;
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0) return false;
        if (node_known_ && (!S_ISCHR(st.st_mode) || st.st_rdev != node_)) return false;
        if (!sysfs_dir_.empty() && !exists(sysfs_dir_)) return false;
        return true;
#else
        // Elsewhere the string query goes to the device.
        return manufacturer_string().has_value();
#endif
    }

private:
    using StringQuery = int (*)(hid_device*, wchar_t*, size_t);

    std::optional<std::u16string> query(StringQuery call) {
        std::array<wchar_t, 256> buffer{};
        if (call(dev_, buffer.data(), buffer.size()) < 0) return std::nullopt;
        buffer.back() = L'\0';
        return wide_to_utf16(std::wstring_view(buffer.data()));
    }

    std::optional<std::vector<std::uint8_t>> read_descriptor() {
#ifdef __linux__
        if (auto bytes = read_sysfs_descriptor(path_)) return bytes;
#endif
#ifdef SHIFTER_HIDAPI_HAS_DESCRIPTOR_CALL
        std::vector<std::uint8_t> bytes(HID_API_MAX_REPORT_DESCRIPTOR_SIZE);
        const int n = hid_get_report_descriptor(dev_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.resize(static_cast<std::size_t>(n));
            return bytes;
        }
#endif
        return std::nullopt;
    }

    hid_device* dev_;
    std::string path_;
    bool read_failed_ = false;
#ifdef __linux__
    dev_t node_ = 0;
    bool node_known_ = false;
    std::string sysfs_dir_;
#endif
};

#ifdef __linux__
// hidapi 0.13 crashes when hid_open_path gets a node that opens but is not a
// hidraw node (a regular file, /dev/null), so a path is checked here first.
// Our own open also keeps the reason a node cannot be opened, which hidapi
// loses: its error bookkeeping runs before errno can be read.
// The box is there, but the udev rule that lets the desktop user open it is
// missing, was installed after the box was plugged in, or gives the box to
// another session (the user at the seat): the window's notice says which.
HidError check_hidraw_node(const std::string& path, const std::vector<std::string>& rule_dirs) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR || e == ENODEV || e == ENXIO)
            return {HidErrorKind::NotFound, "No HID device is present at " + path + " any more."};
        if (e == EACCES || e == EPERM)
            return {HidErrorKind::PermissionDenied, permission_sentence(path, installed_udev_rule(rule_dirs))};
        return {HidErrorKind::Io, "Opening " + path + " failed: " + std::generic_category().message(e) + "."};
    }
    int descriptor_size = 0;
    const bool hidraw = ::ioctl(fd, HIDIOCGRDESCSIZE, &descriptor_size) == 0;
    ::close(fd);
    if (!hidraw) return {HidErrorKind::Io, path + " is not a HID device node."};
    return {};
}
#endif

}  // namespace

HidapiBackend::HidapiBackend() : ready_(HidapiLibrary::instance().ok()), rule_dirs_(default_udev_rule_dirs()) {}

std::vector<HidDeviceInfo> HidapiBackend::enumerate() {
    std::vector<HidDeviceInfo> found;
    if (!ready_) return found;
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* d = list; d; d = d->next) {
        if (!d->path) continue;
        found.push_back({d->path,
                         {d->vendor_id, d->product_id, d->release_number},
                         d->serial_number ? wide_to_utf16(std::wstring_view(d->serial_number)) : std::u16string()});
    }
    hid_free_enumeration(list);
    return found;
}

OpenResult HidapiBackend::open(const std::string& path) {
    if (!ready_) return {nullptr, {HidErrorKind::Io, "The HID library could not be started: " + last_global_error() + "."}};
#ifdef __linux__
    if (HidError refused = check_hidraw_node(path, rule_dirs_)) return {nullptr, std::move(refused)};
#endif
    hid_device* dev = hid_open_path(path.c_str());
    if (!dev) {
#ifdef __linux__
        // The node changed between the check and hidapi's open; say how.
        if (HidError refused = check_hidraw_node(path, rule_dirs_)) return {nullptr, std::move(refused)};
#endif
        return {nullptr, {HidErrorKind::Io, "Opening " + path + " failed: " + last_global_error() + "."}};
    }
    return {std::make_unique<HidapiDevice>(dev, path), {}};
}

std::u16string wide_to_utf16(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const wchar_t wc : text) {
        if constexpr (sizeof(wchar_t) == 2) {
            out.push_back(static_cast<char16_t>(wc));
        } else {
            const auto cp = static_cast<std::uint32_t>(wc);
            if (cp > 0x10FFFF || is_surrogate(cp)) {
                out.push_back(u'\uFFFD');
            } else if (cp < 0x10000) {
                out.push_back(static_cast<char16_t>(cp));
            } else {
                const std::uint32_t v = cp - 0x10000;
                out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
            }
        }
    }
    return out;
}

std::string wide_to_utf8(std::wstring_view text) {
    const std::u16string units = wide_to_utf16(text);
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            append_utf8(out, is_surrogate(u) ? 0xFFFD : u);
        }
    }
    return out;
}

std::string hidraw_sysfs_dir(std::string_view device_path) {
    const std::size_t slash = device_path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? device_path : device_path.substr(slash + 1);
    constexpr std::string_view kPrefix = "hidraw";
    if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return {};
    for (const char c : name.substr(kPrefix.size()))
        if (c < '0' || c > '9') return {};
    return "/sys/class/hidraw/" + std::string(name);
}

}  // namespace device
