#!/usr/bin/env bash
# Builds the fuzz targets with clang (the root CMakeLists with VANTREL_FUZZ:
# libFuzzer, ASan, UBSan) and runs each one the build lists for RUNS inputs,
# starting from its hand-written inputs in fuzz/corpus/<name>.
# One line per target; exits non-zero when any target finds a fault, whose
# input is kept under build/fuzz/findings/<name>/.
# usage: fuzz/run.sh [RUNS]   (default 1000000)
set -euo pipefail

runs=${1:-1000000}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=$root/build/fuzz

if ! [[ $runs =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [RUNS]" >&2
    exit 2
fi

# A folder configured by the fuzzers' former project of their own starts afresh.
if [ -f "$build/CMakeCache.txt" ] && ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${JOBS:-2}" >"$build/build.log" 2>&1 || {
    cat "$build/build.log" >&2
    exit 1
}

failed=0
mapfile -t programs <"$build/fuzz_targets.txt"
for program in "${programs[@]}"; do
    name=$(basename "$program" _fuzz)
    # New inputs go to a work folder under build/; fuzz/corpus keeps only the
    # hand-written ones.
    work=$build/corpus/$name
    findings=$build/findings/$name
    log=$build/$name.log
    mkdir -p "$work" "$findings"
    start=$(date +%s%N)
    rc=0
    "$program" -runs="$runs" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$here/corpus/$name" >"$log" 2>&1 </dev/null || rc=$?
    seconds=$(awk -v ns=$(($(date +%s%N) - start)) 'BEGIN { printf "%.1f", ns / 1e9 }')
    done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$rc" -eq 0 ]; then
        printf '%-18s %10s runs  %7s s  ok\n' "$name" "${done_runs:-?}" "$seconds"
    else
        failed=1
        printf '%-18s %10s runs  %7s s  FAULT (exit %d), input: %s\n' "$name" "${done_runs:-?}" \
            "$seconds" "$rc" "$(ls -t "$findings" | head -n 1 | sed "s|^|$findings/|")"
        grep -E 'ERROR|expectation failed|runtime error|got "' "$log" | head -n 5 | sed 's/^/    /'
    fi
done
exit "$failed"
