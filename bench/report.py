#!/usr/bin/env python3
"""Turns the raw figures of one bench/run.sh run into a table and a JSON file.
usage: report.py RAW_DIR BODY_BYTES RESULTS_JSON"""

import json
import os
import statistics
import sys

MIB = 1024 * 1024


def read_lines(raw, name):
    with open(os.path.join(raw, name)) as f:
        return [line.split() for line in f.read().splitlines() if line.strip()]


def memory(raw, who, body):
    (fields,) = read_lines(raw, "memory-%s.txt" % who)
    _, _, size, ws_before, ws_after, pf_before, pf_after = fields
    if int(size) != body:
        raise SystemExit("memory %s: body of %s bytes, expected %d" % (who, size, body))
    return {
        "peak_working_set_before": int(ws_before),
        "peak_working_set": int(ws_after),
        "peak_pagefile_usage_before": int(pf_before),
        "peak_pagefile_usage": int(pf_after),
        "working_set_ratio": int(ws_after) / body,
        # What the download added to what the process held before it.
        "working_set_growth_ratio": (int(ws_after) - int(ws_before)) / body,
        "pagefile_ratio": int(pf_after) / body,
    }


def main():
    raw, body, results_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]

    with open(os.path.join(raw, "size.txt")) as f:
        size = int(f.read())
    with open(os.path.join(raw, "signed-size.txt")) as f:
        signed_size = int(f.read())
    with open(os.path.join(raw, "imports.txt")) as f:
        imports = f.read().split()

    ours, bare, messages = [], [], []
    for fields in read_lines(raw, "speed.txt"):
        if int(fields[2]) != body:
            raise SystemExit("speed: body of %s bytes, expected %d" % (fields[2], body))
        if fields[0] == "ours":
            ours.append(float(fields[1]))
            messages.append(int(fields[3]))
        else:
            bare.append(float(fields[1]))
    transfer = {
        "body_bytes": body,
        "rounds": len(ours),
        "ours_seconds": ours,
        "bare_seconds": bare,
        "ours_median_seconds": statistics.median(ours),
        "bare_median_seconds": statistics.median(bare),
        "time_ratio": statistics.median(ours) / statistics.median(bare),
        "progress_messages": messages,
    }

    mem = {"ours": memory(raw, "ours", body), "bare": memory(raw, "bare", body)}

    with open(os.path.join(raw, "startup.json")) as f:
        startup = json.load(f)
    med = startup["median_seconds"]
    startup["paint_ratio"] = med["ours_paint"] / med["minimal_paint"]
    startup["ready_ratio"] = med["ours_ready"] / med["minimal_paint"]
    startup["window_ratio"] = med["ours_window"] / med["minimal_window"]

    results = {"exe": {"size_bytes": size, "signed_size_bytes": signed_size, "imports": imports},
               "transfer": transfer, "memory": mem, "startup": startup}
    with open(results_path, "w") as f:
        json.dump(results, f, indent=2)
        f.write("\n")

    # What every user downloads: the unsigned exe with all its resources.
    SIZE_BUDGET = 76 * 1024

    def mb_s(seconds):
        return body / MIB / seconds

    rows = [
        ("exe size / 76 KiB budget", "%d bytes (%.1f KiB)" % (size, size / 1024),
         "%.2f" % (size / SIZE_BUDGET)),
        ("exe size, signed", "%d bytes (%.1f KiB)" % (signed_size, signed_size / 1024), ""),
        ("exe imports", ", ".join(imports), ""),
        ("transfer 256 MiB, median of %d" % len(ours),
         "ours %.2f s (%.0f MiB/s), bare WinHTTP %.2f s (%.0f MiB/s)" % (
             transfer["ours_median_seconds"], mb_s(transfer["ours_median_seconds"]),
             transfer["bare_median_seconds"], mb_s(transfer["bare_median_seconds"])),
         "%.2f" % transfer["time_ratio"]),
        ("progress messages", " ".join(str(m) for m in messages), ""),
        ("peak working set / body",
         "ours %.1f MiB, bare %.1f MiB (before: %.1f MiB)" % (
             mem["ours"]["peak_working_set"] / MIB, mem["bare"]["peak_working_set"] / MIB,
             mem["ours"]["peak_working_set_before"] / MIB),
         "%.2f (bare %.2f)" % (mem["ours"]["working_set_ratio"],
                               mem["bare"]["working_set_ratio"])),
        ("peak working set growth / body",
         "ours +%.1f MiB, bare +%.1f MiB" % (
             (mem["ours"]["peak_working_set"] - mem["ours"]["peak_working_set_before"]) / MIB,
             (mem["bare"]["peak_working_set"] - mem["bare"]["peak_working_set_before"]) / MIB),
         "%.3f (bare %.3f)" % (mem["ours"]["working_set_growth_ratio"],
                               mem["bare"]["working_set_growth_ratio"])),
        ("peak pagefile usage / body",
         "ours %.1f MiB, bare %.1f MiB (before: %.1f MiB)" % (
             mem["ours"]["peak_pagefile_usage"] / MIB, mem["bare"]["peak_pagefile_usage"] / MIB,
             mem["ours"]["peak_pagefile_usage_before"] / MIB),
         "%.2f (bare %.2f)" % (mem["ours"]["pagefile_ratio"], mem["bare"]["pagefile_ratio"])),
        ("start to window, median of %d" % startup["rounds"],
         "ours %.3f s, minimal %.3f s" % (med["ours_window"], med["minimal_window"]),
         "%.2f" % startup["window_ratio"]),
        ("start to first paint",
         "ours %.3f s, minimal %.3f s" % (med["ours_paint"], med["minimal_paint"]),
         "%.2f" % startup["paint_ratio"]),
        ("start to \"Ready to download\"",
         "ours %.3f s, minimal's first paint %.3f s" % (med["ours_ready"], med["minimal_paint"]),
         "%.2f" % startup["ready_ratio"]),
    ]
    width = max(len(r[0]) for r in rows)
    detail = max(len(r[1]) for r in rows)
    print("%-*s  %-*s  %s" % (width, "measure", detail, "figures", "ratio"))
    print("%s  %s  %s" % ("-" * width, "-" * detail, "-" * 5))
    for name, figures, ratio in rows:
        print("%-*s  %-*s  %s" % (width, name, detail, figures, ratio))
    print("results: %s" % results_path)


if __name__ == "__main__":
    main()
