#!/usr/bin/env bash
# Checks the loopback update server and the namespace around it with curl:
# every scenario over http:// and https://updates.vantrel.app, exact bytes
# and headers (ranges and their log too), HTTPS on port 8443, the certificate's
# second name cdn.vantrel.app, and refusal of https://untrusted.vantrel.app.
# Needs root.
# usage: tests/server/selftest.sh [PKI_DIR]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)

if [ "${1:-}" != --inside ]; then
    pki=${1:-$repo/build/pki}
    tmp=$(mktemp -d /tmp/vantrel-selftest.XXXXXX)
    trap 'rm -rf "$tmp"' EXIT
    mkdir -p "$tmp/release/sub dir" "$tmp/out"
    printf '{"version":"1.4.2"}\n' > "$tmp/release/latest.json"
    printf 'spaced\n' > "$tmp/release/sub dir/a b.txt"
    python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 13 + i // 977) % 256 for i in range(1000000)))' \
        > "$tmp/release/blob.bin"
    python3 -c 'import sys; sys.stdout.buffer.write(bytes(i * 7 % 251 for i in range(1000000)))' \
        > "$tmp/big.expected"
    rc=0
    "$repo/scripts/netns_run.sh" --release "$tmp/release" --log "$tmp/server.log" \
        --pki "$pki" -- "$here/selftest.sh" --inside "$tmp" "$pki" || rc=$?
    exit "$rc"
fi

tmp=$2
pki=$(cd "$3" && pwd)
rel=$tmp/release
out=$tmp/out
passed=0
failed=0

ok() { passed=$((passed + 1)); }
bad() { failed=$((failed + 1)); echo "FAIL: $*" >&2; }

# get URL [curl args...]: body -> $out/body, headers -> $out/headers,
# status -> $status, curl's exit code -> $curl_rc.
get() {
    local url=$1; shift
    local ca=()
    case $url in https:*) ca=(--cacert "$pki/ca.crt") ;; esac
    curl_rc=0
    status=$(curl -sS --max-time 20 "${ca[@]}" -D "$out/headers" -o "$out/body" \
        -w '%{http_code}' "$@" "$url" 2>"$out/stderr") || curl_rc=$?
}

expect_eq() { # what, expected, actual
    if [ "$2" == "$3" ]; then ok; else bad "$1: expected '$2', got '$3'"; fi
}

# The value of a response header, without the CR; empty when absent.
header() {
    tr -d '\r' < "$out/headers" | awk -v n="$(echo "$1" | tr 'A-Z' 'a-z')" '
        { k = tolower(substr($0, 1, index($0, ":") - 1)) }
        k == n { print substr($0, index($0, ":") + 2) }'
}

expect_header() { expect_eq "$url_label $1" "$2" "$(header "$1")"; }

expect_body_file() {
    if cmp -s "$1" "$out/body"; then ok; else bad "$url_label: body differs from $1 ($(stat -c %s "$out/body") bytes)"; fi
}

expect_body_hex() {
    expect_eq "$url_label body" "$1" "$(od -An -v -tx1 "$out/body" | tr -d ' \n')"
}

log_lines() { wc -l < "$tmp/server.log"; }

page() { # code reason text: the server's own short HTML page
    printf '<html><body><h1>%s %s</h1><p>%s</p></body></html>\n' "$1" "$2" "$3"
}

