#!/usr/bin/env bash
# One benchmark run: exe size and imports; through the program's own download
# worker, the peak memory a 64 MiB and a 256 MiB setup add, the time until a
# 256 MiB setup is stored and checked against a bare WinHTTP loop writing the
# same bytes to a file, alone and with one SHA-256 pass over that file (the
# worker's own hash), and the bytes fetched twice when the first response
# drops at half; and start-up time against a minimal window. Prints a table
# and writes build/bench/results.json. Times are given as ratios within this
# run, so a slow or busy machine changes the seconds, not the comparison.
# Needs root (namespace) and `make win` first.
#
# BENCH_ROUNDS (default 5) transfer rounds, BENCH_STARTS (default 5) starts.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
win=$root/build/win
out=$root/build/bench
release=$out/release
temp=$out/temp
small=$((64 * 1024 * 1024))
large=$((256 * 1024 * 1024))

source "$root/scripts/wine_env.sh"

if [ "${1:-}" = --inside ]; then
    # In the namespace, with the update server up and DISPLAY set.
    raw=$out/raw
    wine_warm_up
    rc=0
    # The worker stores its setup under TEMP: a Windows path of our own folder.
    win_temp=Z:${temp//\//\\}
    bench() { # timeout, mode, size, more arguments...
        local limit=$1 mode=$2 size=$3
        shift 3
        timeout "$limit" wine "$win/transfer_bench.exe" "$mode" \
            "https://updates.vantrel.app/dl/setup-$size.exe" "$(cat "$release/dl/setup-$size.exe.sha256")" \
            "$size" "$win_temp" "$@" </dev/null
    }
    # Memory first, each in a process of its own: one transfer per peak.
    bench 300 memory "$small" >"$raw/memory-small.txt" &&
        bench 600 memory "$large" >"$raw/memory-large.txt" &&
        bench 1800 speed "$large" "${BENCH_ROUNDS:-5}" >"$raw/speed.txt" || rc=$?
    # The first response drops at half; the worker resumes by itself, or
    # fails. What the server sent for it is the tail of its ranges log.
    ranges=$out/server.log.ranges
    seen=$(wc -l <"$ranges")
    printf '0 cut/%d' $((small / 2)) >"$release/dl/setup-$small.exe.once"
    bench 300 resume "$small" >"$raw/resume.txt" || rc=$?
    rm -f "$release/dl/setup-$small.exe.once"
    tail -n +$((seen + 1)) "$ranges" >"$raw/resume-ranges.txt"
    timeout 600 python3 "$here/startup.py" --ours "$win/VantrelBootstrapper.exe" \
        --minimal "$win/minimal_window.exe" --rounds "${BENCH_STARTS:-5}" >"$raw/startup.json" ||
        rc=$?
    quiet wineserver -k || true
    exit "$rc"
fi

exe=$win/VantrelBootstrapper.exe
if [ ! -f "$exe" ] || [ ! -f "$win/CMakeCache.txt" ]; then
    echo "$0: build/win is missing: run make win (make bench does)" >&2
    exit 1
fi
mkdir -p "$out/raw"
rm -f "$out"/raw/*

# The benchmark programs, targets of the Windows build left out of `make win`:
# built against the product's own libraries with the product's flags. The
# product exe is left exactly as `make win` made it.
cmake --build "$win" -j"${JOBS:-2}" --target transfer_bench minimal_window >"$out/build.log" 2>&1 || {
    cat "$out/build.log" >&2
    exit 1
}

stat -c %s "$exe" >"$out/raw/size.txt"
# Signed as a release is (the throwaway test chain unless a key is set up):
# the signature and its certificates are what the download weighs on top.
bash "$root/scripts/release.sh" sign "$exe" "$out/signed.exe"
stat -c %s "$out/signed.exe" >"$out/raw/signed-size.txt"
x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' >"$out/raw/imports.txt"

# A release of our own, so the benchmark never disturbs the tests' folder:
# the manifest for the start-up figures and two setups of random bytes (as
# compressed as a real one), kept from run to run.
mkdir -p "$release/vantrel/updates/beta" "$release/dl" "$temp"
printf '{"version":"1.0.0","platforms":{"windows-x86_64-nsis":{"url":"https://updates.vantrel.app/big/1048576"}}}\n' \
    >"$release/vantrel/updates/beta/latest.json"
for size in "$small" "$large"; do
    setup=$release/dl/setup-$size.exe
    if [ "$(stat -c %s "$setup" 2>/dev/null)" != "$size" ] || [ ! -s "$setup.sha256" ]; then
        head -c "$size" /dev/urandom >"$setup"
        sha256sum "$setup" | cut -c1-64 >"$setup.sha256"
    fi
done
rm -f "$release"/dl/*.once
rm -rf "${temp:?}"/*

"$root/scripts/wine_prefix.sh" "$WINEPREFIX" >/dev/null

display=()
[ -n "${DISPLAY:-}" ] || display=("$root/scripts/with_display.sh")
"${display[@]}" "$root/scripts/netns_run.sh" --release "$release" --log "$out/server.log" \
    -- bash "$here/run.sh" --inside

python3 "$here/report.py" "$out/raw" "$small" "$large" "$out/results.json"
