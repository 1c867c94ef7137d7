#!/bin/sh
# /init of the guest guest_ftdi.sh boots: loads the USB drivers, waits for the adapters'
# ttys, lays the device's product string over the adapter's, runs the command line against
# each (switching the device off last, which takes its adapter off the bus), reports on the
# console in lines starting "qor-guest:" ("qor-guest: problem: ..." for what went wrong
# outside the program) and powers off. With two adapters both devices are written by one
# flash --all, whose devices must then be of one variant, and then the second alone, chosen
# by its adapter's serial number, with the newer image.
# Kernel parameters: qor.variants=a[,b], the variant of the device behind each adapter, in
# the order of the root hub's ports; qor.serials=S0[,S1], their adapters' serial numbers.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin HOME=/tmp XDG_CONFIG_HOME=/tmp/config XDG_STATE_HOME=/tmp/state
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
say() { echo "qor-guest: $*"; }
finish() {
  dmesg | grep -E 'usb [0-9]|ftdi_sio|ttyUSB'
  say "end"
  poweroff -f
}

variants=a
serials=""
for word in $(cat /proc/cmdline); do
  case $word in
    qor.variants=*) variants=$(echo "${word#qor.variants=}" | tr , ' ') ;;
    qor.serials=*) serials=$(echo "${word#qor.serials=}" | tr , ' ') ;;
  esac
done
set -- $variants
adapters=$#

for module in $(cat /lib/modules/order); do
  insmod "/lib/modules/$module" || say "problem: insmod $module failed"
done

# The tty of the adapter on root hub port $1, once the driver has made it.
tty_of() {
  for node in /sys/bus/usb/devices/1-$1/1-$1:1.0/ttyUSB*; do
    [ -e "$node" ] && basename "$node"
  done
}
i=0
while [ "$i" -lt "$adapters" ]; do
  for _ in $(seq 1 200); do
    tty=$(tty_of $((i + 1)))
    [ -n "$tty" ] && [ -e "/dev/$tty" ] && break
    sleep 0.1
  done
  if [ -z "$tty" ] || [ ! -e "/dev/$tty" ]; then
    say "problem: no tty for adapter $i after 20 s"
    finish
  fi
  usb=/sys/bus/usb/devices/1-$((i + 1))
  echo "QOR 7316" >"/tmp/product$i"
  mount --bind "/tmp/product$i" "$usb/product" || say "problem: cannot lay the product string over $usb"
  say "tty$i $tty"
  say "latency_before$i $(cat "/sys/class/tty/$tty/device/latency_timer")"
  i=$((i + 1))
done

# run NAME COMMAND...: the command's output as it comes, then its exit.
run() {
  name=$1
  shift
  "$@"
  say "exit $name $?"
}

# The serial number list shows for a tty: its second column.
serial_listed() { sed -n "s/^$1	\([^	]*\)	.*/\1/p" /tmp/list.log; }

# With one adapter the program finds the device by itself, as on a bench.
qor7316-update list >/tmp/list.log 2>&1
say "exit list $?"
cat /tmp/list.log
i=0
for variant in $variants; do
  tty=$(tty_of $((i + 1)))
  say "listed$i $(serial_listed "$tty")"
  port=""
  [ "$adapters" -gt 1 ] && port="--port $tty"
  qor7316-update info --json $port >/tmp/info.log 2>&1
  say "exit info$i $?"
  cat /tmp/info.log
  say "info-serial$i $(sed -n 's/^{"event":"info",.*"serial":"\([^"]*\)".*/\1/p' /tmp/info.log)"
  [ "$adapters" -eq 1 ] && run "flash$i" qor7316-update flash "/data/image-$variant.bin"
  i=$((i + 1))
done
if [ "$adapters" -gt 1 ]; then
  # Its lines as a log file gets them; the summary's last line is the run's word.
  qor7316-update flash --all --expect "$adapters" "/data/image-$1.bin" >/tmp/flash-all.log 2>&1
  status=$?
  cat /tmp/flash-all.log
  say "summary $(tail -1 /tmp/flash-all.log)"
  say "exit flash-all $status"
  # The second unit alone, by its serial number, as a line picks one among several.
  set -- $serials
  qor7316-update flash --all --serial "$2" "/data/next-$variant.bin" >/tmp/flash-serial.log 2>&1
  status=$?
  cat /tmp/flash-serial.log
  say "serial-summary $(tail -1 /tmp/flash-serial.log)"
  say "exit flash-serial $status"
  say "last-record $(grep '^  device ' /tmp/state/qor7316-updater/service.log | tail -1)"
  say "last-json $(tail -1 /tmp/state/qor7316-updater/service-log.jsonl)"
fi
i=0
for variant in $variants; do
  tty=$(tty_of $((i + 1)))
  port=""
  [ "$adapters" -gt 1 ] && port="--port $tty"
  say "latency_timer$i $(cat "/sys/class/tty/$tty/device/latency_timer")"
  run "power-off$i" qor7316-update power-off $port
  for _ in $(seq 1 50); do
    [ -e "/dev/$tty" ] || break
    sleep 0.1
  done
  [ -e "/dev/$tty" ] && say "problem: $tty stays after the power-off"
  i=$((i + 1))
done
finish
