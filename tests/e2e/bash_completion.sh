#!/usr/bin/env bash
# The bash completion of qor7316-update, as bash calls it when Tab is pressed: commands,
# options from the program's own --help, and serial numbers and ports from its list, here
# from the test build over three virtual devices (one without a serial number).
#   bash_completion.sh COMPLETION PROGRAM
set -u
completion=$1 program=$2
fail() { echo "FAIL: $*"; exit 1; }
# shellcheck source=/dev/null
source "$completion"
export QOR_SIM_DEVICES="QOR 7316|a;QOR 7316|b|serial=FT7316B2;QOR 7316|serial="
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME XDG_STATE_HOME=$XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT

# complete WORD...: what Tab offers after the words, the last one being completed.
complete_words() {
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$#
    _qor7316_update
    [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' '
}
expect() {
    local got
    got=$(complete_words "${@:2}")
    [ "$got" = "$1" ] || fail "after '${*:2}': '$got', not '$1'"
}
expect "flash " fl
expect "download " --json d
expect "--serial " flash x.bin --all --se
expect "--skip-current " flash x.bin --sk
expect "VQ731600 " info --serial VQ
expect "FT7316B2 VQ731600 " flash --all --serial ""
expect "VQ0 VQ1 VQ2 " info --port ""
expect "de en es fr " info --lang ""
expect "" flash --retries ""
echo "ok: the bash completion offers commands, options, serial numbers and ports"
