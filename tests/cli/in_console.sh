#!/usr/bin/env bash
# in_console.sh COMMAND...
# Runs COMMAND with a pseudo-terminal for its input, so that Wine gives the Windows program a
# console of its own; its output goes to a file and is shown afterwards, its exit status kept.
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
printf -v command '%q ' "$@"
script -qec "$command >'$out' 2>&1" /dev/null </dev/null
status=$?
cat "$out"
exit "$status"
