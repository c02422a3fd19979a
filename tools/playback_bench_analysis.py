#!/usr/bin/python3
"""Compares the playback bench's play calls with captures of what was heard.

Inputs: the bench's play lines (tools/playback_bench.cpp), the decoded
recordings it dumped (<name>.s16), and one or more capture segments from
tools/capture.cpp: <segment>.s16 (raw s16le mono at --rate) and
<segment>.times (when reads were heard, on CLOCK_MONOTONIC).

Each read gives the time at which its last sample was heard (read time
less the reported latency); a line through those times, fitted robustly,
puts every sample of the segment on the monotonic clock, with a slope for a
sink whose clock runs a little off its nominal rate.  The fit's spread is
printed.  A play owns the
capture from its call to the next play's call.  Its sound ends at its last
audible sample (above the threshold) plus the recording's own quiet tail
(what follows its last audible sample in the recording itself).

With --events (lines "kill <ns> <outage_s>" and "back <ns>"), the plays are
those of an outage pass: the first play called after each "back" must be
heard.  With --paint, prints the first-paint times of the programs started
in turns by the bench and their ratio.

Prints one line per play and a summary; exits 1 when a target is missed,
2 when the inputs cannot be compared.
"""

import argparse
import array
import os
import statistics
import sys


def read_s16(path):
    samples = array.array("h")
    with open(path, "rb") as f:
        samples.frombytes(f.read())
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def audible_span(samples, threshold, begin=0, end=None):
    """First and last index in [begin, end) above the threshold, or None."""
    end = len(samples) if end is None else min(end, len(samples))
    begin = max(begin, 0)
    first = None
    for i in range(begin, end):
        if abs(samples[i]) > threshold:
            first = i
            break
    if first is None:
        return None
    for i in range(end - 1, first - 1, -1):
        if abs(samples[i]) > threshold:
            return first, i
    return None


def parse_plays(path):
    plays = []
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] != "play":
                continue
            plays.append({
                "index": int(fields[1]),
                "name": fields[2],
                "rate": int(fields[3]),
                "channels": int(fields[4]),
                "frames": int(fields[5]),
                "length_ms": float(fields[6]),
                "call": int(fields[7]),
                "return": int(fields[8]),
                "status": int(fields[9]),
            })
    return plays


class Segment:
    """A capture whose samples are placed on the monotonic clock."""

    def __init__(self, base, rate):
        self.name = os.path.basename(base)
        self.rate = rate
        self.samples = read_s16(base + ".s16")
        points = []  # (last frame read, its estimated time less frame / rate)
        self.connected = None
        with open(base + ".times") as f:
            for line in f:
                words = line.split()
                if words[0] == "connected":
                    self.connected = int(words[1])
                elif words[0] == "read":
                    frames, now, latency_us = int(words[1]), int(words[2]), int(words[3])
                    last = frames - 1
                    points.append((last, now - latency_us * 1000 - last * 1e9 / rate))
        if len(points) < 20:
            raise ValueError(f"{base}.times holds too few reads")
        # A sink's clock may run a little off its nominal rate (the null
        # sink: some tens of ppm), so the frame-to-time line gets a slope:
        # through the medians of ten runs of reads, by least squares.
        size = len(points) // 10
        knots = []
        for k in range(10):
            run = points[k * size:(k + 1) * size]
            knots.append((statistics.median(p[0] for p in run),
                          statistics.median(p[1] for p in run)))
        mean_n = statistics.fmean(n for n, _ in knots)
        mean_z = statistics.fmean(z for _, z in knots)
        self.slope = (sum((n - mean_n) * (z - mean_z) for n, z in knots) /
                      sum((n - mean_n) ** 2 for n, _ in knots))
        self.zero = mean_z - self.slope * mean_n
        self.true_rate = 1e9 / (1e9 / rate + self.slope)
        deviation = sorted(abs(z - self.zero - self.slope * n) for n, z in points)
        self.spread_ms = deviation[int(0.9 * (len(deviation) - 1))] / 1e6
        self.reads = len(points)

    def time(self, index):
        return self.zero + index * (1e9 / self.rate + self.slope)

    def index(self, t_ns):
        return int(round((t_ns - self.zero) / (1e9 / self.rate + self.slope)))

    def end_time(self):
        return self.time(len(self.samples))


def load_sources(plays, folder, threshold):
    source = {}
    for p in plays:
        name = p["name"]
        if name in source:
            continue
        if p["channels"] != 1:
            raise ValueError(f"{name} is not mono")
        pcm = read_s16(os.path.join(folder, name + ".s16"))
        span = audible_span(pcm, threshold)
        if span is None:
            raise ValueError(f"{name} has nothing above the threshold")
        source[name] = {
            "audible_ms": (span[1] - span[0] + 1) * 1000 / p["rate"],
            "tail_ms": (len(pcm) - 1 - span[1]) * 1000 / p["rate"],
        }
    return source


