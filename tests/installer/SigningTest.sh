#!/usr/bin/env bash
# Signs copies of the files (arguments: osslsigncode, the build's signing command, --, the files) with a
# throwaway self-signed certificate: each must verify, and a copy with one byte changed must not.
set -u
osslsigncode=$1; shift; sign=(); while [ "$1" != -- ]; do sign+=("$1"); shift; done; shift
scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
cp "$@" "$scratch/" && cd "$scratch" || exit 1
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=VOG signing test" -addext extendedKeyUsage=codeSigning \
  -keyout key.pem -out cert.pem 2>/dev/null && openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx \
  -passout pass:'s3 c"t' && VOG_SIGN_CERT=$PWD/cert.pfx VOG_SIGN_PASSWORD='s3 c"t' "${sign[@]}" "${@##*/}" || exit 1
status=0
verify() { "$osslsigncode" verify -CAfile cert.pem -in "$1" >/dev/null 2>&1; }
for file in "${@##*/}"; do
  verify "$file" || { echo "FAIL: $file does not verify"; status=1; }
  at=$(( $(stat -c %s "$file") / 2 )); byte=$(od -An -tu1 -j $at -N1 "$file" | tr -d ' ')
  { head -c $at "$file"; printf "\\$(printf %03o $(( (byte + 1) % 256 )))"; tail -c +$(( at + 2 )) "$file"; } >changed
  verify changed && { echo "FAIL: a changed $file verifies"; status=1; }
done
exit $status
