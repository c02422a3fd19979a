#!/usr/bin/python3
"""Compares the playback bench's timings with a capture of what was played.

Inputs: the bench's play lines (tools/playback_bench.cpp), the decoded
recordings it dumped (<name>.s16), and a raw capture of the output (signed
16-bit little-endian, mono, at --rate).

The audible length of a sound is the time from its first to its last sample
above the threshold.  Each recording's own audible length (its decoded
samples, silence at both ends left out) is the reference for every play of
it, so a capture that matches it within the tolerance was neither cut,
stretched nor doubled.

Plays are found in the capture by their call times: the capture's clock is
tied to the monotonic clock by the offset at which most plays' first
audible samples line up with the calls; each play then owns the capture
from halfway through the silence before its call to halfway through the
silence before the next call.

Prints one line per play and a summary; exits 1 when a target is missed,
2 when the inputs cannot be compared.
"""

import argparse
import array
import collections
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


def bursts(samples, threshold, rate, merge_ms):
    """Starts (in seconds) of the runs of sound, runs closer than merge_ms joined."""
    merge = int(rate * merge_ms / 1000)
    starts = []
    last = None
    for i, s in enumerate(samples):
        if s > threshold or s < -threshold:
            if last is None or i - last > merge:
                starts.append(i / rate)
            last = i
    return starts


def parse_plays(path):
    plays, gap_ms = [], None
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if line.startswith("# rounds"):
                words = line.split()
                gap_ms = int(words[words.index("gap_ms") + 1])
            if fields[0] != "play":
                continue
            plays.append({
                "index": int(fields[1]),
                "name": fields[2],
                "rate": int(fields[3]),
                "channels": int(fields[4]),
                "length_ms": float(fields[6]),
                "call": int(fields[7]) / 1e9,
                "return": int(fields[8]) / 1e9,
                "status": int(fields[9]),
            })
    return plays, gap_ms


