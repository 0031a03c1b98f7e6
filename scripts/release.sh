#!/usr/bin/env bash
# make release: the exe built in a clean folder, built again from a copy of
# the tree in another folder and compared byte for byte, signed, verified,
# and written to dist/ with its SHA-256. See docs/releasing.md.
#
# The signing key comes from the environment:
#   SIGN_PKCS12, SIGN_PASSWORD_FILE   a PKCS#12 file and a file holding its password
#   SIGN_PKCS11_MODULE, SIGN_PKCS11_KEY, SIGN_CERTS
#                                     a hardware token: its PKCS#11 module, the key's
#                                     id or URI, and the certificate chain (PEM);
#                                     SIGN_PIN_FILE holds the PIN when the token
#                                     wants one, SIGN_PKCS11_ENGINE names the engine
#   neither                           a throwaway TEST chain under build/test-signing/
# TIMESTAMP_URL   an RFC 3161 time-stamping service; none when unset
# SIGN_CA_FILE    the roots the signature is verified against (default: the
#                 system's; the test root for the test chain), and
# SIGN_TSA_CA_FILE those the time stamp is verified against (default: the system's)
#
# The pieces, also used by the tests and the benchmark:
#   release.sh reproduce EXE   builds the exe alone from a copy of the tree in
#                              another folder; fails unless it equals EXE
#   release.sh sign IN OUT     signs IN as a release is signed
#   release.sh verify FILE     verifies FILE's signature as a release's is
#   release.sh test-chain      makes the throwaway test chain, when missing
set -euo pipefail
export LC_ALL=C

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
name=VantrelBootstrapper.exe
product=Vantrel
url=https://vantrel.app/
test_chain=$root/build/test-signing
system_roots=/etc/ssl/certs/ca-certificates.crt

scratch=()
trap 'rm -rf "${scratch[@]}"' EXIT

say() { printf 'release: %s\n' "$*" >&2; }
die() { printf 'release: FAILED: %s\n' "$*" >&2; exit 1; }
sha256() { sha256sum "$1" | cut -d' ' -f1; }

# Configures a fresh build folder $2 for the sources in $1 and builds the exe
# alone in it.
build_exe() {
    rm -rf "$2"
    cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64.cmake" >/dev/null
    cmake --build "$2" --target VantrelBootstrapper -j"${JOBS:-2}" >/dev/null
}

# Builds the exe from a copy of the tree (its tracked files and any new ones
# not ignored, as they are now) in a folder of another name and depth, and
# compares it with $1.
reproduce() {
    local exe=$1 work
    [ -f "$exe" ] || die "$exe is missing"
    work=$(mktemp -d /tmp/vantrel-reproduce.XXXXXX)
    scratch+=("$work")
    mkdir -p "$work/elsewhere/source"
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 cp --parents -t "$work/elsewhere/source")
    build_exe "$work/elsewhere/source" "$work/elsewhere/build"
    local first second
    first=$(sha256 "$exe")
    second=$(sha256 "$work/elsewhere/build/$name")
    say "built in ${exe%/*}: $first"
    say "built in $work/elsewhere/build: $second"
    if [ "$first" != "$second" ]; then
        cmp -l "$exe" "$work/elsewhere/build/$name" | head -n 5 >&2 || true
        die "the two builds differ: the exe is not reproducible"
    fi
    say "the two builds are the same"
}

# The throwaway test chain: a root that nobody trusts and a code-signing leaf
# under it, in a PKCS#12 file like a real one; and a second leaf of another
# subject under the same root, for the tests of the setup's signer. Made once
# per build folder.
make_test_chain() {
    [ -f "$test_chain/other-code-signing.p12" ] && return 0
    local tmp
    mkdir -p "$root/build"
    tmp=$(mktemp -d "$root/build/.test-signing.XXXXXX")
    scratch+=("$tmp")
    (
        cd "$tmp"
        quiet() { "$@" >/dev/null 2>&1; }
        cat >README.txt <<'EOF'
A THROWAWAY TEST CHAIN made by scripts/release.sh for machines without a
signing key. Nothing trusts its root. Never publish a file signed with it.
EOF
        openssl rand -hex 24 >test-code-signing.password
        quiet openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 3650 \
            -keyout test-root-ca.key -out test-root-ca.pem \
            -subj "/O=Vantrel TEST/CN=Vantrel TEST code signing root - NOT TRUSTED" \
            -addext "basicConstraints=critical,CA:TRUE" \
            -addext "keyUsage=critical,keyCertSign,cRLSign"
        printf '%s\n' "basicConstraints=critical,CA:FALSE" \
            "keyUsage=critical,digitalSignature" "extendedKeyUsage=codeSigning" \
            "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid" >leaf.ext
        leaf() {  # NAME CN
            quiet openssl req -newkey rsa:3072 -nodes -sha256 -keyout "$1.key" -out "$1.csr" \
                -subj "/O=Vantrel TEST/CN=$2"
            quiet openssl x509 -req -sha256 -days 825 -in "$1.csr" -CA test-root-ca.pem \
                -CAkey test-root-ca.key -set_serial "0x$(openssl rand -hex 16)" \
                -extfile leaf.ext -out "$1.pem"
            quiet openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -certfile test-root-ca.pem \
                -name "$2" -passout file:test-code-signing.password -out "$1.p12"
            rm -f "$1.csr"
        }
        leaf test-code-signing "Vantrel TEST code signing - throwaway"
        leaf other-code-signing "Vantrel TEST other publisher - throwaway"
        rm -f leaf.ext test-root-ca.key
    )
    # Another run may have made one meanwhile: that one stays.
    [ -f "$test_chain/other-code-signing.p12" ] && return 0
    rm -rf "$test_chain"
    mv -T "$tmp" "$test_chain"
    say "made a throwaway TEST signing chain in ${test_chain#"$root"/}"
}

