// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What to tell a user who may not open the box on a system whose device
// nodes udev sets up: whether our rule is installed tells a missing rule from
// a session the rule does not serve.

#include <optional>
#include <string>
#include <vector>

namespace device {

inline constexpr const char* kUdevRuleName = "70-shifter.rules";

// The folders udev reads rules from, in the order a user would look.
std::vector<std::string> default_udev_rule_dirs();

// The path of our rule in the first of dirs that holds it.
std::optional<std::string> installed_udev_rule(const std::vector<std::string>& dirs);

// One sentence for the window's notice (three lines of it at most): the rule
// is missing, and how to install it; or it is installed, and this session is
// not the one it gives the box to.
std::string permission_sentence(const std::string& node, const std::optional<std::string>& installed_rule);

}  // namespace device
