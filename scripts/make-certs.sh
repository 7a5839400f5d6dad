#!/usr/bin/env bash
# scripts/make-certs.sh DIR [NAME]
# Makes the certificates of the HTTPS tests and of the demo with the openssl
# command in DIR, for the host NAME (default localhost):
#   ca.pem, ca.der       the root that the tests trust (natively through
#                        netget --cacert, under Wine in the prefix's root
#                        store); kept from an earlier run while it has more
#                        than a week to live, since a Wine prefix that
#                        trusted it keeps it. Each new one has a name of its
#                        own: two roots of one name would stand for each
#                        other when a chain is built.
#   server.pem           NAME and 127.0.0.1, issued through an intermediate
#                        of the root: the leaf followed by the intermediate
#   partial.pem          the same leaf without its intermediate
#   expired.pem          NAME, issued by the root, valid in January 2020 only
#   wronghost.pem        issued by the root for another name only
#   selfsigned.pem       NAME, signed by its own key
#   untrusted.pem        NAME, issued by a second root that nobody trusts
# Every server certificate has the key server.key, so a server can change
# certificates by changing one file.
set -euo pipefail
dir=$1
name=${2:-localhost}
mkdir -p "$dir"
cd "$dir"
rm -rf ca-db && mkdir -p ca-db/new
quiet() { "$@" 2>/dev/null >/dev/null || "$@"; }

cat >ca.cnf <<EOF
[ca]
default_ca = test_ca
[test_ca]
database = ca-db/index.txt
new_certs_dir = ca-db/new
serial = ca-db/serial
default_md = default
policy = any
unique_subject = no
email_in_dn = no
[any]
commonName = supplied
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[intermediate]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:$name, IP:127.0.0.1
authorityKeyIdentifier = keyid
[wronghost]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.invalid
authorityKeyIdentifier = keyid
EOF

key() { quiet openssl genpkey -algorithm RSA -out "$1"; }
root() { # KEY CERT SUBJECT
    quiet openssl req -x509 -new -key "$1" -out "$2" -days 30 -subj "/CN=$3" -config ca.cnf \
        -extensions root
}
# sign CA_CERT CA_KEY SUBJECT EXTENSIONS OUT [START END]
sign() {
    : >ca-db/index.txt
    openssl rand -hex 8 >ca-db/serial
    quiet openssl req -new -key server.key -subj "/CN=$3" -out request.csr
    local dates=(-days 30)
    [ $# -ge 7 ] && dates=(-startdate "$6" -enddate "$7")
    quiet openssl ca -batch -config ca.cnf -cert "$1" -keyfile "$2" -extensions "$4" \
        "${dates[@]}" -notext -in request.csr -out "$5"
}

if ! { [ -f ca.key ] && openssl x509 -in ca.pem -noout -checkend 604800 >/dev/null 2>&1; }; then
    key ca.key
    root ca.key ca.pem "Setup Test Root $(date -u +%Y%m%d%H%M%S)"
    openssl x509 -in ca.pem -outform DER -out ca.der
fi
key other-ca.key
key intermediate.key
key server.key
root other-ca.key other-ca.pem "Setup Untrusted Root"
# The intermediate: a request signed by the root as a CA of its own.
quiet openssl req -new -key intermediate.key -subj "/CN=Setup Test Intermediate" -out request.csr
: >ca-db/index.txt
openssl rand -hex 8 >ca-db/serial
quiet openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -extensions intermediate \
    -days 30 -notext -in request.csr -out intermediate.pem

sign intermediate.pem intermediate.key "$name" server partial.pem
cat partial.pem intermediate.pem >server.pem
sign ca.pem ca.key "$name" server expired.pem 20200101000000Z 20200131000000Z
sign ca.pem ca.key other.invalid wronghost wronghost.pem
sign other-ca.pem other-ca.key "$name" server untrusted.pem
quiet openssl req -x509 -new -key server.key -out selfsigned.pem -days 30 -subj "/CN=$name" \
    -config ca.cnf -extensions server
rm -f request.csr
