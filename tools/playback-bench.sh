#!/usr/bin/env bash
# Measures recording playback on a private PulseAudio server with a null
# sink: builds lq_playback_bench, plays every recording a few times while
# parec records the sink's monitor, and compares how long each play call
# took and how long the sound heard in the capture was with the recording
# itself.  Nothing reaches a real sound card or the desktop's own server.
#
# usage: tools/playback-bench.sh [BUILD_DIR] [-- BENCH_ARGS...]
#   BUILD_DIR   the CMake build folder (default: build in the source
#               folder); configured when it is new
#   BENCH_ARGS  passed on to lq_playback_bench (--rounds, --gap-ms, --only)
# Environment: LQ_BENCH_RATE (capture rate, default 44100),
#   LQ_BENCH_KEEP=1 keeps the temporary folder (capture, logs) for a look.
# Exit status: 0 when every play met the targets, 1 when one missed,
#   2 when the bench could not run.
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

tools/install-deps.sh --bench
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja
fi
cmake --build "$build_dir" --target lq_playback_bench
bench=$(cd "$build_dir" && pwd)/lq_playback_bench

tmp=$(mktemp -d "${TMPDIR:-/tmp}/lq-playback-bench.XXXXXX")
pulse_pid=
parec_pid=
bench_pid=
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [[ -n "$bench_pid" ]] && kill -0 "$bench_pid" 2>/dev/null; then
    kill -TERM "$bench_pid" 2>/dev/null || true
    wait "$bench_pid" 2>/dev/null || true
  fi
  if [[ -n "$parec_pid" ]] && kill -0 "$parec_pid" 2>/dev/null; then
    kill -TERM "$parec_pid" 2>/dev/null || true
    wait "$parec_pid" 2>/dev/null || true
  fi
  if [[ -n "$pulse_pid" ]] && kill -0 "$pulse_pid" 2>/dev/null; then
    kill -TERM "$pulse_pid" 2>/dev/null || true
    wait "$pulse_pid" 2>/dev/null || true
  fi
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

# The private server: its own runtime, state and config folders, no
# startup script (so no hardware modules), only a null sink and the native
# protocol on a socket in the temporary folder.  No session bus either.
# The null sink runs without rewinds: a rewind (a new stream, a latency
# change) drops audio its monitor had already been handed, and the capture
# would no longer follow the wall clock.
mkdir -p "$tmp/run" "$tmp/state" "$tmp/config" "$tmp/sources"
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

pulseaudio -n --daemonize=no --system=no --use-pid-file=no \
  --exit-idle-time=-1 --disallow-exit=yes --disallow-module-loading=yes \
  --realtime=no --high-priority=no --disable-shm=yes \
  --log-target=stderr --log-level=notice \
  -L "module-null-sink sink_name=bench rate=$rate channels=2 norewinds=1" \
  -L "module-native-protocol-unix socket=$socket auth-anonymous=1" \
  2>"$tmp/pulseaudio.log" &
pulse_pid=$!

for _ in $(seq 100); do
  if pactl list short sinks 2>/dev/null | grep -q '\bbench\b'; then break; fi
  kill -0 "$pulse_pid" 2>/dev/null || { cat "$tmp/pulseaudio.log" >&2; fail "pulseaudio did not start"; }
  sleep 0.1
done
pactl list short sinks 2>/dev/null | grep -q '\bbench\b' ||
  { cat "$tmp/pulseaudio.log" >&2; fail "the null sink did not come up"; }
pactl set-default-sink bench

parec --device=bench.monitor --format=s16le --rate="$rate" --channels=1 \
  --latency-msec=20 >"$tmp/capture.s16" 2>"$tmp/parec.log" &
parec_pid=$!
for _ in $(seq 50); do
  if [[ -n "$(pactl list short source-outputs 2>/dev/null)" ]]; then break; fi
  kill -0 "$parec_pid" 2>/dev/null || { cat "$tmp/parec.log" >&2; fail "parec did not start"; }
  sleep 0.1
done
[[ -n "$(pactl list short source-outputs 2>/dev/null)" ]] || fail "parec did not connect"

echo "playback bench: playing; the capture is at $rate Hz" >&2
# In the background, so that a signal to this script stops it at once.
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
  "$bench" --dump "$tmp/sources" ${bench_args[@]+"${bench_args[@]}"} \
  >"$tmp/plays.tsv" 2>"$tmp/bench.err" &
bench_pid=$!
bench_status=0
wait "$bench_pid" || bench_status=$?
bench_pid=
sed 's/^/bench: /' "$tmp/bench.err" >&2
sleep 0.5  # the tail of the last sound reaches the capture
kill -TERM "$parec_pid"
wait "$parec_pid" || true
parec_pid=
if [[ $bench_status -ne 0 ]] && ! grep -q '^play' "$tmp/plays.tsv"; then
  fail "lq_playback_bench failed (status $bench_status) before any play"
fi

analysis_status=0
/usr/bin/python3 tools/playback_bench_analysis.py --plays "$tmp/plays.tsv" \
  --sources "$tmp/sources" --capture "$tmp/capture.s16" --rate "$rate" ||
  analysis_status=$?
if [[ $bench_status -ne 0 ]]; then
  echo "playback bench: lq_playback_bench ended with status $bench_status" >&2
  exit 1
fi
exit "$analysis_status"
