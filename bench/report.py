#!/usr/bin/env python3
"""Turns the raw figures of one bench/run.sh run into a table and a JSON file.
usage: report.py RAW_DIR SMALL_BYTES LARGE_BYTES RESULTS_JSON"""

import json
import os
import statistics
import sys

MIB = 1024 * 1024
# What every user downloads: the unsigned exe with all its resources.
SIZE_CAP = 100 * 1024
# The goals: the download's memory stays flat whatever the setup's size, it
# costs at most a twentieth more time than writing the bytes to a file bare
# and hashing them once, and a drop fetches nothing twice when the server
# gives a validator. Against the bare loop alone the ratio carries the hash,
# whose cost depends on the system's BCrypt: it has no goal.
MEMORY_GOAL = 8 * MIB
TIME_GOAL = 1.05


def read_lines(raw, name):
    with open(os.path.join(raw, name)) as f:
        return [line.split() for line in f.read().splitlines() if line.strip()]


def memory(raw, name, setup):
    """The peak working set the worker added for one setup, over a warm-up
    run of the same worker (which loads WinHTTP and TLS) in the same process."""
    (fields,) = read_lines(raw, "memory-%s.txt" % name)
    _, size, ws_before, ws_after, pf_before, pf_after = fields
    if int(size) != setup:
        raise SystemExit("memory %s: setup of %s bytes, expected %d" % (name, size, setup))
    return {
        "setup_bytes": setup,
        "peak_working_set_before": int(ws_before),
        "peak_working_set": int(ws_after),
        "peak_pagefile_usage_before": int(pf_before),
        "peak_pagefile_usage": int(pf_after),
        "working_set_growth": int(ws_after) - int(ws_before),
        "goal_ratio": (int(ws_after) - int(ws_before)) / MEMORY_GOAL,
    }


def resume(raw, setup):
    """How the worker ended after the first response dropped at half, and the
    bytes the server sent for it beyond the setup's size."""
    (fields,) = [line[:3] + [" ".join(line[3:])] for line in read_lines(raw, "resume.txt")]
    _, outcome, seconds, message = fields
    responses = read_lines(raw, "resume-ranges.txt")
    sent = sum(int(r[4]) for r in responses)
    return {
        "setup_bytes": setup,
        "outcome": outcome,
        "failure": message,
        "seconds": float(seconds),
        "responses": [" ".join(r) for r in responses],
        "bytes_sent": sent,
        "bytes_fetched_twice": sent - setup if outcome == "stored" else None,
    }


