#!/usr/bin/env bash
# make demo: the bootstrapper's whole job against a local demo release.
#
# Builds the demo setup program, publishes it as release 1.4.2 on the local
# update server (a private network namespace where updates.vantrel.app is
# loopback), and runs the real exe under Wine. With $DISPLAY set the window
# opens there and you press "Download"; without it the script drives a private
# Xvfb itself (demo/drive.py, with the end-to-end tests' App and Shot) and
# saves a screenshot of each stage under build/demo/.
# Either way it ends by showing where the setup installed its files, and fails
# when they are not there.
set -euo pipefail
export LC_ALL=C

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
demo=$root/build/demo
exe=$root/build/win/VantrelBootstrapper.exe
release=$demo/release
version=1.4.2
host=updates.vantrel.app
manifest_rel=vantrel/updates/beta/latest.json
setup_rel=vantrel/releases/$version/Vantrel-$version-setup.exe
# The setup is under 100 KB: sent in 16 KiB pieces this far apart, the
# download takes a few seconds, long enough to watch the bar (and to catch it).
slow_ms=500
setup_path=/slow/$slow_ms/$setup_rel
setup_url=https://$host$setup_path
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel'
interactive_limit=1800

source "$root/scripts/wine_env.sh"

say() { printf 'demo: %s\n' "$*"; }
die() { printf 'demo: FAILED: %s\n' "$*" >&2; exit 1; }
now() { echo "$EPOCHREALTIME"; }
elapsed() { awk -v a="$(now)" -v b="$started" 'BEGIN { printf "%5.1f s", a - b }'; }

# --- inside the namespace ---------------------------------------------------

# Where a Windows environment variable points, as a Linux path.
wine_dir() {
    local win
    win=$(wine cmd /c "echo %$1%" </dev/null 2>/dev/null | tr -d '\r')
    [ -n "$win" ] && [ "$win" != "%$1%" ] || die "Wine does not know %$1%"
    # winepath answers through dosdevices/c:, realpath names the folder itself.
    realpath -m "$(winepath -u "$win" </dev/null 2>/dev/null)"
}

app_pid=
server_pid=

inside_cleanup() {
    # A stopped server would ignore the namespace's SIGTERM and hang its wait.
    if [ -n "$server_pid" ]; then kill -CONT "$server_pid" 2>/dev/null || true; fi
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill -KILL "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    quiet wineserver -k || true
}

attend() {
    xdpyinfo >/dev/null 2>&1 ||
        die "display $DISPLAY is not reachable from the demo's network namespace (a local display is; try: env -u DISPLAY make demo)"
    wine "$exe" </dev/null >/dev/null 2>&1 &
    app_pid=$!
    say "the bootstrapper is open on $DISPLAY: press \"Download\", and close the window once it reads \"Installed\""
    local deadline=$((SECONDS + interactive_limit))
    while kill -0 "$app_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
    kill -0 "$app_pid" 2>/dev/null && die "still open after $interactive_limit s; closing it"
    local rc=0
    wait "$app_pid" || rc=$?
    app_pid=
    say "$(elapsed)  the bootstrapper exited with $rc"
    [ $rc = 0 ] || die "the bootstrapper exited with $rc"
}

