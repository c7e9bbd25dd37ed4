// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/UdevRule.h"

#include <filesystem>
#include <system_error>

namespace device {

std::vector<std::string> default_udev_rule_dirs() { return {"/usr/lib/udev/rules.d", "/etc/udev/rules.d"}; }

std::optional<std::string> installed_udev_rule(const std::vector<std::string>& dirs) {
    for (const std::string& dir : dirs) {
        std::error_code ec;
        const std::filesystem::path rule = std::filesystem::path(dir) / kUdevRuleName;
        if (std::filesystem::is_regular_file(rule, ec)) return rule.string();
    }
    return std::nullopt;
}

std::string permission_sentence(const std::string& node, const std::optional<std::string>& installed_rule) {
    if (!installed_rule)
        return "This user may not open the box at " + node + ": the udev rule " + kUdevRuleName +
               " is missing. Install the shiftercal package (it puts it in /usr/lib/udev/rules.d/) or "
               "sudo cp " + kUdevRuleName + " /etc/udev/rules.d/, then unplug and replug the box.";
    // uaccess gives the node to the user at the machine's own seat only.
    return "This user may not open the box at " + node + ". The rule " + *installed_rule +
           " gives the box to the user at the machine's own seat: run the tool there, not from a remote login, "
           "or replug the box if the rule is new.";
}

}  // namespace device
