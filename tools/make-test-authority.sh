#!/usr/bin/env bash
# Makes the build's local test authority and its certificates, once per build
# tree: the authority that only the build's own Wine prefix trusts, a
# certificate of it for "localhost" (the demo and the tests serve with it),
# and the bad ones the tests stage: one of an authority nobody trusts, one for
# another name, one that has expired.
# Usage: make-test-authority.sh DIR
set -euo pipefail
dir=$1
[ -f "$dir/authority.pem" ] && exit 0
mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

authority() {  # name subject
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}

# name authority dns-name [openssl-ca dates...]
certificate() {
  local name=$1 issuer=$2 dns=$3
  shift 3
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$dns" -keyout "$dir/$name.key" -out "$work/$name.csr" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n' "$dns" >"$work/$name.ext"
  mkdir -p "$work/ca-$name/new"
  : >"$work/ca-$name/index.txt"
  cat >"$work/ca-$name/ca.cnf" <<CNF
[ca]
default_ca = local
[local]
dir = $work/ca-$name
database = \$dir/index.txt
new_certs_dir = \$dir/new
serial = \$dir/serial
default_md = sha256
default_days = 825
policy = any
unique_subject = no
[any]
commonName = supplied
CNF
  openssl rand -hex 16 >"$work/ca-$name/serial"
  openssl ca -batch -notext -config "$work/ca-$name/ca.cnf" -cert "$work/$issuer.pem" -keyfile "$work/$issuer.key" \
    -extfile "$work/$name.ext" -in "$work/$name.csr" -out "$dir/$name.pem" "$@" 2>/dev/null
}

authority untrusted "Vexil Untrusted Authority"
authority authority "Vexil Test Authority $(hostname) $(date +%s)"
certificate localhost authority localhost
certificate wrong-name authority wrong-name.vexil.invalid
certificate expired authority localhost -startdate 20200101000000Z -enddate 20200201000000Z
certificate untrusted untrusted localhost
# Written last: its presence says the set is whole.
cp "$work/authority.pem" "$dir/authority.pem"
