#!/usr/bin/env python3
"""Turns the benchmarks' JSON reports into the summary table of bench/README.md."""
import json
import os
import platform
import sys


def load(path):
    with open(path) as f:
        report = json.load(f)
    return report["context"], {b["name"]: b for b in report["benchmarks"]}


def find(benchmarks, prefix, suffix=""):
    for name, bench in benchmarks.items():
        if name.startswith(prefix) and name.endswith(suffix):
            return bench
    return None


def cell(bench, counter, scale=1.0, digits=1):
    if bench is None or bench.get("error_occurred"):
        return "n/a"
    value = bench.get(counter)
    return "n/a" if value is None else f"{value * scale:.{digits}f}"


def latency_rows(prefix, bench, cell_of, events):
    """Report-to-host latency, its floor measured in the same run, and the ratios of the two."""
    return [
        (f"{prefix}report to host, median µs", cell_of(bench, "median_us")),
        (f"{prefix}report to host, p99 µs", cell_of(bench, "p99_us")),
        (f"{prefix}floor ({events}, 10 ms apart), median µs", cell_of(bench, "floor_median_us")),
        (f"{prefix}floor, p99 µs", cell_of(bench, "floor_p99_us")),
        (f"{prefix}report to host ÷ floor, median", cell_of(bench, "median_ratio", 1, 2)),
        (f"{prefix}report to host ÷ floor, p99", cell_of(bench, "p99_ratio", 1, 2)),
    ]


def size(path):
    return f"{os.path.getsize(path) / 1024:.0f} KiB" if os.path.exists(path) else "not built"


def machine(context):
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{cpu}, {context.get('num_cpus', '?')} cores, {platform.system()} {platform.release()}"


def main():
    device_context, device = load(sys.argv[1])
    _, board = load(sys.argv[2])
    _, search = load(sys.argv[3])
    _, view = load(sys.argv[4])
    dll, shared = sys.argv[5], sys.argv[6]
    # The Wine report is there when Wine ran the Windows build's latency program.
    wine = load(sys.argv[7])[1] if len(sys.argv) > 7 else {}
    latency = find(board, "BoardReportToHost")
    wine_latency = find(wine, "WineBoardReportToHost")
    wine_cell = cell if wine else (lambda *args: "not run")
    idle = find(board, "IdleOpenBoard")
    rows = [
        ("OnInputReport, ns per report (sampling, zeroing on; median of 10)",
         cell(find(board, "SensorReportToFrame", "_median"), "real_time")),
        ("ReadBuffer, ns per frame (blocks of 100 frames)", cell(find(device, "ReadBufferBlock"), "frame", 1e9)),
        *latency_rows("", latency, cell, "the POSIX layer's events"),
        *latency_rows("under Wine: ", wine_latency, wine_cell, "kernel32's events"),
        ("open board, idle: reader thread's share of a core, %", cell(idle, "reader_cpu_pct", 1, 4)),
        ("open board, idle: whole process incl. simulated board, %", cell(idle, "process_cpu_pct", 1, 3)),
        ("FindDevice, remembered board, ms", cell(find(search, "FindRememberedBoard"), "real_time", 1, 0)),
        ("FindDevice, no radio, ms", cell(find(search, "FindWithoutRadio"), "real_time", 1, 3)),
        ("live view streaming every frame to 1 viewer: kymhost's added share of a core, %",
         cell(find(view, "ViewStreaming/1"), "view_cpu_pct", 1, 3)),
        ("live view streaming every frame to 8 viewers: kymhost's added share of a core, %",
         cell(find(view, "ViewStreaming/8"), "view_cpu_pct", 1, 3)),
        ("PlankScale.kymdll (32-bit Windows DLL)", size(dll)),
        ("libplankscale.so (native, Release)", size(shared)),
    ]
    width = max(len(r[0]) for r in rows)
    averages = device_context.get("load_avg") or []
    load_text = ", ".join(f"{x:.2f}" for x in averages) if averages else "?"
    print(f"Measured on: {machine(device_context)}; load average {load_text}")
    print(f"| {'measure'.ljust(width)} | value |")
    print(f"|{'-' * (width + 2)}|-------|")
    for name, value in rows:
        print(f"| {name.ljust(width)} | {value} |")


if __name__ == "__main__":
    main()
