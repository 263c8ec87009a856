#!/bin/sh
# Makes the certificates the TLS channel tests serve, with the openssl command
# line tool, into the directory given as the only argument:
#   ca.pem / ca.key            a test certificate authority
#   server.pem / server.key    localhost and 127.0.0.1, signed by the test CA
#   other.pem / other.key      other.example only, signed by the test CA
#   self.pem / self.key        localhost and 127.0.0.1, self-signed
#   expired.pem / expired.key  localhost and 127.0.0.1, signed by the test CA, expired in 2021
#   ca_plain/                  the CA certificate under an ordinary file name
#   ca_hashed/                 the CA certificate under its subject-hash name
# Exits non-zero when any step fails.
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 <output directory>" >&2
  exit 2
fi
out=$1
mkdir -p "$out"
cd "$out"

cat > openssl.cnf <<'EOF'
[ req ]
distinguished_name = req_dn
prompt = no
[ req_dn ]
CN = unused
[ ca_ext ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[ local_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
[ other_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.example
[ ca ]
default_ca = test_ca
[ test_ca ]
dir = ./ca_db
database = $dir/index.txt
new_certs_dir = $dir
serial = $dir/serial
default_md = sha256
policy = policy_any
unique_subject = no
[ policy_any ]
commonName = supplied
EOF

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1" 2>/dev/null; }

# The authority.
key ca.key
openssl req -config openssl.cnf -new -x509 -key ca.key -subj "/CN=Quill Test CA" -days 30 \
  -extensions ca_ext -out ca.pem

# Certificates signed by the authority, valid now.
sign() { # name common-name extension-section
  key "$1.key"
  openssl req -config openssl.cnf -new -key "$1.key" -subj "/CN=$2" -out "$1.csr"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -extfile openssl.cnf -extensions "$3" -out "$1.pem" 2>/dev/null
}
sign server localhost local_ext
sign other other.example other_ext

# Self-signed, naming the right host.
key self.key
openssl req -config openssl.cnf -new -x509 -key self.key -subj "/CN=localhost" -days 30 \
  -extensions local_ext -out self.pem

# Expired: `openssl ca` is the tool of this openssl that takes explicit dates.
mkdir -p ca_db
: > ca_db/index.txt
echo 1000 > ca_db/serial
key expired.key
openssl req -config openssl.cnf -new -key expired.key -subj "/CN=localhost" -out expired.csr
openssl ca -config openssl.cnf -batch -notext -cert ca.pem -keyfile ca.key -in expired.csr \
  -startdate 200101000000Z -enddate 210101000000Z -extfile openssl.cnf -extensions local_ext \
  -out expired.pem 2>/dev/null

# Trust directories: one with an ordinary name, one as a hashed lookup directory.
mkdir -p ca_plain ca_hashed
cp ca.pem ca_plain/quill-test-ca.pem
cp ca.pem "ca_hashed/$(openssl x509 -in ca.pem -noout -hash).0"
