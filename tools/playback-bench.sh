#!/usr/bin/env bash
# Measures recording playback on a private PulseAudio server with a null
# sink, and the start-up to the first paint on a private X server.  Nothing
# reaches a real sound card, the desktop's own sound server or its display.
#
# 1. Timing: plays every recording a few rounds through the Qt runtime while
#    lq_capture records the sink's monitor on the monotonic clock, and
#    compares, per play, the call's return with the end of the sound in the
#    capture, and the sound captured with the recording.
# 2. Outages: plays on while the server is killed (SIGKILL) and started
#    again on the same socket, after a 2 s and after a 10 s outage; the
#    first play after the server is back must be heard.
# 3. First paint: the quiz and a bare Qt window of its size, started in
#    turns on Xvfb, timed from their start to their window's first paint.
#
# usage: tools/playback-bench.sh [BUILD_DIR] [-- BENCH_ARGS...]
#   BUILD_DIR   the CMake build folder (default: build in the source
#               folder); configured when it is new
#   BENCH_ARGS  passed on to the timing pass's lq_playback_bench (--rounds,
#               --gap-ms, --only)
# Environment: LQ_BENCH_RATE (capture rate, default 44100),
#   LQ_BENCH_PAINT_RUNS (starts of each program, default 15),
#   LQ_BENCH_KEEP=1 keeps the temporary folder (captures, logs) for a look.
# Exit status: 0 when every target was met, 1 when one was missed, 2 when
#   the bench could not run.
set -euo pipefail
caller_dir=$PWD
cd "$(dirname "$0")/.."
source_dir=$PWD