def hear(plays, segments, source, threshold):
    """Per play: what the captures hold of it, or None where none covers it."""
    rows = []
    for k, p in enumerate(plays):
        window_end = plays[k + 1]["call"] if k + 1 < len(plays) else None
        row = {"play": p, "heard": None, "segment": None}
        for seg in segments:
            if seg.time(0) > p["call"] or seg.end_time() < p["return"]:
                continue
            end = len(seg.samples) if window_end is None else seg.index(window_end)
            span = audible_span(seg.samples, threshold, seg.index(p["call"]), end)
            row["segment"] = seg
            if span is not None:
                src = source[p["name"]]
                audible_end = seg.time(span[1] + 1)
                row["heard"] = {
                    "start_ms": (seg.time(span[0]) - p["call"]) / 1e6,
                    "audible_ms": (span[1] - span[0] + 1) * 1000 / seg.rate,
                    "after_audible_ms": (p["return"] - audible_end) / 1e6,
                    "after_end_ms": (p["return"] - audible_end) / 1e6 - src["tail_ms"],
                }
            break
        rows.append(row)
    return rows


def print_segments(segments):
    for seg in segments:
        print(f"capture {seg.name}: {len(seg.samples) / seg.rate:.1f} s at {seg.rate} Hz, "
              f"{seg.reads} reads; its samples come at {seg.true_rate:.1f} Hz of the "
              f"monotonic clock, the fit within {seg.spread_ms:.2f} ms for 90 % of reads")


def timing(args, plays, segments, source):
    rows = hear(plays, segments, source, args.threshold)
    print("returned: call to return; start: call to the first audible sample; "
          "after end: return - the sound's end\n(its last audible sample plus the "
          "recording's own quiet tail); audible/captured: the recording's audible "
          "length, and in the capture")
    print(f"{'#':>3} {'recording':<12} {'length':>7} {'returned':>8} {'start':>6} "
          f"{'after end':>9} {'audible':>7} {'captured':>8} {'diff':>6}  verdict")
    ok_return = ok_whole = 0
    afters, diffs, starts = [], [], []
    for row in rows:
        p, h = row["play"], row["heard"]
        src = source[p["name"]]
        returned = (p["return"] - p["call"]) / 1e6
        verdict = []
        if p["status"] != 0:
            verdict.append(f"status {p['status']}")
        if h is None:
            verdict.append("not heard")
            print(f"{p['index']:>3} {p['name']:<12} {p['length_ms']:>7.1f} {returned:>8.1f} "
                  f"{'-':>6} {'-':>9} {src['audible_ms']:>7.1f} {'-':>8} {'-':>6}  "
                  f"{', '.join(verdict)}")
            continue
        after = h["after_end_ms"]
        diff = h["audible_ms"] - src["audible_ms"]
        afters.append(after)
        diffs.append(abs(diff))
        starts.append(h["start_ms"])
        if after < 0:
            verdict.append("returned before the sound's end")
        elif after > args.return_slack_ms:
            verdict.append("late return")
        elif p["status"] == 0:
            ok_return += 1
        if abs(diff) <= args.audible_tolerance_ms:
            ok_whole += 1
        else:
            verdict.append("captured length differs")
        print(f"{p['index']:>3} {p['name']:<12} {p['length_ms']:>7.1f} {returned:>8.1f} "
              f"{h['start_ms']:>6.1f} {after:>+9.1f} {src['audible_ms']:>7.1f} "
              f"{h['audible_ms']:>8.1f} {diff:>+6.1f}  {', '.join(verdict) or 'ok'}")
    n = len(rows)
    print()
    print_segments(segments)
    print(f"plays: {n}, heard {len(afters)}")
    if afters:
        print(f"return - sound's end: min {min(afters):+.1f} ms, median "
              f"{statistics.median(afters):+.1f} ms, max {max(afters):+.1f} ms")
        print(f"call - first sound:   min {min(starts):.1f} ms, median "
              f"{statistics.median(starts):.1f} ms, max {max(starts):.1f} ms")
    print(f"target 1, every return not before the sound's end and within "
          f"{args.return_slack_ms:.0f} ms after it: {ok_return}/{n} "
          f"{'met' if ok_return == n else 'MISSED'}")
    print(f"target 2, every captured recording whole (audible length within "
          f"{args.audible_tolerance_ms:.0f} ms of the recording's): {ok_whole}/{n}"
          f"{f' (largest difference {max(diffs):.1f} ms)' if diffs else ''} "
          f"{'met' if ok_whole == n else 'MISSED'}")
    return 0 if ok_return == n and ok_whole == n else 1


