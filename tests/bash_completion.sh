#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Loads the bash completion that shifterctl writes and completes lines with it
# as bash would: commands, each command's own options, option values (the
# demo's box paths, whose colon bash splits words at), thresholds, and file
# arguments left to bash. Usage: bash_completion.sh SHIFTERCTL
exe=$1
source <("$exe" --completion bash) || exit 1
complete -p shifterctl >/dev/null || exit 1
# The options the function sets for bash's own completion.
compopt() { opts="$*"; }
failed=0
check() {
    local expected=$1 line=$2
    COMP_LINE=$line
    COMP_POINT=${#line}
    opts=
    COMPREPLY=()
    _shifterctl
    local got="${COMPREPLY[*]}${opts:+ [$opts]}"
    if [[ $got != "$expected" ]]; then
        echo "\"$line\" completes to \"$got\", not \"$expected\""
        failed=1
    fi
}
check "info" "$exe inf"
check "settings set" "$exe se"
check "--count" "$exe monitor --c"
check "--yes" "$exe --demo restore f --y"
check "" "$exe info --y"
check "--version" "$exe --vers"
check "bash" "$exe --completion b"
check "--completion" "$exe --compl"
check "factory-reset" "$exe help fa"
check "h1= h2= [-o nospace]" "$exe set h5=1 h"
check " [-o default]" "$exe --json restore "
check "" "$exe restore a "
check "box0#1" "$exe --demo settings --path emu:b"
check "emu:box0#1" "$exe --demo settings --path=e"
check "" "$exe -- --"
# The other shells' scripts at least parse, where those shells are installed.
if command -v zsh >/dev/null; then
    zsh -n <("$exe" --completion zsh) || failed=1
fi
if command -v fish >/dev/null; then
    "$exe" --completion fish | fish --no-execute || failed=1
fi
exit $failed
