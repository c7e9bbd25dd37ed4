// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Boxes on a fake Linux device tree. umockdev builds the sysfs entries of a USB
// HID interface and its /dev/hidrawN node; the rig answers the node's ioctls
// and reads from an emulator::BoxModel the way the hidraw driver answers for a
// real box, so hidapi and libudev run unchanged above it. The process must run
// with umockdev's preload library (umockdev-wrapper), and every handle on a
// node must be closed before the rig goes.
//
// umockdev backs the node with a pseudo-terminal and does not see poll(), so
// the rig keeps one byte waiting on the terminal per queued input report: a
// poll then says "readable" exactly when hidraw would, and the read itself is
// answered from the box.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulator/BoxModel.h"

namespace hidraw_rig {

// One feature-report ioctl as the node received it.
struct Transfer {
    enum class Kind { Set, Get };
    Kind kind;
    std::string node;                  // "/dev/hidrawN"
    std::size_t length;                // the length encoded in the request
    std::vector<std::uint8_t> report;  // as written, or as answered
    bool ok;
};

// Who may open a node. Root opens any node whatever its mode, so a test that
// needs a refusal runs the tool as another user.
enum class Access {
    Everyone,  // mode 0666
    Nobody,    // mode 0000: open fails with EACCES for every user but root
};

// True when umockdev's preload library is loaded into this process.
bool preloaded();

class Rig {
public:
    Rig();
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Plugs the box into the next free USB port. Its node appears at once if
    // the box is present, otherwise at the settle() that finds it present.
    void plug(emulator::BoxModel& box, Access access = Access::Everyone);
    // Does what the kernel does on hotplug: a box that left the bus, or came
    // back as a new appearance, loses its node; a present box without a node
    // gets one, under a number never used before in this rig.
    void settle();
    // The node of the box's current appearance; empty while it has none.
    std::string node(const emulator::BoxModel& box) const;

    // Reads or changes the box while the node may be in use, then lines the
    // node's readiness up with the box's input queue.
    void with_box(emulator::BoxModel& box, const std::function<void(emulator::BoxModel&)>& fn);

    // File descriptors this process holds open on the node.
    int open_descriptors(const std::string& node) const;
    // How often any process opened the node.
    int opens(const std::string& node) const;

    std::vector<Transfer> transfers() const;
    void clear_transfers();

    // Lets processes of other users into the testbed: its directory and the
    // sockets that carry their ioctls to this process.
    void admit_other_users();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace hidraw_rig