def find_offset(plays, starts, leads):
    """Capture time minus monotonic time at which most plays start on a burst."""
    bin_s = 0.010
    votes = collections.Counter()
    for p in plays:
        expected = p["call"] + leads[p["name"]]
        for s in starts:
            votes[round((s - expected) / bin_s)] += 1
    if not votes:
        return None
    best = max(votes, key=lambda b: sum(votes.get(b + k, 0) for k in range(-3, 4)))
    coarse = best * bin_s
    near = []
    for p in plays:
        expected = p["call"] + leads[p["name"]]
        d = [s - expected - coarse for s in starts if abs(s - expected - coarse) < 0.05]
        if d:
            near.append(min(d, key=abs))
    return coarse + statistics.median(near) if near else coarse


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--plays", required=True)
    ap.add_argument("--sources", required=True, help="folder of <name>.s16")
    ap.add_argument("--capture", required=True)
    ap.add_argument("--rate", type=int, required=True, help="the capture's rate")
    ap.add_argument("--threshold", type=int, default=100)
    ap.add_argument("--return-slack-ms", type=float, default=150.0)
    ap.add_argument("--audible-tolerance-ms", type=float, default=30.0)
    args = ap.parse_args()

    plays, gap_ms = parse_plays(args.plays)
    if not plays:
        print("playback bench: the bench reported no plays", file=sys.stderr)
        return 2
    gap_ms = gap_ms if gap_ms is not None else 800

    # Each recording's own audible span.
    source = {}
    for p in plays:
        name = p["name"]
        if name in source:
            continue
        if p["channels"] != 1:
            print(f"playback bench: {name} is not mono", file=sys.stderr)
            return 2
        pcm = read_s16(os.path.join(args.sources, name + ".s16"))
        span = audible_span(pcm, args.threshold)
        if span is None:
            print(f"playback bench: {name} has nothing above the threshold", file=sys.stderr)
            return 2
        source[name] = {
            "lead": span[0] / p["rate"],
            "audible_ms": (span[1] - span[0] + 1) * 1000 / p["rate"],
        }

    capture = read_s16(args.capture)
    rate = args.rate
    if not capture:
        print("playback bench: the capture is empty", file=sys.stderr)
        return 2
    merge_ms = max(50.0, min(400.0, gap_ms / 2))
    starts = bursts(capture, args.threshold, rate, merge_ms)
    leads = {n: s["lead"] for n, s in source.items()}
    offset = find_offset(plays, starts, leads)
    if offset is None:
        print("playback bench: the capture holds no sound at all", file=sys.stderr)
        return 2

    guard = gap_ms / 2000
    rows = []
    for k, p in enumerate(plays):
        begin = p["call"] + offset - guard
        end = plays[k + 1]["call"] + offset - guard if k + 1 < len(plays) else None
        span = audible_span(capture, args.threshold, int(begin * rate),
                            None if end is None else int(end * rate))
        src = source[p["name"]]
        returned_ms = (p["return"] - p["call"]) * 1000
        if span is None:
            audible_ms, start_ms = 0.0, None
        else:
            audible_ms = (span[1] - span[0] + 1) * 1000 / rate
            start_ms = (span[0] / rate - (p["call"] + offset + src["lead"])) * 1000
        late_ms = returned_ms - p["length_ms"]
        return_ok = p["status"] == 0 and 0 <= late_ms <= args.return_slack_ms
        diff_ms = audible_ms - src["audible_ms"]
        audible_ok = span is not None and abs(diff_ms) <= args.audible_tolerance_ms
        rows.append((p, returned_ms, late_ms, src["audible_ms"], audible_ms, diff_ms,
                     start_ms, return_ok, audible_ok))

    print("late: returned - length; audible: the recording's own audible length; "
          "captured: the audible length in the capture;\nstart: the sound's onset "
          "against the usual delay from call to sound")
    print(f"{'#':>3} {'recording':<12} {'length':>8} {'returned':>9} {'late':>8} "
          f"{'audible':>8} {'captured':>9} {'diff':>7} {'start':>7}  verdict")
    print(f"{'':>3} {'':<12} {'ms':>8} {'ms':>9} {'ms':>8} {'ms':>8} {'ms':>9} "
          f"{'ms':>7} {'ms':>7}")
    for p, returned, late, src_aud, cap_aud, diff, start, rok, aok in rows:
        verdict = []
        if p["status"] != 0:
            verdict.append(f"status {p['status']}")
        if late > args.return_slack_ms:
            verdict.append("late return")
        elif late < 0:
            verdict.append("early return")
        if cap_aud == 0:
            verdict.append("not heard")
        elif not aok:
            verdict.append("audible length differs")
        start_text = "-" if start is None else f"{start:+.1f}"
        print(f"{p['index']:>3} {p['name']:<12} {p['length_ms']:>8.1f} {returned:>9.1f} "
              f"{late:>+8.1f} {src_aud:>8.1f} {cap_aud:>9.1f} {diff:>+7.1f} {start_text:>7}  "
              f"{', '.join(verdict) or 'ok'}")

    n = len(rows)
    lates = [r[2] for r in rows]
    diffs = [abs(r[5]) for r in rows]
    return_ok = sum(r[7] for r in rows)
    audible_ok = sum(r[8] for r in rows)
    guard_hits = sum(1 for late in lates if late > 900)
    print()
    print(f"plays: {n}; capture {len(capture) / rate:.1f} s at {rate} Hz, "
          f"threshold {args.threshold}, clock offset {offset:.3f} s")
    print(f"return - length: min {min(lates):+.1f} ms, median {statistics.median(lates):+.1f} ms, "
          f"max {max(lates):+.1f} ms; {guard_hits} plays more than 900 ms late")
    print(f"target 1, every return within length + {args.return_slack_ms:.0f} ms "
          f"(and not before it): {return_ok}/{n} "
          f"{'met' if return_ok == n else 'MISSED'}")
    print(f"target 2, every captured audible length within "
          f"{args.audible_tolerance_ms:.0f} ms of the recording's: {audible_ok}/{n} "
          f"(largest difference {max(diffs):.1f} ms) "
          f"{'met' if audible_ok == n else 'MISSED'}")
    return 0 if return_ok == n and audible_ok == n else 1


if __name__ == "__main__":
    sys.exit(main())