for scheme in http https; do
    base=$scheme://updates.vantrel.app

    url_label="$scheme static"
    get "$base/latest.json"
    expect_eq "$url_label status" 200 "$status"
    expect_header Content-Length 20
    expect_header Content-Type application/json
    expect_header Server VantrelTestServer/1.0
    expect_body_file "$rel/latest.json"

    url_label="$scheme url-decoded path"
    get "$base/sub%20dir/a%20b.txt"
    expect_eq "$url_label status" 200 "$status"
    expect_body_hex 7370616365640a

    url_label="$scheme keep-alive"
    ca=(); [ "$scheme" = https ] && ca=(--cacert "$pki/ca.crt")
    expect_eq "$url_label connects" "1 0" \
        "$(curl -sS "${ca[@]}" -o /dev/null -o /dev/null -w '%{num_connects} ' \
            "$base/latest.json" "$base/blob.bin" | sed 's/ $//')"

    url_label="$scheme HEAD"
    get "$base/blob.bin" -I
    expect_eq "$url_label status" 200 "$status"
    expect_header Content-Length 1000000
    # A body after HEAD would garble the next response on the same connection.
    expect_eq "$url_label then GET" "1 0 200" \
        "$(curl -sS "${ca[@]}" -I -o /dev/null -w '%{num_connects} ' "$base/blob.bin" \
            --next "${ca[@]}" -o "$out/body" -w '%{num_connects} %{http_code}' "$base/latest.json")"
    expect_body_file "$rel/latest.json"

    url_label="$scheme missing"
    get "$base/nothere.json"
    expect_eq "$url_label status" 404 "$status"
    page 404 "Not Found" "No such file." > "$out/expected"
    expect_body_file "$out/expected"
    expect_header Content-Length "$(stat -c %s "$out/expected")"

    url_label="$scheme traversal"
    get "$base/../../etc/hostname" --path-as-is
    expect_eq "$url_label status" 404 "$status"

    url_label="$scheme status with file"
    get "$base/status/503/latest.json"
    expect_eq "$url_label status" 503 "$status"
    expect_header Content-Length 20
    expect_body_file "$rel/latest.json"

    url_label="$scheme status page"
    get "$base/status/500/"
    expect_eq "$url_label status" 500 "$status"
    page 500 "Internal Server Error" "Status page from the test server." > "$out/expected"
    expect_body_file "$out/expected"

    url_label="$scheme status 204"
    get "$base/status/204/"
    expect_eq "$url_label status" 204 "$status"
    expect_eq "$url_label body size" 0 "$(stat -c %s "$out/body")"

    url_label="$scheme nolength"
    get "$base/nolength/blob.bin"
    expect_eq "$url_label curl rc" 0 "$curl_rc"
    expect_eq "$url_label status" 200 "$status"
    expect_header Content-Length ""
    expect_header Transfer-Encoding ""
    expect_header Connection close
    expect_body_file "$rel/blob.bin"

    url_label="$scheme chunked"
    get "$base/chunked/blob.bin"
    expect_eq "$url_label status" 200 "$status"
    expect_header Transfer-Encoding chunked
    expect_header Content-Length ""
    expect_body_file "$rel/blob.bin"
    get "$base/chunked/latest.json" --raw
    expect_body_hex "$(printf '14\r\n{"version":"1.4.2"}\n\r\n0\r\n\r\n' | od -An -v -tx1 | tr -d ' \n')"
    get "$base/chunked/blob.bin" --raw
    expect_eq "$url_label first chunk line" "$(printf '1000\r')" "$(head -n 1 "$out/body")"
    # 244 chunks of 4096 and one of 576 (0x240), each with its framing.
    expect_eq "$url_label raw size" $((244 * (6 + 4096 + 2) + 5 + 576 + 2 + 5)) "$(stat -c %s "$out/body")"

    url_label="$scheme cut"
    get "$base/cut/300000/blob.bin"
    expect_eq "$url_label curl rc (partial file)" 18 "$curl_rc"
    expect_eq "$url_label status" 200 "$status"
    expect_header Content-Length 1000000
    head -c 300000 "$rel/blob.bin" > "$out/expected"
    expect_body_file "$out/expected"

    url_label="$scheme slow"
    # 40,000 bytes = 3 pieces of 16 KiB, so 2 pauses of 300 ms.
    head -c 40000 "$rel/blob.bin" > "$rel/forty.bin"
    start=$(date +%s%N)
    get "$base/slow/300/forty.bin"
    took=$((($(date +%s%N) - start) / 1000000))
    expect_eq "$url_label status" 200 "$status"
    expect_header Content-Length 40000
    expect_body_file "$rel/forty.bin"
    if [ "$took" -ge 600 ] && [ "$took" -lt 3000 ]; then ok; else bad "$url_label took $took ms, expected 600..3000"; fi

    url_label="$scheme delay"
    start=$(date +%s%N)
    get "$base/delay/400/latest.json"
    took=$((($(date +%s%N) - start) / 1000000))
    expect_body_file "$rel/latest.json"
    if [ "$took" -ge 400 ] && [ "$took" -lt 3000 ]; then ok; else bad "$url_label took $took ms, expected 400..3000"; fi

    url_label="$scheme once"
    printf '300 503' > "$rel/latest.json.once"
    start=$(date +%s%N)
    get "$base/latest.json"
    took=$((($(date +%s%N) - start) / 1000000))
    expect_eq "$url_label first status" 503 "$status"
    if [ "$took" -ge 300 ] && [ "$took" -lt 3000 ]; then ok; else bad "$url_label took $took ms, expected 300..3000"; fi
    get "$base/latest.json"
    expect_eq "$url_label then status" 200 "$status"
    expect_body_file "$rel/latest.json"
    printf '0 cut/5' > "$rel/latest.json.once"
    get "$base/latest.json"
    expect_eq "$url_label as a scenario, body" 5 "$(stat -c %s "$out/body")"
    get "$base/latest.json"
    expect_body_file "$rel/latest.json"

    url_label="$scheme redirect-http"
    get "$base/redirect-http/sub%20dir/a%20b.txt"
    expect_eq "$url_label status" 302 "$status"
    expect_header Location "http://updates.vantrel.app/sub%20dir/a%20b.txt"

    url_label="$scheme port"
    get "$base/port/8443/sub%20dir/a%20b.txt"
    expect_eq "$url_label status on another port" 421 "$status"

    url_label="$scheme redirect-to"
    get "$base/redirect-to/cdn.vantrel.app/sub%20dir/a%20b.txt"
    expect_eq "$url_label status" 302 "$status"
    expect_header Location "https://cdn.vantrel.app/sub%20dir/a%20b.txt"
    printf 'https://u:p@cdn.vantrel.app/latest.json?t=1\n' > "$rel/target.txt"
    get "$base/redirect-as/target.txt"
    expect_eq "$url_label as a file says" "302 https://u:p@cdn.vantrel.app/latest.json?t=1" \
        "$status $(header Location)"

    url_label="$scheme redirect"
    get "$base/redirect/sub%20dir/a%20b.txt"
    expect_eq "$url_label status" 302 "$status"
    expect_header Location "/sub%20dir/a%20b.txt"
    get "$base/redirect/sub%20dir/a%20b.txt" -L
    expect_eq "$url_label followed status" 200 "$status"
    expect_body_hex 7370616365640a
    get "$base/redirect/latest.json" -L
    expect_eq "$url_label followed status" 200 "$status"
    expect_body_file "$rel/latest.json"

    url_label="$scheme length"
    get "$base/length/%2B20/latest.json"
    expect_eq "$url_label curl rc" 0 "$curl_rc"
    expect_eq "$url_label status" 200 "$status"
    expect_header Content-Length +20
    expect_header Connection close
    expect_body_file "$rel/latest.json"
    get "$base/length/00020/latest.json"
    expect_eq "$url_label curl rc" 0 "$curl_rc"
    expect_header Content-Length 00020
    expect_body_file "$rel/latest.json"

    url_label="$scheme bytes"
    get "$base/bytes/efbbbf7b7d"
    expect_eq "$url_label status" 200 "$status"
    expect_header Content-Length 5
    expect_body_hex efbbbf7b7d
    get "$base/bytes/ff"
    expect_body_hex ff
    get "$base/bytes/zz"
    expect_eq "$url_label bad hex status" 400 "$status"

    url_label="$scheme once, line by line, and next"
    printf 'next\n' > "$rel/latest.json.next"
    printf '0 cut/5\n0 next/3' > "$rel/latest.json.once"
    for n in 1 2 3; do get "$base/latest.json"; printf '%s ' "$(stat -c %s "$out/body")$(header ETag | cut -c1)"; done > "$out/sizes"
    expect_eq "$url_label: cut with validators, next without, then whole" '5" 3 20" ' "$(cat "$out/sizes")"
    expect_body_file "$rel/latest.json"

    url_label="$scheme short206"
    get "$base/short206/blob.bin"
    expect_eq "$url_label status" 206 "$status"
    expect_header Content-Range "bytes 0-999999/1000000"
    expect_header Content-Length 500000
    head -c 500000 "$rel/blob.bin" > "$tmp/half.expected"
    expect_body_file "$tmp/half.expected"
    url_label="$scheme sha256"
    get "$base/sha256/blob.bin"
    expect_eq "$url_label body" "$(sha256sum "$rel/blob.bin" | cut -c1-64)" "$(cat "$out/body")"

    url_label="$scheme big"
    get "$base/big/1000000"
    expect_eq "$url_label status" 200 "$status"
    expect_header Content-Length 1000000
    expect_body_file "$tmp/big.expected"
    get "$base/big/0"
    expect_header Content-Length 0
    expect_eq "$url_label empty body size" 0 "$(stat -c %s "$out/body")"

    url_label="$scheme range"
    get "$base/blob.bin"
    etag=$(header ETag) modified=$(header Last-Modified)
    expect_eq "$url_label ETag is strong, of size and mtime" \
        "\"$(printf '%x-%x' 1000000 "$(stat -c '%.9Y' "$rel/blob.bin" | tr -d .)")\"" "$etag"
    expect_eq "$url_label Last-Modified" "$(LC_ALL=C TZ=GMT date -r "$rel/blob.bin" '+%a, %d %b %Y %T GMT')" "$modified"
    expect_header Accept-Ranges bytes
    tail -c 1000 "$rel/blob.bin" > "$out/expected"
    for if_range in "" "$etag" "$modified"; do
        get "$base/blob.bin" -H 'Range: bytes=999000-' ${if_range:+-H "If-Range: $if_range"}
        expect_eq "$url_label status, If-Range '$if_range'" 206 "$status"
        expect_header Content-Range "bytes 999000-999999/1000000"
        expect_header Content-Length 1000
        expect_header ETag "$etag"
        expect_body_file "$out/expected"
    done
    get "$base/blob.bin" -H 'Range: bytes=1000000-'
    expect_eq "$url_label past the end" 416 "$status"
    expect_header Content-Range "bytes */1000000"
    for asked in 'bytes=999000-|If-Range: "other"' 'bytes=0-99|X-No: 1' 'bytes=-5|X-No: 1'; do
        get "$base/blob.bin" -H "Range: ${asked%%|*}" -H "${asked#*|}"
        expect_eq "$url_label whole file for $asked" "200 " "$status $(header Content-Range)"
        expect_body_file "$rel/blob.bin"
    done
    get "$base/norange/blob.bin" -H 'Range: bytes=999000-'
    expect_eq "$url_label norange" "200 $etag" "$status $(header ETag)"
    expect_body_file "$rel/blob.bin"

    url_label="$scheme drop"
    # A client that resumes after each drop: 300,000 bytes a response.
    rm -f "$out/resumed"
    before=$(wc -l < "$tmp/server.log.ranges")
    tries=0
    until [ $tries -ge 6 ] || curl -sS "${ca[@]}" -C - -H "If-Range: $etag" -o "$out/resumed" \
        "$base/drop/300000/blob.bin" 2>/dev/null; do tries=$((tries + 1)); done
    expect_eq "$url_label requests" 4 "$((tries + 1))"
    cp "$out/resumed" "$out/body"
    expect_body_file "$rel/blob.bin"
    expect_eq "$url_label ranges log" "/drop/300000/blob.bin - $etag 200 300000
