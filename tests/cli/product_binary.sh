#!/bin/sh
# product_binary.sh PROGRAM
# The product's command line must start where no Qt is installed and must not carry the
# virtual device: no Qt library among its dependencies, no symbol of the simulation.
set -eu
program=$1
status=0
if ldd "$program" | grep -i 'libQt'; then
  echo "FAIL: $program links Qt" >&2
  status=1
fi
if nm -C "$program" | grep -E 'qor::(TVirtualBus|TVirtualDevice|TBootloaderEmulator|TFaultPlan)'; then
  echo "FAIL: $program holds the virtual device" >&2
  status=1
fi
"$program" --help | grep -q '^Exit codes:' || { echo "FAIL: no help" >&2; status=1; }
exit $status