def outages(args, plays, segments, source):
    events = []
    with open(args.events) as f:
        for line in f:
            words = line.split()
            events.append((words[0], int(words[1]), words[2:]))
    rows = hear(plays, segments, source, args.threshold)
    t0 = plays[0]["call"]
    kills = [(t, int(rest[0])) for kind, t, rest in events if kind == "kill"]
    backs = [t for kind, t, _ in events if kind == "back"]
    print("t: seconds since the first call; returned: call to return")
    print(f"{'t':>6} {'#':>3} {'recording':<12} {'length':>7} {'returned':>8}  heard")
    marks = sorted([(t, f"-- server killed ({outage} s outage)") for t, outage in kills] +
                   [(t, "-- server back, recording again") for t in backs])
    for row in rows:
        p, h = row["play"], row["heard"]
        while marks and marks[0][0] <= p["call"]:
            t, text = marks.pop(0)
            print(f"{(t - t0) / 1e9:>6.2f}  {text}")
        returned = (p["return"] - p["call"]) / 1e6
        if h is not None:
            heard = f"yes, {h['audible_ms']:.0f} ms from {h['start_ms']:.0f} ms after the call"
        elif any(p["call"] <= t <= p["return"] for t, _ in kills):
            heard = "the server was killed during it"
        elif row["segment"] is None:
            heard = "no capture ran"
        else:
            heard = "no"
        print(f"{(p['call'] - t0) / 1e9:>6.2f} {p['index']:>3} {p['name']:<12} "
              f"{p['length_ms']:>7.1f} {returned:>8.1f}  {heard}")
    for t, text in marks:
        print(f"{(t - t0) / 1e9:>6.2f}  {text}")
    print()
    print_segments(segments)
    met = True
    for (t_kill, outage), t_back in zip(kills, backs):
        during = [r for r in rows if t_kill <= r["play"]["call"] < t_back]
        silent = sum(1 for r in during
                     if r["play"]["status"] == 0 and
                     (r["play"]["return"] - r["play"]["call"]) / 1e6 >= r["play"]["length_ms"] - 1)
        after = [r for r in rows if r["play"]["call"] >= t_back]
        if not after:
            print(f"{outage} s outage: no play after the server was back")
            met = False
            continue
        first = after[0]
        heard = first["heard"] is not None
        met = met and heard
        print(f"{outage} s outage: {len(during)} plays while it was down, {silent} of them "
              f"kept their length; the first play after it was back "
              f"({(first['play']['call'] - t_back) / 1e6:.0f} ms after) "
              f"{'was heard' if heard else 'was NOT heard'}")
    statuses = [r["play"]["status"] for r in rows]
    if any(statuses):
        print(f"plays that returned an error: {sum(1 for s in statuses if s)}")
        met = False
    print(f"target 3, the first play after each outage heard: {'met' if met else 'MISSED'}")
    return 0 if met else 1


def paint(args):
    times = {}
    with open(args.paint) as f:
        for line in f:
            name, _, painted = line.split()
            if not name.startswith("warm"):
                times.setdefault(name, []).append(float(painted))
    quiz, bare = times.get("quiz", []), times.get("bare", [])
    if not quiz or not bare:
        print("no first-paint times", file=sys.stderr)
        return 2
    for name, values in (("quiz", quiz), ("bare Qt window", bare)):
        print(f"{name:<15} first paint after start: median {statistics.median(values):6.1f} ms "
              f"(min {min(values):.1f}, max {max(values):.1f}, {len(values)} starts)")
    print(f"ratio quiz / bare window (medians): "
          f"{statistics.median(quiz) / statistics.median(bare):.2f}")
    if args.binaries:
        for path in args.binaries:
            print(f"{os.path.basename(path):<15} {os.path.getsize(path) / 2**20:6.1f} MiB")
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--plays")
    ap.add_argument("--sources", help="folder of <name>.s16")
    ap.add_argument("--segment", action="append", default=[],
                    help="a capture: <segment>.s16 and <segment>.times")
    ap.add_argument("--events")
    ap.add_argument("--rate", type=int, help="the captures' rate")
    ap.add_argument("--paint")
    ap.add_argument("--binaries", nargs="*")
    ap.add_argument("--threshold", type=int, default=100)
    ap.add_argument("--return-slack-ms", type=float, default=30.0)
    ap.add_argument("--audible-tolerance-ms", type=float, default=30.0)
    args = ap.parse_args()

    if args.paint:
        return paint(args)
    plays = parse_plays(args.plays)
    if not plays:
        print("playback bench: the bench reported no plays", file=sys.stderr)
        return 2
    try:
        source = load_sources(plays, args.sources, args.threshold)
        segments = [Segment(base, args.rate) for base in args.segment]
    except (OSError, ValueError) as e:
        print(f"playback bench: {e}", file=sys.stderr)
        return 2
    if args.events:
        return outages(args, plays, segments, source)
    return timing(args, plays, segments, source)


if __name__ == "__main__":
    sys.exit(main())