inside() {
    local mode=$1
    # Another run holding the prefix's lock would have kept us waiting.
    say "$(elapsed)  in the private network; the update server is up"
    trap inside_cleanup EXIT
    wine_warm_up

    local appdata temp install_dir stored
    appdata=$(wine_dir LOCALAPPDATA)
    temp=$(wine_dir TEMP)
    install_dir=${appdata%/}/Vantrel
    stored=${temp%/}/VantrelBootstrapper/Vantrel-$version.exe
    # What an earlier run left would prove nothing this time.
    rm -rf "$install_dir"
    rm -f "$stored"
    quiet wine reg delete "$uninstall_key" /f || true

    case $mode in
        auto)
            server_pid=$(ss -Hltnp 'sport = :443' | grep -o 'pid=[0-9]*' | head -n1 | cut -d= -f2)
            [ -n "$server_pid" ] || die "no update server listening on port 443"
            VANTREL_EXE=$exe VANTREL_SHOTS=$demo \
                python3 "$root/demo/drive.py" "$server_pid" "$version" "$release/$setup_rel"
            ;;
        display) attend ;;
    esac

    # An installed setup is deleted; the support log's digest of what was
    # stored shows that it was the published file.
    [ ! -e "$stored" ] || die "the installed setup was left at $stored"
    local published_size published_sha stored_line
    published_size=$(stat -c %s "$release/$setup_rel")
    published_sha=$(sha256sum "$release/$setup_rel" | cut -c1-64 | tr a-f A-F)
    stored_line=$(grep -a "stored .*Vantrel-$version.exe, $published_size bytes, SHA-256 $published_sha" \
        "$(dirname "$stored")/bootstrapper.log" | tr -d '\r' | tail -n1) ||
        die "the support log shows no stored setup equal to the published one"
    local readme=$install_dir/README.txt
    [ -f "$readme" ] && [ -f "$install_dir/uninstall.exe" ] ||
        die "the demo's files are missing from $install_dir"
    grep -q "version $version\." "$readme" || die "$readme names another version"
    grep -q "^Setup parameters: /S /R"$'\r'"\$" "$readme" ||
        die "the setup was not started with /S /R: $(grep 'parameters' "$readme" | tr -d '\r')"
    local reg
    reg=$(wine reg query "$uninstall_key" /v DisplayVersion </dev/null 2>/dev/null | tr -d '\r')
    grep -q "DisplayVersion.*REG_SZ.*$version" <<<"$reg" ||
        die "no uninstall entry for $version in the registry"

    local log=$demo/server.log
    [ "$(grep -c "^GET /$manifest_rel\$" "$log")" = 1 ] || die "expected one manifest request in $log"
    [ "$(grep -c "^GET $setup_path\$" "$log")" = 1 ] || die "expected one setup request in $log"

    say "the server saw:"
    sed 's/^/    /' "$log"
    say "downloaded, run and deleted: ${stored#"$root"/}"
    say "    support log: ${stored_line#*Z }"
    say "installed into (Windows: %LOCALAPPDATA%\\Vantrel):"
    say "    ${install_dir#"$root"/}"
    (cd "$install_dir" && ls -l --time-style=+%T) | sed 's/^/    /'
    say "README.txt says:"
    tr -d '\r' <"$readme" | sed 's/^/    /'
    say "registry: $(grep DisplayVersion <<<"$reg" | tr -s ' ' | sed 's/^ //')"
}

if [ "${1:-}" = --inside ]; then
    inside "$2"
    exit 0
fi

# --- outside: build, publish, run ---------------------------------------------

started=$(now)
export started
[ "$(id -u)" -eq 0 ] || die "run as root: the update host lives in a private network namespace"
[ -f "$exe" ] || die "$exe is missing: run make win"
mkdir -p "$demo"
rm -f "$demo"/[1-4]-*.png "$demo/failed-waiting.png"

setup=$demo/Vantrel-$version-setup.exe
makensis -V2 -DVERSION="$version" -DOUTFILE="$setup" "$root/demo/demo_setup.nsi" >/dev/null
# A 32-bit setup would "succeed" under this Wine without running at all.
x86_64-w64-mingw32-objdump -f "$setup" | grep -q 'file format pei-x86-64' ||
    die "$setup is not a 64-bit Windows program"
size=$(stat -c %s "$setup")
say "built the demo setup: build/demo/$(basename "$setup") ($size bytes, amd64-unicode)"

# Published whole: a fresh folder, the setup first, the manifest that names it last.
rm -rf "$release"
mkdir -p "$release/$(dirname "$setup_rel")" "$release/$(dirname "$manifest_rel")"
cp "$setup" "$release/$setup_rel"
# With its checksum: the bootstrapper runs the setup only if it matches.
sha256=$(sha256sum "$setup" | cut -d' ' -f1)
printf '{"version":"%s","platforms":{"windows-x86_64-nsis":{"url":"%s","sha256":"%s"}}}\n' \
    "$version" "$setup_url" "$sha256" >"$release/$manifest_rel"
say "published release $version in build/demo/release:"
say "    https://$host/$manifest_rel -> $(cat "$release/$manifest_rel")"

"$root/scripts/wine_prefix.sh" "$WINEPREFIX" | sed 's/^/demo: /'

netns=("$root/scripts/netns_run.sh" --release "$release" --log "$demo/server.log" --)
if [ -n "${DISPLAY:-}" ]; then
    "${netns[@]}" bash "$0" --inside display
else
    say "no DISPLAY: running on a private Xvfb and pressing the buttons here"
    "$root/scripts/with_display.sh" "${netns[@]}" bash "$0" --inside auto
fi
say "PASSED in $(elapsed | tr -s ' ' | sed 's/^ //')"
