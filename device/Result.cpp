// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Result.h"

namespace device {

const char* fault_name(Fault f) {
    switch (f) {
    case Fault::None: return "done";
    case Fault::NoDevice: return "no box";
    case Fault::NotServed: return "not served";
    case Fault::Bootloader: return "bootloader";
    case Fault::OutOfRange: return "out of range";
    case Fault::Failed: return "failed";
    case Fault::Missing: return "missing";
    case Fault::Ambiguous: return "ambiguous";
    case Fault::Stopped: return "stopped";
    case Fault::Declined: return "declined";
    case Fault::NotKept: return "not kept";
    case Fault::BadAnswer: return "bad answer";
    }
    return "?";
}

}  // namespace device
