#!/usr/bin/env bash
# One benchmark run: exe size and imports, transfer speed against a bare
# WinHTTP loop, peak memory against the body size, and start-up time against
# a minimal window. Prints a table and writes build/bench/results.json.
# Times and memory are given as ratios within this run, so a slow or busy
# machine changes the seconds, not the comparison. Needs root (namespace) and
# `make win` first.
#
# BENCH_ROUNDS (default 5) transfer rounds, BENCH_STARTS (default 5) starts.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
win=$root/build/win
out=$root/build/bench
body_bytes=$((256 * 1024 * 1024))

source "$root/scripts/wine_env.sh"

if [ "${1:-}" = --inside ]; then
    # In the namespace, with the update server up and DISPLAY set.
    raw=$out/raw
    wine_warm_up
    rc=0
    {
        url=https://updates.vantrel.app/big/$body_bytes
        # Memory first, each in a process of its own: one transfer per peak.
        timeout 300 wine "$win/transfer_bench.exe" memory ours "$url" </dev/null >"$raw/memory-ours.txt"
        timeout 300 wine "$win/transfer_bench.exe" memory bare "$url" </dev/null >"$raw/memory-bare.txt"
        timeout 1200 wine "$win/transfer_bench.exe" speed "$url" "${BENCH_ROUNDS:-5}" </dev/null \
            >"$raw/speed.txt"
        timeout 600 python3 "$here/startup.py" --ours "$win/VantrelBootstrapper.exe" \
            --minimal "$win/minimal_window.exe" --rounds "${BENCH_STARTS:-5}" >"$raw/startup.json"
    } || rc=$?
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

# A release of our own, so the benchmark never disturbs the tests' folder.
release=$out/release
mkdir -p "$release/vantrel/updates/beta"
printf '{"version":"1.0.0","platforms":{"windows-x86_64-nsis":{"url":"https://updates.vantrel.app/big/1048576"}}}\n' \
    >"$release/vantrel/updates/beta/latest.json"

"$root/scripts/wine_prefix.sh" "$WINEPREFIX" >/dev/null

display=()
[ -n "${DISPLAY:-}" ] || display=("$root/scripts/with_display.sh")
"${display[@]}" "$root/scripts/netns_run.sh" --release "$release" --log "$out/server.log" \
    -- bash "$here/run.sh" --inside

python3 "$here/report.py" "$out/raw" "$body_bytes" "$out/results.json"
