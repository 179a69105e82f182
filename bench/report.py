#!/usr/bin/env python3
"""Merges the benchmark programs' JSON results into one file and prints each case's median and
the ratios that matter, each against its target.

usage: report.py OUT.json IN.json...
"""
import json
import sys

UNITS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def medians(runs):
    """run name -> the median aggregate's entry, times in nanoseconds."""
    found = {}
    for run in runs:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        if run.get("error_occurred"):
            found[run["run_name"]] = None
            continue
        entry = dict(run)
        scale = UNITS[run.get("time_unit", "ns")]
        entry["real_ns"] = run["real_time"] * scale
        found[run["run_name"]] = entry
    return found


def show_time(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.3g} {unit}"
    return f"{ns:.3g} ns"


def main():
    out, inputs = sys.argv[1], sys.argv[2:]
    merged = {"context": None, "benchmarks": []}
    for name in inputs:
        with open(name) as f:
            data = json.load(f)
        merged["context"] = merged["context"] or data["context"]
        merged["benchmarks"].extend(data["benchmarks"])
    with open(out, "w") as f:
        json.dump(merged, f, indent=1)

    m = medians(merged["benchmarks"])
    print(f"{'case (median)':<52} {'time':>10}  extra")
    for name, entry in m.items():
        if entry is None:
            print(f"{name:<52} {'FAILED':>10}")
            continue
        extra = []
        if "items_per_second" in entry:
            extra.append(f"{entry['items_per_second']:.0f} calls/s")
        if "bytes_per_second" in entry:
            extra.append(f"{entry['bytes_per_second'] / 2**20:.0f} MiB/s")
        if "trace_calls" in entry:
            extra.append(f"{entry['trace_calls']:.0f} trace calls")
        if "fs_queries" in entry:
            extra.append(f"{entry['fs_queries']:.3g} file-system queries per call")
        print(f"{name:<52} {show_time(entry['real_ns']):>10}  {', '.join(extra)}")

    def t(name):
        entry = m.get(name)
        return None if entry is None else entry["real_ns"]

    rows = []

    def ratio(label, value, target=None, ok=None):
        rows.append((label, value, target, ok))

    floor_send = t("BM_FloorSendCmd")
    floor_run = t("BM_FloorRunDACmd")
    exec_off = t("BM_ExecMethodAsync/string_off")
    for kind in ("string", "array"):
        off, on = t(f"BM_ExecMethodAsync/{kind}_off"), t(f"BM_ExecMethodAsync/{kind}_on")
        if off and floor_run and floor_send:
            ratio(f"ExecMethodAsync {kind} / RunDACmd floor", f"{off / floor_run:.1f}x")
            ratio(f"ExecMethodAsync {kind} / bare sendCmd", f"{off / floor_send:.0f}x")
        if off and on:
            ratio(f"tracing on / off ({kind})", f"{on / off:.1f}x")

    small = m.get("BM_ConvertStrToVec/10240")
    large = m.get("BM_ConvertStrToVec/1048576")
    if small and large:
        per_small = small["real_ns"] / small["line_bytes"]
        per_large = large["real_ns"] / large["line_bytes"]
        r = per_large / per_small
        ratio("tokenising per byte 1 MiB / 10 KiB",
              f"{r:.2f}x ({per_large:.3f} / {per_small:.3f} ns/B)", "<= 1.5x", r <= 1.5)

    one = m.get("BM_ExecThreads/real_time/threads:1")
    two = m.get("BM_ExecThreads/real_time/threads:2")
    if one and two:
        r = two["items_per_second"] / one["items_per_second"]
        ratio("throughput 2 threads / 1 thread", f"{r:.2f}x", ">= 1.6x", r >= 1.6)

    for kind in ("string", "array"):
        entry = m.get(f"BM_ExecMethodAsync/{kind}_off")
        if entry and "fs_queries" in entry:
            q = entry["fs_queries"]
            ratio(f"file-system queries per call, tracing off ({kind})", f"{q:.4f}", "<= 1",
                  q <= 1)
    if exec_off:
        ratio("whole ExecMethodAsync, tracing off", show_time(exec_off), "~10 us (guide)",
              None)
    trace_off = t("BM_TraceOff")
    if trace_off:
        ratio("one trace call, tracing off (the gate)", show_time(trace_off))

    store = t("BM_StoreBuild/10000")
    if store:
        ratio("exclusion store of 10,000 entries", show_time(store), "< 50 ms", store < 50e6)
    decision = t("BM_StoreDecision")
    if decision:
        ratio("one decision against 10,000 entries", show_time(decision), "< 2 us",
              decision < 2e3)

    # The command line's cost per byte, in time, in the provider's peak heap and in the peak
    # resident set above the host's, at each size and shape; largest against smallest must stay
    # within 2x, many short tokens within 3x of one long command, the memory within 8 bytes.
    shapes = ("long_velcmd", "many_tokens", "both")
    sizes = sorted({int(name.rsplit("/", 1)[1]) for name in m
                    if name.startswith("BM_CommandLineSize/") and m[name]})
    if sizes:
        print()
        print(f"{'command line':<14}" + "".join(f"{s:>30}" for s in shapes))
        print(f"{'':<14}" + "".join(f"{'ns/B  heap B/B  RSS B/B':>30}" for _ in shapes))
        for size in sizes:
            cells = []
            for shape in shapes:
                e = m.get(f"BM_CommandLineSize/{shape}/{size}")
                rss = f"{e['rss_per_byte']:>8.2f}" if e and "rss_per_byte" in e else f"{'-':>8}"
                cells.append(f"{e['ns_per_byte']:>10.2f} {e['peak_per_byte']:>9.2f} {rss}" if e
                             else f"{'-':>28}")
            print(f"{size // 1024:>8} KiB   " + "".join(f"{c:>30}" for c in cells))
        worst_shape = None
        for size in sizes:
            one = m.get(f"BM_CommandLineSize/long_velcmd/{size}")
            many = m.get(f"BM_CommandLineSize/many_tokens/{size}")
            if one and many:
                r = many["ns_per_byte"] / one["ns_per_byte"]
                worst_shape = r if worst_shape is None else max(worst_shape, r)
        if worst_shape is not None:
            ratio("many tokens / one long command, ns per byte (worst size)",
                  f"{worst_shape:.2f}x", "<= 3x", worst_shape <= 3)
        for shape in shapes:
            low = m.get(f"BM_CommandLineSize/{shape}/{sizes[0]}")
            high = m.get(f"BM_CommandLineSize/{shape}/{sizes[-1]}")
            if low and high:
                r = high["ns_per_byte"] / low["ns_per_byte"]
                ratio(f"{shape}: ns per byte {sizes[-1] >> 20} MiB / {sizes[0] >> 10} KiB",
                      f"{r:.2f}x", "<= 2x", r <= 2)
                r = high["peak_per_byte"] / low["peak_per_byte"]
                ratio(f"{shape}: peak per byte {sizes[-1] >> 20} MiB / {sizes[0] >> 10} KiB",
                      f"{r:.2f}x", "<= 2x", r <= 2)
            worst = max((m[f"BM_CommandLineSize/{shape}/{s}"]["peak_per_byte"] for s in sizes
                         if m.get(f"BM_CommandLineSize/{shape}/{s}")), default=None)
            if worst is not None:
                ratio(f"{shape}: provider's peak heap per command-line byte", f"{worst:.2f}",
                      "<= 8", worst <= 8)
            worst = max((m[f"BM_CommandLineSize/{shape}/{s}"]["rss_per_byte"] for s in sizes
                         if "rss_per_byte" in (m.get(f"BM_CommandLineSize/{shape}/{s}") or {})),
                        default=None)
            if worst is not None:
                ratio(f"{shape}: peak resident set above the host's per byte", f"{worst:.2f}",
                      "<= 8", worst <= 8)

    print()
    print(f"{'ratio':<62} {'value':<34} target")
    for label, value, target, ok in rows:
        verdict = "" if ok is None else ("ok" if ok else "MISSED")
        print(f"{label:<62} {value:<34} {target or ''} {verdict}".rstrip())
    print(f"\nresults: {out}")


if __name__ == "__main__":
    main()
