#!/usr/bin/env bash
# Test PKI for the loopback update host. Writes only under OUTDIR; nothing of
# it belongs in the repository. Safe to run again: existing files are kept
# while the server certificate names every host below, and made anew otherwise.
#
#   ca.crt / ca.key                 trusted test CA (added to the bundle)
#   server.crt / server.key         DNS:updates.vantrel.app and DNS:cdn.vantrel.app,
#                                   signed by ca
#   server-chain.crt                server + CA, what the server presents
#   untrusted-ca.crt / .key         a second CA that nobody trusts
#   untrusted.crt / .key            DNS:untrusted.vantrel.app, signed by it
#   untrusted-chain.crt             untrusted + its CA
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
out=$1
mkdir -p "$out"
cd "$out"

if [ -s server-chain.crt ] && [ -s untrusted-chain.crt ] &&
    openssl x509 -in server.crt -noout -ext subjectAltName 2>/dev/null |
    grep -q 'DNS:cdn\.vantrel\.app'; then
    exit 0
fi
rm -f ./*.crt ./*.key

days=825

make_ca() { # name, subject
    openssl req -x509 -new -newkey rsa:2048 -nodes -sha256 -days "$days" \
        -keyout "$1.key" -out "$1.crt" -subj "$2" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -addext "subjectKeyIdentifier=hash" 2>/dev/null
}

make_leaf() { # name, dns name, ca name, more dns names...
    openssl req -new -newkey rsa:2048 -nodes -sha256 \
        -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
    local names=DNS:$2 more
    for more in "${@:4}"; do names+=,DNS:$more; done
    cat > "$1.ext" <<EXT
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=$names
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
EXT
    openssl x509 -req -in "$1.csr" -CA "$3.crt" -CAkey "$3.key" \
        -set_serial "0x$(openssl rand -hex 16)" -sha256 -days "$days" \
        -extfile "$1.ext" -out "$1.crt" 2>/dev/null
    cat "$1.crt" "$3.crt" > "$1-chain.crt"
    rm -f "$1.csr" "$1.ext"
}

make_ca ca "/CN=Vantrel Test CA"
make_leaf server updates.vantrel.app ca cdn.vantrel.app
make_ca untrusted-ca "/CN=Vantrel Untrusted Test CA"
make_leaf untrusted untrusted.vantrel.app untrusted-ca
chmod 600 ./*.key