# The key's options for osslsigncode, from the environment; the test chain
# when it names none.
key_options() {
    if [ -n "${SIGN_PKCS12:-}" ]; then
        [ -n "${SIGN_PASSWORD_FILE:-}" ] || die "SIGN_PKCS12 needs SIGN_PASSWORD_FILE"
        key=(-pkcs12 "$SIGN_PKCS12" -readpass "$SIGN_PASSWORD_FILE")
        key_kind="the PKCS#12 file $SIGN_PKCS12"
    elif [ -n "${SIGN_PKCS11_MODULE:-}" ]; then
        [ -n "${SIGN_PKCS11_KEY:-}" ] && [ -n "${SIGN_CERTS:-}" ] ||
            die "SIGN_PKCS11_MODULE needs SIGN_PKCS11_KEY and SIGN_CERTS"
        key=(-pkcs11module "$SIGN_PKCS11_MODULE" -key "$SIGN_PKCS11_KEY" -certs "$SIGN_CERTS")
        [ -z "${SIGN_PKCS11_ENGINE:-}" ] || key+=(-pkcs11engine "$SIGN_PKCS11_ENGINE")
        [ -z "${SIGN_PIN_FILE:-}" ] || key+=(-readpass "$SIGN_PIN_FILE")
        key_kind="the token key $SIGN_PKCS11_KEY"
    else
        make_test_chain
        key=(-pkcs12 "$test_chain/test-code-signing.p12"
            -readpass "$test_chain/test-code-signing.password")
        key_kind="the throwaway TEST chain in ${test_chain#"$root"/} (not for publishing)"
    fi
}

# The roots a signature is verified against.
ca_file() {
    if [ -n "${SIGN_CA_FILE:-}" ]; then
        echo "$SIGN_CA_FILE"
    elif [ -z "${SIGN_PKCS12:-}${SIGN_PKCS11_MODULE:-}" ]; then
        echo "$test_chain/test-root-ca.pem"
    else
        echo "$system_roots"
    fi
}

sign() {
    local in=$1 out=$2 key key_kind
    key_options
    local options=(-h sha256 -n "$product" -i "$url")
    [ -z "${TIMESTAMP_URL:-}" ] || options+=(-ts "$TIMESTAMP_URL")
    rm -f "$out"
    osslsigncode sign "${key[@]}" "${options[@]}" -in "$in" -out "$out" >/dev/null ||
        die "osslsigncode could not sign $in"
    say "signed with $key_kind"
}

verify() {
    local ca
    ca=$(ca_file)
    osslsigncode verify -CAfile "$ca" -TSA-CAfile "${SIGN_TSA_CA_FILE:-$system_roots}" -in "$1"
}

release() {
    [ "$(git -C "$root" status --porcelain --untracked-files=no | wc -l)" = 0 ] ||
        say "warning: the tree has uncommitted changes; this release is not of a commit"
    local ship=$root/build/ship dist=$root/dist
    say "building in a clean folder: ${ship#"$root"/}"
    build_exe "$root" "$ship"
    local exe=$ship/$name
    reproduce "$exe"

    mkdir -p "$dist"
    rm -f "$dist/$name" "$dist/SHA256SUMS"
    sign "$exe" "$ship/signed.exe"
    verify "$ship/signed.exe" >"$ship/verify.txt" 2>&1 || {
        cat "$ship/verify.txt" >&2
        die "the signed exe does not verify"
    }
    sed 's/^/    /' "$ship/verify.txt" >&2
    # The signature is all that signing added: anyone can check the published
    # file against a build of the commit.
    osslsigncode remove-signature -in "$ship/signed.exe" -out "$ship/unsigned-again.exe" >/dev/null
    cmp -s "$ship/unsigned-again.exe" "$exe" ||
        die "the signed exe without its signature is not the exe that was built"
    cp "$ship/signed.exe" "$dist/$name"
    (cd "$dist" && sha256sum "$name" >SHA256SUMS)

    say "commit $(git -C "$root" rev-parse --short HEAD)"
    say "unsigned: $(stat -c %s "$exe") bytes, sha256 $(sha256 "$exe")"
    say "signed:   $(stat -c %s "$dist/$name") bytes, sha256 $(sha256 "$dist/$name")"
    say "wrote dist/$name and dist/SHA256SUMS"
}

case ${1:-} in
    "") release ;;
    reproduce) [ $# = 2 ] || die "usage: $0 reproduce EXE"; reproduce "$2" ;;
    sign) [ $# = 3 ] || die "usage: $0 sign IN OUT"; sign "$2" "$3" ;;
    verify) [ $# = 2 ] || die "usage: $0 verify FILE"; verify "$2" ;;
    test-chain) make_test_chain ;;
    *) die "usage: $0 [reproduce EXE | sign IN OUT | verify FILE | test-chain]" ;;
esac