/drop/300000/blob.bin bytes=300000- $etag 206 300000
/drop/300000/blob.bin bytes=600000- $etag 206 300000
/drop/300000/blob.bin bytes=900000- $etag 206 100000" "$(tail -n +$((before + 1)) "$tmp/server.log.ranges")"

    url_label="$scheme counted once"
    printf '0 cut/5 2' > "$rel/latest.json.once"
    for n in 1 2 3; do get "$base/latest.json"; echo "$(stat -c %s "$out/body")"; done > "$out/sizes"
    expect_eq "$url_label cut twice, then whole" "5 5 20" "$(echo $(cat "$out/sizes"))"

    url_label="$scheme lines of once"
    printf '0 cut/5\n0 404\n' > "$rel/latest.json.once"
    for n in 1 2 3; do get "$base/latest.json"; echo "$status $(stat -c %s "$out/body")"; done > "$out/sizes"
    expect_eq "$url_label cut, 404, then whole" "200 5 404 $(page 404 "Not Found" "Answered once by the test server." | wc -c) 200 20" \
        "$(echo $(cat "$out/sizes"))"

    url_label="$scheme novalidator"
    get "$base/novalidator/blob.bin" -H 'Range: bytes=999000-'
    expect_eq "$url_label" "206 bytes 999000-999999/1000000 ||" \
        "$status $(header Content-Range) |$(header ETag)|$(header Last-Modified)"
    get "$base/novalidator/blob.bin" -H 'Range: bytes=999000-' -H "If-Range: $etag"
    expect_eq "$url_label with If-Range" 200 "$status"
    get "$base/novalidator/cut/5/blob.bin"
    expect_eq "$url_label of a scenario" "200 5 |" "$status $(stat -c %s "$out/body") |$(header ETag)"

    url_label="$scheme hold"
    rm -f "$rel/held/$scheme" "$rel/held/$scheme.at"
    curl -sS -N "${ca[@]}" --max-time 60 -o "$out/held" "$base/hold/$scheme/400000/blob.bin" &
    held_pid=$!
    for k in 1 2; do
        # Held at stop k with exactly k pieces received.
        for _ in $(seq 200); do
            [ "$(cat "$rel/held/$scheme.at" 2>/dev/null) $(stat -c %s "$out/held" 2>/dev/null)" = "$k $((k * 400000))" ] && break
            sleep 0.05
        done
        expect_eq "$url_label stop, bytes received" "$k $((k * 400000))" \
            "$(cat "$rel/held/$scheme.at") $(stat -c %s "$out/held")"
        echo $k > "$rel/held/$scheme"
    done
    wait $held_pid
    cp "$out/held" "$out/body"
    expect_body_file "$rel/blob.bin"

    url_label="$scheme absolute-form target"
    get "$base/" --request-target "$scheme://updates.vantrel.app:$([ $scheme = https ] && echo 443 || echo 80)/latest.json?a"
    expect_eq "$url_label status" 200 "$status"
    expect_body_file "$rel/latest.json"
    expect_eq "$url_label logged" "GET /latest.json?a" "$(tail -n 1 "$tmp/server.log")"

    url_label="$scheme request log"
    before=$(log_lines)
    get "$base/latest.json?n=$scheme"
    get "$base/missing"
    expect_eq "$url_label count" $((before + 2)) "$(log_lines)"
    expect_eq "$url_label last line" "GET /missing" "$(tail -n 1 "$tmp/server.log")"
    expect_eq "$url_label line before" "GET /latest.json?n=$scheme" "$(tail -n 2 "$tmp/server.log" | head -n 1)"