def main():
    raw, small, large, results_path = (sys.argv[1], int(sys.argv[2]), int(sys.argv[3]),
                                       sys.argv[4])

    with open(os.path.join(raw, "size.txt")) as f:
        size = int(f.read())
    with open(os.path.join(raw, "signed-size.txt")) as f:
        signed_size = int(f.read())
    with open(os.path.join(raw, "imports.txt")) as f:
        imports = f.read().split()

    ours, bare, hashes, messages = [], [], [], []
    for fields in read_lines(raw, "speed.txt"):
        if int(fields[2]) != large:
            raise SystemExit("speed: setup of %s bytes, expected %d" % (fields[2], large))
        if fields[0] == "ours":
            ours.append(float(fields[1]))
            messages.append(int(fields[3]))
        else:
            bare.append(float(fields[1]))
            hashes.append(float(fields[3]))
    transfer = {
        "setup_bytes": large,
        "rounds": len(ours),
        "ours_seconds": ours,
        "bare_seconds": bare,
        "ours_median_seconds": statistics.median(ours),
        "bare_median_seconds": statistics.median(bare),
        "time_ratio": statistics.median(ours) / statistics.median(bare),
        # One pass of the system's SHA-256 over the file the bare loop wrote.
        "sha256_pass_seconds": hashes,
        "sha256_pass_median_seconds": statistics.median(hashes),
        # The same round's bare loop and pass together.
        "bare_and_pass_median_seconds": statistics.median(
            b + h for b, h in zip(bare, hashes)),
        "progress_messages": messages,
    }
    transfer["bare_and_pass_ratio"] = (transfer["ours_median_seconds"]
                                       / transfer["bare_and_pass_median_seconds"])

    mem = {"small": memory(raw, "small", small), "large": memory(raw, "large", large)}
    drop = resume(raw, small)

    with open(os.path.join(raw, "startup.json")) as f:
        startup = json.load(f)
    med = startup["median_seconds"]
    startup["paint_ratio"] = med["ours_paint"] / med["minimal_paint"]
    startup["ready_ratio"] = med["ours_ready"] / med["minimal_paint"]
    startup["window_ratio"] = med["ours_window"] / med["minimal_window"]

    results = {"exe": {"size_bytes": size, "signed_size_bytes": signed_size, "imports": imports},
               "transfer": transfer, "memory": mem, "resume": drop, "startup": startup}
    with open(results_path, "w") as f:
        json.dump(results, f, indent=2)
        f.write("\n")

    def mb_s(seconds):
        return large / MIB / seconds

    def growth_row(m):
        return ("peak working set growth, %d MiB setup" % (m["setup_bytes"] // MIB),
                "+%.1f MiB (peak %.1f MiB, after warm-up %.1f MiB)" % (
                    m["working_set_growth"] / MIB, m["peak_working_set"] / MIB,
                    m["peak_working_set_before"] / MIB),
                "%.2f" % m["goal_ratio"], "< 8 MiB (ratio < 1)")

    if drop["outcome"] == "stored":
        drop_row = ("%d bytes (sent %d in %d responses for %d)" % (
            drop["bytes_fetched_twice"], drop["bytes_sent"], len(drop["responses"]), small),
            "%.3f" % (drop["bytes_fetched_twice"] / small))
    else:
        drop_row = ("not stored: \"%s\" (sent %d in %d responses for %d)" % (
            drop["failure"], drop["bytes_sent"], len(drop["responses"]), small), "-")

    rows = [
        ("exe size / 100 KiB cap", "%d bytes (%.1f KiB)" % (size, size / 1024),
         "%.2f" % (size / SIZE_CAP), "<= 1"),
        ("exe size, signed", "%d bytes (%.1f KiB)" % (signed_size, signed_size / 1024), "", ""),
        ("exe imports", ", ".join(imports), "", ""),
        growth_row(mem["small"]),
        growth_row(mem["large"]),
        ("stored and checked, %d MiB, median of %d" % (large // MIB, len(ours)),
         "ours %.2f s (%.0f MiB/s), bare WinHTTP to a file %.2f s (%.0f MiB/s)" % (
             transfer["ours_median_seconds"], mb_s(transfer["ours_median_seconds"]),
             transfer["bare_median_seconds"], mb_s(transfer["bare_median_seconds"])),
         "%.2f" % transfer["time_ratio"], ""),
        ("one SHA-256 pass over it, median",
         "%.2f s (%.0f MiB/s), by the system's BCrypt" % (
             transfer["sha256_pass_median_seconds"],
             mb_s(transfer["sha256_pass_median_seconds"])), "", ""),
        ("stored and checked against bare + one pass",
         "ours %.2f s, bare and pass %.2f s" % (
             transfer["ours_median_seconds"], transfer["bare_and_pass_median_seconds"]),
         "%.2f" % transfer["bare_and_pass_ratio"], "<= %.2f" % TIME_GOAL),
        ("progress messages", " ".join(str(m) for m in messages), "", ""),
        ("fetched twice, drop at half of %d MiB" % (small // MIB),) + drop_row + ("0 bytes",),
        ("start to window, median of %d" % startup["rounds"],
         "ours %.3f s, minimal %.3f s" % (med["ours_window"], med["minimal_window"]),
         "%.2f" % startup["window_ratio"], ""),
        ("start to first paint",
         "ours %.3f s, minimal %.3f s" % (med["ours_paint"], med["minimal_paint"]),
         "%.2f" % startup["paint_ratio"], ""),
        ("start to \"Ready to download\"",
         "ours %.3f s, minimal's first paint %.3f s" % (med["ours_ready"], med["minimal_paint"]),
         "%.2f" % startup["ready_ratio"], ""),
    ]
    width = max(len(r[0]) for r in rows)
    detail = max(len(r[1]) for r in rows)
    print("%-*s  %-*s  %-5s  %s" % (width, "measure", detail, "figures", "ratio", "goal"))
    print("%s  %s  %s  %s" % ("-" * width, "-" * detail, "-" * 5, "-" * 4))
    for name, figures, ratio, goal in rows:
        print(("%-*s  %-*s  %-5s  %s" % (width, name, detail, figures, ratio, goal)).rstrip())
    print("results: %s" % results_path)


if __name__ == "__main__":
    main()
