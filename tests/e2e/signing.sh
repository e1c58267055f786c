#!/bin/sh
# Signed SFX files: builds them (e2e_signing, Prepare), signs them with osslsigncode and a
# test CA made here by openssl (SHA-256, no timestamp), verifies the signatures against that
# CA, then runs the signed files (e2e_signing, Signed).
#   signing.sh BUILD_DIR
set -eu
B=$(cd "$1" && pwd)
W="$B/signing"
rm -rf "$W"
mkdir -p "$W"
cd "$W"
for tool in openssl osslsigncode; do
    command -v $tool >/dev/null || { echo "signing: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
. "$B/testbed/env"
QUILLET_SIGNING_DIR=$(winepath -w "$W")
export QUILLET_SIGNING_DIR
"$B/wine-run.sh" "$B/bin/e2e_signing.exe" --gtest_filter='Prepare.*'

# A CA and a code-signing certificate issued by it, valid for a day.
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 1 -subj "/CN=Quillet Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=Quillet Test Signer" -keyout signer.key -out signer.csr 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -sha256 -days 1 -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
    -extfile signer.ext -out signer.pem 2>/dev/null

for name in plain run; do
    osslsigncode sign -certs signer.pem -key signer.key -h sha256 -n "Quillet test" \
        -in "$name.exe" -out "$name.signed.exe" >sign-$name.log
    if ! osslsigncode verify -CAfile ca.pem -ignore-crl -in "$name.signed.exe" >verify-$name.log 2>&1; then
        cat verify-$name.log
        echo "signing: $name.signed.exe does not verify" >&2
        exit 1
    fi
    grep -q "Signature verification: ok" verify-$name.log
done
"$B/wine-run.sh" "$B/bin/e2e_signing.exe" --gtest_filter='Signed.*'
