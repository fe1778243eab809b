#!/usr/bin/env python3
"""Writes docs/performance.md from what bench/run.sh measured, and the data of its
plot: usage: report.py RESULTS_DIR OUTPUT_MD"""

import json
import os
import platform
import subprocess
import sys
import time

results, output = sys.argv[1], sys.argv[2]


def medians(name):
    """Median real time (ms) and counters of each benchmark run, by run name."""
    with open(os.path.join(results, name)) as file:
        report = json.load(file)
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    found = {}
    for run in report["benchmarks"]:
        if run.get("aggregate_name") == "median":
            run_name = run["run_name"].replace("/real_time", "")
            found[run_name] = dict(run, ms=run["real_time"] * scale[run["time_unit"]])
    return found


def columns(name):
    with open(os.path.join(results, name)) as file:
        return [line.split() for line in file if line.strip()]


def machine():
    model = "unknown processor"
    with open("/proc/cpuinfo") as file:
        for line in file:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    xvfb = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "xvfb"],
                          capture_output=True, text=True).stdout
    return (f"{os.cpu_count()} cores ({model}), Linux {platform.release()}, "
            f"Xvfb {xvfb or 'unknown'}")


def met(ok):
    return "met" if ok else "**missed**"


presence = medians("presence_bench.json")
cycle = medians("cycle_bench.json")
footprint = {row[0]: row[1:] for row in columns("footprint.txt")}
cycles = {row[0]: row[1:] for row in columns("cycles.txt")}
failing = columns("failing.txt")[0]
windows, seconds, failing_seconds, starts = columns("settings.txt")[0]

lines = []
add = lines.append

add("# Performance\n")
add("Every figure on this page comes from one run of `bash bench/run.sh` on "
    f"{time.strftime('%Y-%m-%d')}: {machine()}. Absolute times swing with the machine "
    "and its load; what holds are the ratios of things measured side by side in the "
    "same run, so the page quotes medians and ratios.\n")

add("## Method\n")
add("- **Presence test** (`bench/presence_bench.cpp`, Google Benchmark): an X server "
    "of the run's own (Xvfb, no window manager) holds N top-level windows of another "
    "class, made by `window_crowd`; the watched class is absent, or present as the "
    "last window. *Ours* is the watchdog's own `TopLevelWindowExists`. The *baseline* "
    "is the way common command-line window-search tools do it, written in the bench: "
    "the root's children, then one synchronous WM_CLASS query per window. Wall-clock "
    "time per test, median of 5 repetitions. Round trips are counted by standing in "
    "front of libxcb's `xcb_send_request` and `xcb_wait_for_reply` and comparing the "
    "sequence numbers that xcb hands out: a wait for a reply to a request sent after "
    "the previous wait began is a new round trip.")
add("- **Cycle** (`bench/cycle_bench.cpp`): the real `RunWatchCycle` built without "
    "its pause, standard output redirected to a file. Present: the clock, the texts, "
    "the presence test and the status line, with the window there. Failing: the "
    "recovery branch with no BrassOwlet.exe, so the texts, two log records and a "
    "launch that fails (the launch included).")
add("- **Log append**: `AppendLogRecord` on an empty log and on a sparse 1 GiB log.")
add(f"- **Footprint** (`bench/footprint.sh`): the real `BrassOwletMonitor` runs for "
    f"{seconds} s with BrassOwlet's window present among {windows} other top-level "
    "windows, side by side with the smallest possible X client (`bare_x_client`, C, "
    "connects with xcb and sleeps), a bare loop doing one presence scan per second "
    "at the same N (`scan_loop`), and two general process supervisors from Debian, "
    "supervisord and runit's runsv, each keeping a `sleep` alive. The watchdog and "
    "the scanning loop each ask an X server of their own, with the same crowd, so "
    "that neither finds the server just woken by the other. Each is sampled "
    "after a warm-up and at the end: VmRSS and VmHWM from /proc, CPU time from "
    "/proc/PID/schedstat, open descriptors. A second watchdog beside the first is "
    "preloaded with `bench/allocation_counter.c`, which counts heap allocations "
    "between one pause and the next by the object whose code called the allocator, "
    "and times each cycle's work apart from the launch. Then, alone, a watchdog whose "
    f"every launch fails runs for {failing_seconds} s among the same crowd, its "
    "resident memory sampled every ten seconds.\n")

add("## Presence test\n")
add("| N | watched class | ours (ms) | baseline (ms) | baseline / ours | round trips, ours | round trips, baseline |")
add("| ---: | --- | ---: | ---: | ---: | ---: | ---: |")
plot_rows = {}
for n in (0, 10, 100, 1000, 10000):
    for watched in (0, 1):
        ours = presence.get(f"PresenceTest/{n}/{watched}")
        base = presence.get(f"PerWindowBaseline/{n}/{watched}")
        if ours is None or base is None:
            continue
        plot_rows.setdefault(n, {})[watched] = (ours["ms"], base["ms"])
        add(f"| {n} | {'present, last' if watched else 'absent'} | {ours['ms']:.3f} | "
            f"{base['ms']:.3f} | {base['ms'] / ours['ms']:.1f} | "
            f"{ours['round_trips']:.0f} | {base['round_trips']:.0f} |")
add("\n![Presence test time against N, ours and the baseline](presence.png)\n")
with open(os.path.join(results, "presence.dat"), "w") as data:
    for n, row in sorted(plot_rows.items()):
        if n > 0 and 0 in row and 1 in row:
            data.write(f"{n} {row[0][0]} {row[0][1]} {row[1][0]} {row[1][1]}\n")

