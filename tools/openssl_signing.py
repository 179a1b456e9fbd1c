#!/usr/bin/python3
"""Signs documents as the publisher's command does, with openssl on this
machine: the demo site's build step and the tests use it, and its openssl
signatures show that the program takes any ECDSA P-256 signer's. Usable as
a module, or:

    openssl_signing.py sign KEYFILE DOCUMENT VERSION EXPIRES
    openssl_signing.py public KEYFILE    # the line VEXIL_PUBLISHER_KEYS takes
"""
import hashlib
import re
import subprocess
import sys
import tempfile
from pathlib import Path

TAG = b"vexil-signature-1"
# DER of a P-256 public key (SubjectPublicKeyInfo) up to its 64 bytes X || Y.
POINT_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200") + b"\x04"
START_TAG = re.compile(rb"<Download(?=[\s/>])[^>]*>")


def openssl(*args, data=b""):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def point(key):
    """The public point X || Y of a private key file."""
    return openssl("ec", "-in", str(key), "-pubout", "-outform", "DER")[-64:]


def public_line(key):
    return "p256:" + point(key).hex()


def key_id(point_bytes):
    return hashlib.sha256(point_bytes).hexdigest()[:16]


def signature_path(document):
    return Path(str(document) + ".sig")


def integers(der):
    """r and s of a DER ECDSA signature, 32 bytes each."""
    assert der[0] == 0x30
    values, at = [], 2
    while at < len(der):
        assert der[at] == 0x02
        length = der[at + 1]
        values.append(der[at + 2:at + 2 + length].lstrip(b"\0").rjust(32, b"\0"))
        at += 2 + length
    return values


def signature_line(key, data):
    r, s = integers(openssl("dgst", "-sha256", "-sign", str(key), data=data))
    return TAG + b" " + key_id(point(key)).encode() + b" " + (r + s).hex().encode() + b"\n"


def der_integer(value):
    value = value.lstrip(b"\0") or b"\0"
    if value[0] & 0x80:
        value = b"\0" + value
    return b"\x02" + bytes([len(value)]) + value


def verifies(point_bytes, data, line):
    """Whether openssl finds the signature line good for data under the key of point_bytes."""
    parts = line.split()
    if len(parts) != 3 or parts[0] != TAG or parts[1] != key_id(point_bytes).encode():
        return False
    rs = bytes.fromhex(parts[2].decode())
    integers_der = der_integer(rs[:32]) + der_integer(rs[32:])
    with tempfile.TemporaryDirectory() as work:
        (Path(work) / "key.der").write_bytes(POINT_PREFIX + point_bytes)
        (Path(work) / "sig").write_bytes(b"\x30" + bytes([len(integers_der)]) + integers_der)
        checked = subprocess.run(["openssl", "dgst", "-sha256", "-keyform", "DER", "-verify", f"{work}/key.der",
                                  "-signature", f"{work}/sig"], input=data, capture_output=True)
    return checked.returncode == 0


def with_freshness(data, version, expires):
    """The document with version and expires set on its Download tag (the
    first such tag), the rest byte for byte; unchanged without one."""
    match = START_TAG.search(data)
    if not match:
        return data
    tag, added = match.group(0), b""
    for name, value in ((b"version", str(version).encode()), (b"expires", expires.encode())):
        pattern = re.compile(rb"(\s" + name + rb"\s*=\s*)(\"[^\"]*\"|'[^']*')")
        if pattern.search(tag):
            tag = pattern.sub(lambda m: m.group(1) + b'"' + value + b'"', tag, count=1)
        else:
            added += b" " + name + b'="' + value + b'"'
    tag = tag[:len(b"<Download")] + added + tag[len(b"<Download"):]
    return data[:match.start()] + tag + data[match.end():]


def sign_bytes(key, data, version, expires):
    """(the document with its version and expiry, its signature line)."""
    signed = with_freshness(data, version, expires)
    return signed, signature_line(key, signed)


def sign_file(key, document, version, expires):
    document = Path(document)
    signed, line = sign_bytes(key, document.read_bytes(), version, expires)
    document.write_bytes(signed)
    signature_path(document).write_bytes(line)


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "sign":
        sign_file(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5])
    elif len(sys.argv) == 3 and sys.argv[1] == "public":
        print(public_line(sys.argv[2]))
    else:
        sys.exit(__doc__)