build_dir=build
if [[ $# -gt 0 && "$1" != "--" ]]; then
  build_dir=$1
  [[ "$build_dir" == /* ]] || build_dir=$caller_dir/$build_dir
  shift
fi
[[ "${1:-}" == "--" ]] && shift
bench_args=("$@")
rate=${LQ_BENCH_RATE:-44100}
paint_runs=${LQ_BENCH_PAINT_RUNS:-15}

tools/install-deps.sh --bench
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja
fi
cmake --build "$build_dir" --target lq_playback_bench lq_capture letter-quiz \
  lq_bare_window lq_first_paint
build_dir=$(cd "$build_dir" && pwd)
bench=$build_dir/lq_playback_bench
capture=$build_dir/lq_capture

tmp=$(mktemp -d "${TMPDIR:-/tmp}/lq-playback-bench.XXXXXX")
pulse_pid=
capture_pid=
bench_pid=
xvfb_pid=
stop() {  # pid...: TERM and wait, quietly
  local pid
  for pid in "$@"; do
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
}
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  stop "$bench_pid" "$capture_pid" "$pulse_pid" "$xvfb_pid"
  if [[ "${LQ_BENCH_KEEP:-0}" == 1 ]]; then
    echo "playback bench: kept $tmp" >&2
  else
    rm -rf "$tmp"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 2' INT TERM

fail() {
  echo "playback bench: $*" >&2
  exit 2
}
monotonic_ns() { /usr/bin/python3 -c 'import time; print(time.monotonic_ns())'; }

# The private server: its own runtime, state and config folders, no
# startup script (so no hardware modules), only a null sink and the native
# protocol on a socket in the temporary folder.  No session bus either.
# The null sink runs without rewinds: a rewind (a new stream, a latency
# change) drops audio its monitor had already been handed, and the capture
# would no longer follow the clock.
mkdir -p "$tmp/run" "$tmp/state" "$tmp/config" "$tmp/sources" "$tmp/home" "$tmp/data"
mkdir -m 0700 "$tmp/xdg"
socket=$tmp/run/native
export PULSE_RUNTIME_PATH=$tmp/run
export PULSE_STATE_PATH=$tmp/state
export XDG_CONFIG_HOME=$tmp/config
export PULSE_COOKIE=$tmp/cookie
export XDG_RUNTIME_DIR=$tmp/xdg
export DBUS_SESSION_BUS_ADDRESS=unix:path=$tmp/no-session-bus
printf 'autospawn = no\n' >"$tmp/client.conf"
export PULSE_CLIENTCONFIG=$tmp/client.conf
export PULSE_SERVER=unix:$socket
unset PULSE_SINK PULSE_SOURCE

start_server() {  # log name
  pulseaudio -n --daemonize=no --system=no --use-pid-file=no \
    --exit-idle-time=-1 --disallow-exit=yes --disallow-module-loading=yes \
    --realtime=no --high-priority=no --disable-shm=yes \
    --log-target=stderr --log-level=notice \
    -L "module-null-sink sink_name=bench rate=$rate channels=2 norewinds=1" \
    -L "module-native-protocol-unix socket=$socket auth-anonymous=1" \
    2>>"$tmp/pulseaudio-$1.log" &
  pulse_pid=$!
  local _
  for _ in $(seq 100); do
    if pactl list short sinks 2>/dev/null | grep -q '\bbench\b'; then
      pactl set-default-sink bench
      return 0
    fi
    kill -0 "$pulse_pid" 2>/dev/null || break
    sleep 0.05
  done
  cat "$tmp/pulseaudio-$1.log" >&2
  fail "pulseaudio did not start"
}
kill_server() {
  kill -KILL "$pulse_pid" 2>/dev/null || true
  wait "$pulse_pid" 2>/dev/null || true
  pulse_pid=
  rm -f "$socket"
}
start_capture() {  # segment name; returns once the recording runs
  "$capture" --device bench.monitor --rate "$rate" --out "$tmp/capture-$1.s16" \
    --times "$tmp/capture-$1.times" 2>"$tmp/capture-$1.log" &
  capture_pid=$!
  local _
  for _ in $(seq 200); do
    if grep -q '^connected' "$tmp/capture-$1.times" 2>/dev/null; then return 0; fi
    kill -0 "$capture_pid" 2>/dev/null || break
    sleep 0.02
  done
  cat "$tmp/capture-$1.log" >&2
  fail "lq_capture did not start"
}
stop_capture() {
  sleep 0.3  # the tail of the last sound reaches the capture
  stop "$capture_pid"
  capture_pid=
}
# Runs lq_playback_bench in the background (so that a signal to this
# script stops it at once) and sets bench_pid.
run_bench() {  # name, args...
  local name=$1
  shift
  QT_QPA_PLATFORM=offscreen "$bench" "$@" >"$tmp/plays-$name.tsv" 2>"$tmp/bench-$name.err" &
  bench_pid=$!
}
finish_bench() {  # name
  local status=0
  wait "$bench_pid" || status=$?
  bench_pid=
  sed 's/^/bench: /' "$tmp/bench-$1.err" >&2
  if [[ $status -ne 0 ]] && ! grep -q '^play' "$tmp/plays-$1.tsv"; then
    fail "lq_playback_bench failed (status $status) before any play"
  fi
  return "$status"
}
analyse() {
  /usr/bin/python3 tools/playback_bench_analysis.py --rate "$rate" --sources "$tmp/sources" "$@"
}

targets_missed=0

# --- 1. Timing.
echo "playback bench: timing; the capture is at $rate Hz" >&2
start_server timing
start_capture timing
run_bench timing --dump "$tmp/sources" ${bench_args[@]+"${bench_args[@]}"}
status=0
finish_bench timing || status=$?
stop_capture
echo "== Timing: every play against the capture"
analyse --plays "$tmp/plays-timing.tsv" --segment "$tmp/capture-timing" || targets_missed=1
[[ $status -eq 0 ]] || { echo "lq_playback_bench ended with status $status"; targets_missed=1; }
kill_server

# --- 2. Outages: a 2 s one, then a 10 s one, each a few seconds into plays.
echo "playback bench: outages" >&2
: >"$tmp/events"
start_server outage
start_capture outage-0
run_bench outage --rounds 1 --gap-ms 600
segments=(--segment "$tmp/capture-outage-0")
n=0
for outage in 2 10; do
  sleep 5
  echo "kill $(monotonic_ns) $outage" >>"$tmp/events"
  kill_server
  stop "$capture_pid"
  capture_pid=
  sleep "$outage"
  n=$((n + 1))
  start_server outage
  start_capture "outage-$n"
  echo "back $(sed -n 's/^connected //p' "$tmp/capture-outage-$n.times")" >>"$tmp/events"
  segments+=(--segment "$tmp/capture-outage-$n")
done
status=0
finish_bench outage || status=$?
stop_capture
echo
echo "== Outages: the server killed and started again during plays"
analyse --plays "$tmp/plays-outage.tsv" --events "$tmp/events" "${segments[@]}" ||
  targets_missed=1
[[ $status -eq 0 ]] || { echo "lq_playback_bench ended with status $status"; targets_missed=1; }

# --- 3. First paint, the sound server up as for a user.
echo "playback bench: first paint" >&2
display=
for d in $(seq 90 120); do
  if [[ ! -e /tmp/.X11-unix/X$d && ! -e /tmp/.X$d-lock ]]; then display=:$d; break; fi
done
[[ -n $display ]] || fail "no free X display number"
Xvfb "$display" -screen 0 1280x1024x24 -br -nolisten tcp 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -e /tmp/.X11-unix/X${display#:} ]] && break
  sleep 0.05
done
[[ -e /tmp/.X11-unix/X${display#:} ]] || fail "Xvfb did not start"
: >"$tmp/paint.tsv"
paint() {  # name program
  local t
  t=$(DISPLAY=$display QT_QPA_PLATFORM=xcb HOME=$tmp/home XDG_DATA_HOME=$tmp/data \
        "$build_dir/lq_first_paint" "$2" 2>>"$tmp/paint.err") ||
    { cat "$tmp/paint.err" >&2; fail "no first paint of $1"; }
  echo "$1 $t" >>"$tmp/paint.tsv"
}
# One start of each first: the fonts are installed, the files are cached.
paint warm-quiz "$build_dir/letter-quiz"
paint warm-bare "$build_dir/lq_bare_window"
for _ in $(seq "$paint_runs"); do
  paint quiz "$build_dir/letter-quiz"
  paint bare "$build_dir/lq_bare_window"
done
echo
echo "== First paint: the quiz and a bare Qt window, started in turns"
analyse --paint "$tmp/paint.tsv" --binaries "$build_dir/letter-quiz" "$build_dir/lq_bare_window"
exit "$targets_missed"