present_cycle = cycle["CycleWithTheWindowPresent"]["ms"] * 1000
failing_cycle = cycle["CycleWithEveryLaunchFailing"]["ms"] * 1000
empty_log = cycle["LogAppend/0"]["ms"] * 1000
large_log = cycle["LogAppend/1073741824"]["ms"] * 1000
add("## One cycle, and the log\n")
add("| What | median (µs) |")
add("| --- | ---: |")
add(f"| Cycle, window present (one window on the server) | {present_cycle:.1f} |")
add(f"| Cycle, launch failing (the launch included) | {failing_cycle:.1f} |")
add(f"| Log append, empty log | {empty_log:.2f} |")
add(f"| Log append, 1 GiB log | {large_log:.2f} |")
add(f"\nThe append on a 1 GiB log takes {large_log / empty_log:.2f} times as long as on "
    "an empty one: the log is opened for appending and never read, so its size does not "
    "enter into the cost.\n")

add(f"## Footprint, window present among {windows} windows, {seconds} s\n")
add("| Process | VmRSS (KiB) | VmHWM (KiB) | Pss (KiB) | CPU (ms per minute) | descriptors, start → end |")
add("| --- | ---: | ---: | ---: | ---: | --- |")
names = {"watchdog": "BrassOwletMonitor", "bare_x_client": "smallest X client (xcb, sleeps)",
         "scan_loop": "bare loop, one scan per second", "supervisord": "supervisord + sleep",
         "runsv": "runsv + sleep"}
for key, label in names.items():
    rss, hwm, cpu, fds_start, fds_end, pss = footprint[key]
    add(f"| {label} | {rss} | {hwm} | {pss} | {cpu} | {fds_start} → {fds_end} |")
rss_ratio = float(footprint["watchdog"][0]) / float(footprint["bare_x_client"][0])
cpu_ratio = float(footprint["watchdog"][2]) / max(float(footprint["scan_loop"][2]), 0.1)
present = cycles["present"]
add(f"\nThe watchdog holds {rss_ratio:.2f} times the resident memory of the smallest X "
    f"client and uses {cpu_ratio:.2f} times the CPU of the bare scanning loop; "
    f"supervisord holds {float(footprint['supervisord'][0]) / float(footprint['watchdog'][0]):.1f} "
    f"times the watchdog's memory, runsv {float(footprint['runsv'][0]) / float(footprint['watchdog'][0]):.2f} "
    "times (neither of them asks a window system anything).")
add(f"Over {present[0]} counted cycles: heap allocations per cycle by the watchdog's own "
    f"code {present[1]}, by libxcb {present[2]} (a reply buffer and bookkeeping for "
    f"each request; libxcb allocates every reply), by other libraries {present[3]}. "
    f"Each cycle's work took {present[4]} µs (median), {present[5]} µs at most. "
    f"The watchdog started BrassOwlet {starts} time(s), on its first cycle.\n")

rss_start, rss_minute, rss_end, hwm, fds_start, fds_end, failures = failing
fail = cycles["failing"]
add(f"## Every launch failing, {failing_seconds} s\n")
add("| What | Figure |")
add("| --- | ---: |")
add(f"| Failed launches logged | {failures} |")
add(f"| VmRSS after the warm-up → after a minute → at the end (KiB) | {rss_start} → {rss_minute} → {rss_end} |")
add(f"| VmHWM at end (KiB) | {hwm} |")
add(f"| Descriptors at start → end | {fds_start} → {fds_end} |")
add(f"| Work per cycle without the launch, median / largest (µs) | {fail[4]} / {fail[5]} |")
add(f"| The launch itself, median / largest (µs) | {fail[6]} / {fail[7]} |")
add(f"| Heap allocations per cycle: own code / libxcb / other | {fail[1]} / {fail[2]} / {fail[3]} |\n")

ratio_1000 = {w: plot_rows[1000][w][1] / plot_rows[1000][w][0] for w in (0, 1)}
most_trips = max(r["round_trips"] for k, r in presence.items() if k.startswith("PresenceTest"))
add("## Targets\n")
add("| Target | Measured | |")
add("| --- | --- | --- |")
add(f"| Presence test: at most 2 round trips whatever N | at most {most_trips:.0f} | {met(most_trips <= 2)} |")
add(f"| At least 30 times faster than the baseline at 1000 windows, class present | {ratio_1000[1]:.0f} times | {met(ratio_1000[1] >= 30)} |")
add(f"| The same, class absent | {ratio_1000[0]:.1f} times | {met(ratio_1000[0] >= 30)} |")
add(f"| Resident memory at most 1.1 times the smallest X client | {rss_ratio:.2f} times | {met(rss_ratio <= 1.1)} |")
add(f"| CPU per minute at most 1.2 times the bare scanning loop | {cpu_ratio:.2f} times | {met(cpu_ratio <= 1.2)} |")
add(f"| No allocation per cycle by our own code | {present[1]} (present), {fail[1]} (failing) | {met(float(present[1]) == 0 and float(fail[1]) == 0)} |")
add(f"| Descriptors constant (present; failing) | {footprint['watchdog'][3]} → {footprint['watchdog'][4]}; {fds_start} → {fds_end} | {met(footprint['watchdog'][3] == footprint['watchdog'][4] and fds_start == fds_end)} |")
add(f"| Failing: memory constant (from the first minute to the end) | {rss_minute} → {rss_end} KiB | {met(rss_minute == rss_end)} |")
add(f"| Failing: a cycle's work under 2 ms without the launch, the median cycle | {fail[4]} µs | {met(int(fail[4]) < 2000)} |")
add(f"| Failing: the same, every cycle | at most {fail[5]} µs | {met(int(fail[5]) < 2000)} |\n")

with open(os.path.join(os.path.dirname(__file__), "findings.md")) as findings:
    add(findings.read())

with open(output, "w") as file:
    file.write("\n".join(lines))
