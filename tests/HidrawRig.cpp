// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/HidrawRig.h"

#include <umockdev.h>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <span>
#include <stdexcept>
#include <thread>

namespace hidraw_rig {
namespace {

// Major number of the fake hidraw nodes; the kernel picks one at run time.
constexpr unsigned kHidrawMajor = 240;

// Real major/minor of each node's terminal -> the node's fake numbers.
std::mutex& numbers_mutex() {
    static std::mutex m;
    return m;
}
std::map<dev_t, dev_t>& fake_numbers() {
    static std::map<dev_t, dev_t> numbers;
    return numbers;
}

}  // namespace
}  // namespace hidraw_rig

// umockdev 0.17 fakes stat() on a node but not fstat() on a descriptor, so a
// descriptor on a node reports its terminal's numbers, which sysfs does not
// know. hidapi finds the strings of an open device through fstat(), so this
// process's fstat() reports the node's numbers instead.
extern "C" int fstat(int fd, struct stat* st) noexcept {
    using Fstat = int (*)(int, struct stat*);
    static const auto next = reinterpret_cast<Fstat>(dlsym(RTLD_NEXT, "fstat"));
    const int result = next(fd, st);
    if (result == 0 && S_ISCHR(st->st_mode)) {
        std::lock_guard lock(hidraw_rig::numbers_mutex());
        const auto& numbers = hidraw_rig::fake_numbers();
        if (const auto it = numbers.find(st->st_rdev); it != numbers.end()) st->st_rdev = it->second;
    }
    return result;
}

namespace hidraw_rig {
namespace {

struct Node {
    Rig::Impl* rig = nullptr;
    emulator::BoxModel* box = nullptr;
    int generation = 0;
    std::string devnode;                // /dev/hidrawN
    std::string terminal;               // /dev/pts/M behind it
    std::vector<std::string> syspaths;  // the hidraw device first, the USB device last
    int master = -1;                    // umockdev's end of the terminal, not ours to close
    int peer = -1;                      // our own descriptor on the node's end
    dev_t terminal_number = 0;
    UMockdevIoctlBase* handler = nullptr;
    bool gone = false;
    int opens = 0;
};

struct Port {
    emulator::BoxModel* box;
    Access access;
    int number;
    Node* node = nullptr;
};

std::string utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    char digits[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        out += digits;
    }
    return out;
}

std::string hex4(unsigned value, bool upper) {
    char text[8];
    std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value & 0xFFFF);
    return text;
}

// Bytes waiting on the node's terminal.
int waiting(const Node& n) {
    int count = 0;
    if (::ioctl(n.peer, FIONREAD, &count) != 0) return -1;
    return count;
}

}  // namespace

struct Rig::Impl {
    UMockdevTestbed* testbed = nullptr;
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<Node>> nodes;
    std::vector<Port> ports;
    std::vector<Transfer> transfers;
    int next_minor = 0;
    int next_hid_id = 1;
    bool others_admitted = false;

    // The node answers only for the appearance of the box it was made for.
    static bool live(const Node& n) {
        return !n.gone && n.box->present() && n.box->generation() == n.generation;
    }

    // One byte per queued report; a dead node keeps one byte waiting so that
    // every poll on it wakes up and the read that follows fails.
    static void sync(Node& n) {
        const int want = live(n) ? static_cast<int>(n.box->queued_inputs()) : 1;
        int have = waiting(n);
        if (have > want) {
            std::vector<char> sink(static_cast<std::size_t>(have - want));
            [[maybe_unused]] const ssize_t taken = ::read(n.peer, sink.data(), sink.size());
        } else if (have >= 0 && have < want) {
            const std::string bytes(static_cast<std::size_t>(want - have), 'r');
            [[maybe_unused]] const ssize_t put = ::write(n.master, bytes.data(), bytes.size());
            // The terminal hands written bytes over on a kernel worker; wait
            // until they are readable, so that the next poll sees them.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while ((have = waiting(n)) >= 0 && have < want && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }

    void admit(const std::string& dir) const {
        DIR* d = ::opendir(dir.c_str());
        if (!d) return;
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string path = dir + "/" + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                ::chmod(path.c_str(), 0755);
                admit(path);
            } else if (S_ISSOCK(st.st_mode)) {
                ::chmod(path.c_str(), 0777);
            }
        }
        ::closedir(d);
    }

