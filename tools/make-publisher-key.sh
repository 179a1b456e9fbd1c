#!/usr/bin/env bash
# Makes the build tree's publisher key once, with openssl as a publisher may
# make one (docs/publishing.md): the private key the demo site and the tests
# sign with (never committed), and its public key line, which a build with
# VEXIL_PUBLISHER_KEYS=own pins.
# Usage: make-publisher-key.sh DIR
set -euo pipefail
dir=$1
[ -f "$dir/publisher.pub" ] && exit 0
mkdir -p "$dir"
(umask 077 && openssl ecparam -name prime256v1 -genkey -noout -out "$dir/publisher.pem")
# "p256:" and the hex digits of X and Y, the last 64 bytes of the DER public key.
point=$(openssl ec -in "$dir/publisher.pem" -pubout -outform DER 2>/dev/null | tail -c 64 | od -An -v -tx1 | tr -d ' \n')
[ ${#point} -eq 128 ] || { echo "make-publisher-key.sh: openssl gave no P-256 public key" >&2; exit 1; }
# Written last: its presence says the pair is whole.
echo "p256:$point" >"$dir/publisher.pub"
