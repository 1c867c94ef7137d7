#!/bin/bash
# tinyproxy-fixture.sh start DIR USER PASSWORD | stop DIR
# Runs tinyproxy with Basic authentication on 127.0.0.1 for the Windows proxy tests: the tests
# run under Wine and reach it over loopback. The port it listens on is written to DIR/port.
set -euo pipefail
command=$1
dir=$2

stop() {
  if [ -f "$dir/pid" ]; then
    kill "$(cat "$dir/pid")" 2>/dev/null || true
    rm -f "$dir/pid"
  fi
}

listening() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

case "$command" in
  start)
    user=$3
    password=$4
    if ! command -v tinyproxy >/dev/null; then
      echo "tinyproxy is not installed (Debian package tinyproxy)" >&2
      exit 1
    fi
    stop
    mkdir -p "$dir"
    rm -f "$dir/port"
    for attempt in 1 2 3 4 5; do
      port=$((20000 + RANDOM % 40000))
      listening "$port" && continue
      cat >"$dir/tinyproxy.conf" <<CONF
Port $port
Listen 127.0.0.1
Timeout 30
MaxClients 8
LogLevel Info
LogFile "$dir/tinyproxy.log"
Allow 127.0.0.1
BasicAuth $user $password
CONF
      tinyproxy -d -c "$dir/tinyproxy.conf" </dev/null >/dev/null 2>&1 &
      echo $! >"$dir/pid"
      # Ready once it accepts connections; a port taken meanwhile ends it, and another is tried.
      for step in $(seq 1 100); do
        if listening "$port"; then
          echo "$port" >"$dir/port"
          exit 0
        fi
        kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
        sleep 0.05
      done
      stop
    done
    echo "tinyproxy did not start:" >&2
    cat "$dir/tinyproxy.log" >&2 2>/dev/null || true
    exit 1
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start DIR USER PASSWORD | stop DIR" >&2
    exit 2
    ;;
esac