done

url_label="TLS close"
# A body ended by the close must end with close_notify, or strict clients read
# it as truncated; a cut connection must not have one.
expect_eq "$url_label nolength, cut" "close_notify eof" "$(python3 - "$pki/ca.crt" <<'EOF'
import socket, ssl, sys
ctx = ssl.create_default_context(cafile=sys.argv[1])
def ending(path):
    with socket.create_connection(("updates.vantrel.app", 443)) as raw:
        with ctx.wrap_socket(raw, server_hostname="updates.vantrel.app",
                             suppress_ragged_eofs=False) as s:
            s.sendall(b"GET %s HTTP/1.1\r\nHost: updates.vantrel.app\r\n\r\n" % path)
            try:
                while s.recv(65536):
                    pass
                return "close_notify"
            except ssl.SSLEOFError:
                return "eof"
print(ending(b"/nolength/latest.json"), ending(b"/cut/5/latest.json"))
EOF
)"

url_label="system bundle"
# The bundle mounted over the system one must trust the test CA on its own.
curl_rc=0
curl -sS -o "$out/body" https://updates.vantrel.app/latest.json 2>"$out/stderr" || curl_rc=$?
expect_eq "$url_label curl rc" 0 "$curl_rc"
expect_body_file "$rel/latest.json"

