#!/usr/bin/env bash
# Runs COMMAND in a private network namespace where the real update host
# names point at the loopback test server (tests/server/update_server.py):
#   updates.vantrel.app   -> 127.0.0.1, certificate from the trusted test CA,
#                            HTTP on 80, HTTPS on 443 and 8443
#   untrusted.vantrel.app -> 127.0.0.2, certificate from a CA nobody trusts
# The trusted certificate also names cdn.vantrel.app, which this hosts file
# leaves out on purpose: only a proxy with a hosts file of its own (or curl's
# --resolve) reaches it, at 127.0.0.1.
# and the system CA bundle also holds the trusted test CA and the root of the
# throwaway code-signing chain (build/test-signing, made by
# scripts/release.sh), so that Windows trusts a file signed with it. Needs root.
#
# usage: scripts/netns_run.sh [--release DIR] [--log FILE] [--pki DIR] -- COMMAND ARGS...
# Exits with COMMAND's status.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
release=$repo/build/release
log=$repo/build/server.log
pki=$repo/build/pki

usage() {
    echo "usage: $0 [--release DIR] [--log FILE] [--pki DIR] -- COMMAND ARGS..." >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case $1 in
        --release) release=$2; shift 2 ;;
        --log) log=$2; shift 2 ;;
        --pki) pki=$2; shift 2 ;;
        --) shift; break ;;
        *) usage ;;
    esac
done
[ $# -gt 0 ] || usage

if [ "$(id -u)" -ne 0 ]; then
    echo "$0: must run as root (it creates a network namespace)" >&2
    exit 2
fi

mkdir -p "$release" "$pki" "$(dirname "$log")"
release=$(cd "$release" && pwd)
pki=$(cd "$pki" && pwd)
log=$(cd "$(dirname "$log")" && pwd)/$(basename "$log")

if [ "${_VANTREL_NETNS_INSIDE:-}" != 1 ]; then
    # Wine clients find their server by the prefix, across namespaces: two runs
    # sharing a prefix at once would talk to each other's server (and network).
    # One run per prefix at a time; the lock is held until the command ends.
    if [ -n "${WINEPREFIX:-}" ]; then
        mkdir -p "$WINEPREFIX"
        exec 9>"$WINEPREFIX/.netns-lock"
        flock 9
    fi
    "$repo/tests/pki/make_pki.sh" "$pki"
    "$repo/scripts/release.sh" test-chain
    export _VANTREL_NETNS_INSIDE=1
    exec unshare --net --mount --fork -- "$0" \
        --release "$release" --log "$log" --pki "$pki" -- "$@"
fi
# A nested call must build a namespace of its own.
unset _VANTREL_NETNS_INSIDE

mount --make-rprivate /
ip link set lo up
# 127.0.0.1/8 on lo normally covers 127.0.0.2 already.
if ! ip route get 127.0.0.2 2>/dev/null | grep -q '^local'; then
    ip addr add 127.0.0.2/8 dev lo
fi

work=$(mktemp -d /tmp/vantrel-netns.XXXXXX)
server_pid=

cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k </dev/null >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

{
    grep -v 'vantrel\.app' /etc/hosts || true
    echo "127.0.0.1 updates.vantrel.app"
    echo "127.0.0.2 untrusted.vantrel.app"
} > "$work/hosts"
mount --bind "$work/hosts" /etc/hosts

bundle=/etc/ssl/certs/ca-certificates.crt
cat "$bundle" "$pki/ca.crt" "$repo/build/test-signing/test-root-ca.pem" > "$work/ca-bundle.crt"
mount --bind "$work/ca-bundle.crt" "$bundle"

unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY

# A wineserver started outside would keep the outer network and its cached
# trust: start this prefix's server afresh in here.
if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
fi

python3 "$repo/tests/server/update_server.py" --root "$release" --log "$log" \
    --pki "$pki" --ready "$work/ready" </dev/null 9>&- &
server_pid=$!
for _ in $(seq 200); do
    [ -e "$work/ready" ] && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "$0: update server failed to start" >&2
        exit 1
    fi
    sleep 0.05
done
if [ ! -e "$work/ready" ]; then
    echo "$0: update server not ready after 10 s" >&2
    exit 1
fi

rc=0
"$@" || rc=$?
exit "$rc"
