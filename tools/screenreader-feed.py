#!/usr/bin/env python3
"""The benchmark's steady feed with a screen reader listening.

    tools/screenreader-feed.py BENCH [RUNS] [BYTES_PER_SECOND] [SECONDS]
    tools/screenreader-feed.py --check BENCH

BENCH is a built tavlino_bench (build-qt6/bench/tavlino_bench). Starts its
own Xvfb, session bus, accessibility bus (at-spi2-core's launcher) and Orca,
switches the screen reader on as a desktop does (org.a11y.Status
ScreenReaderEnabled), keeps Orca's speech in its debug log only (no speech
server), then runs the window for each run: the device writes 64-byte pieces
at the given rate (92,160 bytes a second) for the given time (20 s) into the
window at 1000x900, which then stays open for 10 s more. For each run it
reports the program's, Orca's and the accessibility bus daemons' CPU time
over the feed and the 10 s after it, the text-inserted events Orca heard,
the scroll bar's value changes it heard, and how long after the feed's end
Orca was idle again (the end of the last 0.2 s in which it used more than a
tenth of a core). Everything it starts it stops again by process id.

With --check (CI): one run of 5 s; fails unless every byte arrived, Orca
heard the text going in, at least once a second, and the scroll bar that
follows it less than once for every ten inserts (it moves with each).
"""

import os
import re
import subprocess
import sys
import time

from a11ydesktop import Desktop, cpu_seconds

QUIET_AFTER = 10


def run_once(desktop, bench, rate, seconds):
    log_start = os.path.getsize(desktop.orca_log)
    env = dict(desktop.env, QT_QPA_PLATFORM="xcb")
    app = subprocess.Popen([bench, "--steady-case", str(rate), str(seconds), "1000", "900",
                            str(QUIET_AFTER)], env=env, stdout=subprocess.PIPE, text=True)
    daemons = desktop.bus_daemons()
    samples = []  # (time, program, orca, bus)
    while app.poll() is None:
        program = cpu_seconds(app.pid)
        orca = cpu_seconds(desktop.orca.pid)
        bus = sum(cpu_seconds(p) or 0 for p in daemons)
        if program is not None:
            samples.append((time.monotonic(), program, orca, bus))
        time.sleep(0.1)
    out = app.stdout.read().split()
    if len(out) != 8 or len(samples) < 2:
        sys.exit(f"the measurement failed: {out}")
    feed_end = int(out[6]) / 1000
    first, last = samples[0], samples[-1]
    idle_at = feed_end
    for (t0, _, o0, _), (t1, _, o1, _) in zip(samples, samples[2:]):
        if t1 > feed_end and (o1 - o0) / (t1 - t0) > 0.1:
            idle_at = max(idle_at, t1)
    with open(desktop.orca_log, errors="replace") as log:
        log.seek(log_start)
        text = log.read()
    inserts = len(re.findall(r"object:text-changed:insert", text))
    values = len(re.findall(r"object:property-change:accessible-value", text))
    floods = len(re.findall(r"[Ff]lood", text))
    deluges = len(re.findall(r"[Dd]eluge", text))
    return {
        "program": last[1] - first[1], "orca": last[2] - first[2], "bus": last[3] - first[3],
        "cpu_feed": float(out[0]), "updates": float(out[1]), "lag": float(out[3]),
        "intact": out[5] == "1", "inserts": inserts, "values": values, "idle_after": idle_at - feed_end,
        "floods": floods, "deluges": deluges,
    }


def main():
    check = "--check" in sys.argv[1:2]
    args = sys.argv[2:] if check else sys.argv[1:]
    if not args:
        sys.exit(__doc__)
    bench = os.path.abspath(args[0])
    runs = 1 if check else int(args[1]) if len(args) > 1 else 3
    rate = 92160 if check else int(args[2]) if len(args) > 2 else 92160
    seconds = 5 if check else int(args[3]) if len(args) > 3 else 20
    desktop = Desktop()
    failed = False
    try:
        desktop.up()
        print(f"{rate} B/s for {seconds} s in 64-byte writes, window 1000x900, screen reader on; "
              f"CPU over the feed and the {QUIET_AFTER} s after it\n")
        print("| run | program s | Orca s | a11y bus s | together s | program % in feed "
              "| updates/s | worst lag ms | text inserts heard | scroll bar moves heard "
              "| Orca idle after s | flood / deluge lines | every byte |")
        print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
        for run in range(1, runs + 1):
            r = run_once(desktop, bench, rate, seconds)
            print(f"| {run} | {r['program']:.1f} | {r['orca']:.1f} | {r['bus']:.1f} "
                  f"| {r['program'] + r['orca'] + r['bus']:.1f} | {r['cpu_feed']:.1f} "
                  f"| {r['updates']:.1f} | {r['lag']:.0f} | {r['inserts']} | {r['values']} "
                  f"| {r['idle_after']:.1f} | {r['floods']} / {r['deluges']} "
                  f"| {'yes' if r['intact'] else 'NO'} |", flush=True)
            failed |= not r["intact"] or r["inserts"] < seconds or r["values"] * 10 >= r["inserts"]
    finally:
        desktop.down()
    if check and failed:
        sys.exit("Orca did not hear the text, or heard the scroll bar follow it")


if __name__ == "__main__":
    main()