url_label="untrusted"
before=$(log_lines)
get https://untrusted.vantrel.app/latest.json
expect_eq "$url_label curl rc (peer certificate not trusted)" 60 "$curl_rc"
curl_rc=0
curl -sS -o /dev/null https://untrusted.vantrel.app/latest.json 2>/dev/null || curl_rc=$?
expect_eq "$url_label with system bundle" 60 "$curl_rc"
# The same server answers once its own CA is trusted, so the refusal above
# is about trust, not about nothing listening.
curl_rc=0
curl -sS --cacert "$pki/untrusted-ca.crt" -o "$out/body" \
    https://untrusted.vantrel.app/latest.json 2>"$out/stderr" || curl_rc=$?
expect_eq "$url_label with its own CA" 0 "$curl_rc"
expect_body_file "$rel/latest.json"
expect_eq "$url_label requests logged" $((before + 1)) "$(log_lines)"

url_label="second HTTPS port"
get https://updates.vantrel.app:8443/latest.json
expect_eq "$url_label status" 200 "$status"
expect_body_file "$rel/latest.json"

url_label="cdn host"
# Named by the trusted certificate, yet unknown to the namespace's resolver.
get https://cdn.vantrel.app/latest.json --resolve cdn.vantrel.app:443:127.0.0.1
expect_eq "$url_label with its address" "0 200" "$curl_rc $status"
get https://cdn.vantrel.app/latest.json
expect_eq "$url_label curl rc (could not resolve)" 6 "$curl_rc"

url_label="nohost"
get https://nohost.vantrel.invalid/latest.json
expect_eq "$url_label curl rc (could not resolve)" 6 "$curl_rc"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