    void admit_all() const {
        gchar* root = umockdev_testbed_get_root_dir(testbed);
        ::chmod(root, 0755);
        admit(std::string(root) + "/ioctl");
        g_free(root);
    }

    Node* attach(Port& port);
    void detach(Node& n);
};

namespace {

gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    Node& n = *static_cast<Node*>(data);
    std::lock_guard lock(n.rig->mutex);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    if (_IOC_TYPE(request) != 'H') {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    if (!Rig::Impl::live(n)) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    // Resolving copies the caller's buffer here; what is changed in the copy
    // goes back to the caller on completion.
    auto resolve = [&](std::size_t length) -> UMockdevIoctlData* {
        GError* error = nullptr;
        UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, length, &error);
        if (error) g_error_free(error);
        return d;
    };

    const std::vector<std::uint8_t> descriptor = n.box->report_descriptor();
    long result = 0;
    int error = 0;
    UMockdevIoctlData* d = nullptr;

    if (request == HIDIOCGRDESCSIZE) {
        if ((d = resolve(sizeof(int)))) {
            const int size = static_cast<int>(descriptor.size());
            std::memcpy(d->data, &size, sizeof size);
        }
    } else if (request == HIDIOCGRDESC) {
        if ((d = resolve(sizeof(hidraw_report_descriptor)))) {
            auto* out = reinterpret_cast<hidraw_report_descriptor*>(d->data);
            if (out->size > HID_MAX_DESCRIPTOR_SIZE) {
                result = -1;
                error = EINVAL;
            } else {
                std::copy_n(descriptor.begin(), std::min<std::size_t>(out->size, descriptor.size()), out->value);
            }
        }
    } else if (_IOC_NR(request) == _IOC_NR(HIDIOCSFEATURE(0)) || _IOC_NR(request) == _IOC_NR(HIDIOCGFEATURE(0))) {
        const bool set = _IOC_NR(request) == _IOC_NR(HIDIOCSFEATURE(0));
        const std::size_t length = _IOC_SIZE(request);
        if (length == 0 || !(d = resolve(length))) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            if (d) g_object_unref(d);
            return TRUE;
        }
        const std::span<std::uint8_t> report(d->data, length);
        const int answered = set ? (n.box->set_feature(report) ? static_cast<int>(length) : -1) : n.box->get_feature(report);
        const bool ok = answered >= 0;
        n.rig->transfers.push_back({set ? Transfer::Kind::Set : Transfer::Kind::Get, n.devnode, length,
                                    std::vector<std::uint8_t>(report.begin(), report.end()), ok});
        // A command may have cleared the input queue (the box left the bus).
        Rig::Impl::sync(n);
        result = answered;
        if (!ok) {
            // A box that stays on the bus but refuses the transfer stalls it.
            result = -1;
            error = n.box->present() ? EPIPE : ENODEV;
        }
    } else {
        result = -1;
        error = ENOTTY;
    }
    if (!d && error == 0) {
        result = -1;
        error = EFAULT;
    }
    umockdev_ioctl_client_complete(client, result, error);
    if (d) g_object_unref(d);
    return TRUE;
}

gboolean on_read(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    Node& n = *static_cast<Node*>(data);
    std::lock_guard lock(n.rig->mutex);
    if (!Rig::Impl::live(n)) {
        // What hidraw answers on a descriptor whose device has gone.
        umockdev_ioctl_client_complete(client, -1, EIO);
        return TRUE;
    }
    const std::optional<std::vector<std::uint8_t>> report = n.box->take_input();
    Rig::Impl::sync(n);
    if (!report) {
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return TRUE;
    }
    // hidraw hands over one report per read, cut to the reader's buffer.
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const std::size_t length = std::min(static_cast<std::size_t>(arg->data_len), report->size());
    std::memcpy(arg->data, report->data(), length);
    umockdev_ioctl_client_complete(client, static_cast<long>(length), 0);
    return TRUE;
}

void on_connected(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer data) {
    Node& n = *static_cast<Node*>(data);
    std::lock_guard lock(n.rig->mutex);
    ++n.opens;
}

}  // namespace

Node* Rig::Impl::attach(Port& port) {
    emulator::BoxModel& box = *port.box;
    const device::HidAttributes attributes = box.attributes();
    const emulator::BoxIdentity& id = box.identity();
    const int minor = next_minor++;
    const int hid_id = next_hid_id++;

    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port.number);
    const std::string interface = usb + "/1-" + std::to_string(port.number) + ":1.0";
    const std::string hid = interface + "/0003:" + hex4(attributes.vendor_id, true) + ":" +
                            hex4(attributes.product_id, true) + "." + hex4(static_cast<unsigned>(hid_id), true);
    const std::string raw = hid + "/hidraw/hidraw" + std::to_string(minor);
    const std::string devnode = "/dev/hidraw" + std::to_string(minor);
    const std::string manufacturer = utf8(id.manufacturer);
    const std::string product = utf8(id.product);
    const std::string serial = utf8(id.serial);

    const std::string record =
        "P: " + usb + "\n"
        "E: SUBSYSTEM=usb\n"
        "E: DEVTYPE=usb_device\n"
        "A: idVendor=" + hex4(attributes.vendor_id, false) + "\n"
        "A: idProduct=" + hex4(attributes.product_id, false) + "\n"
        "A: bcdDevice=" + hex4(attributes.version_number, false) + "\n"
        "A: manufacturer=" + manufacturer + "\n"
        "A: product=" + product + "\n"
        "A: serial=" + serial + "\n"
        "\n"
        "P: " + interface + "\n"
        "E: SUBSYSTEM=usb\n"
        "E: DEVTYPE=usb_interface\n"
        "A: bInterfaceClass=03\n"
        "A: bInterfaceNumber=00\n"
        "\n"
        "P: " + hid + "\n"
        "E: SUBSYSTEM=hid\n"
        "E: HID_ID=0003:0000" + hex4(attributes.vendor_id, true) + ":0000" + hex4(attributes.product_id, true) + "\n"
        "E: HID_NAME=" + manufacturer + " " + product + "\n"
        "E: HID_UNIQ=" + serial + "\n"
        "H: report_descriptor=" + hex(box.report_descriptor()) + "\n"
        "\n"
        "P: " + raw + "\n"
        "N: " + devnode.substr(5) + "\n"
        "E: SUBSYSTEM=hidraw\n"
        "E: DEVNAME=" + devnode + "\n"
        "E: MAJOR=" + std::to_string(kHidrawMajor) + "\n"
        "E: MINOR=" + std::to_string(minor) + "\n"
        "A: dev=" + std::to_string(kHidrawMajor) + ":" + std::to_string(minor) + "\n"
        "L: device=../..\n";

    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) {
        const std::string why = error ? error->message : "no reason given";
        if (error) g_error_free(error);
        throw std::runtime_error("umockdev refused the device tree of " + devnode + ": " + why);
    }

    auto node = std::make_unique<Node>();
    Node& n = *node;
    n.rig = this;
    n.box = &box;
    n.generation = box.generation();
    n.devnode = devnode;
    n.syspaths = {"/sys" + raw, "/sys" + hid, "/sys" + interface, "/sys" + usb};
    n.handler = UMOCKDEV_IOCTL_BASE(g_object_new(UMOCKDEV_TYPE_IOCTL_BASE, nullptr));
    g_signal_connect(n.handler, "handle-ioctl", G_CALLBACK(on_ioctl), &n);
    g_signal_connect(n.handler, "handle-read", G_CALLBACK(on_read), &n);
    g_signal_connect(n.handler, "client-connected", G_CALLBACK(on_connected), &n);
    if (!umockdev_testbed_attach_ioctl(testbed, devnode.c_str(), n.handler, &error)) {
        const std::string why = error ? error->message : "no reason given";
        if (error) g_error_free(error);
        throw std::runtime_error("umockdev could not serve " + devnode + ": " + why);
    }

    n.master = umockdev_testbed_get_dev_fd(testbed, devnode.c_str());
    if (n.master < 0) throw std::runtime_error("umockdev made " + devnode + " without a terminal behind it");
    // Opened through the terminal itself, not a path: umockdev's preload then
    // leaves this descriptor alone.
    n.peer = ::ioctl(n.master, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (n.peer < 0) throw std::runtime_error("cannot open the terminal behind " + devnode);
    char terminal[64] = {};
    if (::ptsname_r(n.master, terminal, sizeof terminal) != 0)
        throw std::runtime_error("cannot name the terminal behind " + devnode);
    n.terminal = terminal;
    ::fchmod(n.peer, port.access == Access::Everyone ? 0666 : 0);
    struct stat st {};
    if (::fstat(n.peer, &st) != 0) throw std::runtime_error("cannot stat the terminal behind " + devnode);
    n.terminal_number = st.st_rdev;
    {
        std::lock_guard numbers(numbers_mutex());
        fake_numbers()[st.st_rdev] = makedev(kHidrawMajor, static_cast<unsigned>(minor));
    }
    if (others_admitted) admit_all();
    sync(n);
    nodes.push_back(std::move(node));
    return &n;
}

void Rig::Impl::detach(Node& n) {
    for (const std::string& path : n.syspaths) umockdev_testbed_remove_device(testbed, path.c_str());
    n.gone = true;
    sync(n);
}

bool preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

Rig::Rig() : impl_(std::make_unique<Impl>()) {
    if (!preloaded()) throw std::runtime_error("umockdev's preload library is not loaded: run under umockdev-wrapper");
    impl_->testbed = umockdev_testbed_new();
}

Rig::~Rig() {
    Impl& r = *impl_;
    for (const auto& node : r.nodes) {
        Node& n = *node;
        umockdev_testbed_detach_ioctl(r.testbed, n.devnode.c_str(), nullptr);
        g_signal_handlers_disconnect_by_data(n.handler, &n);
        g_object_unref(n.handler);
        ::close(n.peer);
        std::lock_guard numbers(numbers_mutex());
        fake_numbers().erase(n.terminal_number);
    }
    g_object_unref(r.testbed);
}

void Rig::plug(emulator::BoxModel& box, Access access) {
    std::lock_guard lock(impl_->mutex);
    Port& port = impl_->ports.emplace_back(Port{&box, access, static_cast<int>(impl_->ports.size()) + 1});
    if (box.present()) port.node = impl_->attach(port);
}

void Rig::settle() {
    std::lock_guard lock(impl_->mutex);
    for (Port& port : impl_->ports) {
        const bool present = port.box->present();
        if (port.node && (!present || port.box->generation() != port.node->generation)) {
            impl_->detach(*port.node);
            port.node = nullptr;
        }
        if (!port.node && present) port.node = impl_->attach(port);
    }
}

std::string Rig::node(const emulator::BoxModel& box) const {
    std::lock_guard lock(impl_->mutex);
    for (const Port& port : impl_->ports)
        if (port.box == &box && port.node) return port.node->devnode;
    return {};
}

void Rig::with_box(emulator::BoxModel& box, const std::function<void(emulator::BoxModel&)>& fn) {
    std::lock_guard lock(impl_->mutex);
    fn(box);
    for (const auto& node : impl_->nodes)
        if (node->box == &box) Impl::sync(*node);
}

int Rig::open_descriptors(const std::string& devnode) const {
    std::string terminal;
    int own = -1;
    {
        std::lock_guard lock(impl_->mutex);
        for (const auto& node : impl_->nodes)
            if (node->devnode == devnode) {
                terminal = node->terminal;
                own = node->peer;
            }
    }
    if (terminal.empty()) return 0;
    int count = 0;
    DIR* d = ::opendir("/proc/self/fd");
    if (!d) return -1;
    while (const dirent* e = ::readdir(d)) {
        const int fd = std::atoi(e->d_name);
        if (e->d_name[0] == '.' || fd == own) continue;
        char target[256] = {};
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && terminal == target) ++count;
    }
    ::closedir(d);
    return count;
}

int Rig::opens(const std::string& devnode) const {
    std::lock_guard lock(impl_->mutex);
    for (const auto& node : impl_->nodes)
        if (node->devnode == devnode) return node->opens;
    return 0;
}

std::vector<Transfer> Rig::transfers() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->transfers;
}

void Rig::clear_transfers() {
    std::lock_guard lock(impl_->mutex);
    impl_->transfers.clear();
}

void Rig::admit_other_users() {
    std::lock_guard lock(impl_->mutex);
    impl_->others_admitted = true;
    impl_->admit_all();
}

}  // namespace hidraw_rig
