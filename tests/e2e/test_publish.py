"""The publisher's command against the real program: what it writes is what
the downloader reads, and what it signs openssl finds signed."""
import hashlib
import os
import random
import re
import subprocess

import pytest

import harness
from harness import START_BUTTON
from scripted import Scripted


def test_a_listed_folder_downloads_byte_for_byte(launch, site, folders):
    client = site.root / "glenmoor" / "client"
    site.add_file("glenmoor/client/extra/voice.pak", 300 << 10)
    site.add_file("glenmoor/client/more/MAPS.PAK", 10)  # the name of another file
    site.add_file("glenmoor/client/notes?.txt", 10)       # no name the downloader saves
    made = harness.publish("list", client, site.server.url("glenmoor/client/"), "--blocks", "--run",
                           "GlenmoorLauncher.exe")
    assert made.returncode == 0, made.stderr
    left_out = made.stderr.decode().splitlines()
    assert [line.split(":")[1].strip() for line in left_out] == ["more/MAPS.PAK", "notes?.txt"]
    (site.root / "downlist.xml").write_bytes(made.stdout)
    files = site.listed()
    assert sorted(files) == ["GlenmoorLauncher.exe", "maps.pak", "sounds.pak", "textures.pak", "voice.pak"]
    assert made.stdout.count(b' sha256="') == 5 and made.stdout.count(b'run="true"') == 1
    assert b' blocks="voice.pak.vxblocks"' in made.stdout and made.stdout.count(b' blocks="') == 5
    assert (client / "extra" / "voice.pak.vxblocks").stat().st_size > 64
    # The indexes beside the files are never files of the list.
    again = harness.publish("list", client, site.server.url("glenmoor/client/"), "--run", "GlenmoorLauncher.exe")
    assert again.stdout.count(b"<File ") == 5 and b".vxblocks" not in again.stdout
    program = launch()
    program.click(*START_BUTTON)
    program.wait((folders.download / "launched.txt").exists, 120, "the downloaded program's marker")
    for name, data in files.items():
        assert (folders.download / name).read_bytes() == data, name


def test_words_the_command_does_not_take_are_refused():
    for words in (("list",), ("list", "a", "b", "--unknown"), ("list", "a", "b", "--run"), ("nothing",),
                  ("keygen",), ("keygen", "a", "b"), ("sign", "k", "d", "--version", "1"),
                  ("sign", "k", "--version", "1", "--expires", "2099-01-01T00:00:00Z")):
        refused = harness.publish(*words)
        assert refused.returncode == 2, words
        assert b"usage: vexil-publish" in refused.stderr


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def test_check_passes_the_demo_site_and_names_each_fault_of_another(site, tmp_path):
    good = harness.publish("check", site.server.url("glenmoor/download.xml"))
    assert good.returncode == 0, good.stdout
    assert good.stdout.decode("cp949").endswith(" 0 errors, 0 warnings, 4 notes\n")

    scripted = Scripted()
    mirror = harness.address_of("http")  # nginx: the same files, its own ETags
    scripted.serve("/settings.xml", f'<Download><Service id="x"/><Server addr="{mirror}"/></Download>'.encode())
    bodies = {name: random.Random(name).randbytes(5000) for name in
              ("refused405", "refused403", "ignores", "busy", "tagged", "wrong", "gone", "indexed", "badindex",
               "otherindex", "lostindex")}
    # Block indexes as the command writes them: one intact, one damaged, one of another file, one not there.
    for name in ("indexed", "badindex"):
        (tmp_path / name).write_bytes(bodies[name])
    assert harness.publish("list", tmp_path, "http://127.0.0.1/", "--blocks").returncode == 0
    index = {name: (tmp_path / f"{name}.vxblocks").read_bytes() for name in ("indexed", "badindex")}
    index["badindex"] = index["badindex"][:100] + b"!" + index["badindex"][101:]
    index["otherindex"] = index["indexed"]
    for name, data in index.items():
        scripted.serve(f"/files/{name}.vxblocks", data)
    faults = {"refused405": dict(status=405, reason="Method Not Allowed", only="HEAD"),
              "refused403": dict(status=403, reason="Forbidden", only="HEAD"),
              "busy": dict(status=503, reason="Service Unavailable", only="GET", headers=["Retry-After: 2"])}
    for name, body in bodies.items():
        if name in faults:
            scripted.serve(f"/files/{name}", **faults[name])
        if name != "gone":
            scripted.serve(f"/files/{name}", body, ranges="exact" if name != "ignores" else False,
                           headers=['ETag: "scripted-1"'])
    (site.root / "files").mkdir()
    (site.root / "files" / "tagged").write_bytes(bodies["tagged"])
    site.add_file("moved/down.bin", 1000)
    urls = [scripted.url(f"/files/{name}") for name in bodies] + [site.server.url("moved/down.bin", "https")]
    hashes = {url: sha256(bodies[url.rsplit("/", 1)[1]]) for url in urls[:-1]}
    hashes[scripted.url("/files/wrong")] = sha256(b"other bytes")
    blocks = {url: f' blocks="{url.rsplit("/", 1)[1]}.vxblocks"' for url in urls if "index" in url}
    scripted.serve("/list.xml", "\n".join(
        ["<Download>"] + [f'<File url="{url}" sha256="{hashes.get(url, "")}"{blocks.get(url, "")}/>' for url in urls] +
        ["</Download>"]).encode())
    found = harness.publish("check", scripted.url("/settings.xml"), scripted.url("/list.xml"))
    assert found.returncode == 1
    lines = found.stdout.decode("cp949").splitlines()

    def named(severity, url, what):
        return any(line.startswith(f"{severity} {url}: {what}") for line in lines)

    files = scripted.url("/files/")
    assert named("warning", files + "refused405", "HEAD is refused (405)")
    assert named("warning", files + "refused403", "HEAD is refused (403)")
    assert named("warning", files + "ignores", "Range is ignored (200)")
    assert named("error", files + "busy", "GET answers 503")
    assert named("warning", f"http://{mirror}/files/tagged", 'its ETag "')
    assert named("error", files + "wrong", "its bytes do not have the listed sha256")
    assert named("error", files + "gone", "HEAD answers 404")
    assert named("error", site.server.url("moved/down.bin", "https"), "it redirects from https to http")
    assert not [line for line in lines if "/files/indexed.vxblocks" in line]
    assert named("warning", files + "badindex.vxblocks", "its block index is damaged")
    assert named("warning", files + "otherindex.vxblocks", "its block index is another file's")
    assert named("warning", files + "lostindex.vxblocks", "its block index cannot be fetched: GET answers 404")
    assert lines[-1].startswith(f"checked {len(urls)} files")


def openssl(*args):
    return subprocess.run(["openssl", *map(str, args)], capture_output=True, check=True).stdout


def p256_key(key, *rewrite):
    """A P-256 key as openssl ecparam -noout writes it, rewritten by openssl ec with these words."""
    openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", key)
    if rewrite:
        openssl("ec", "-in", key, *rewrite, "-out", f"{key}.new")
        os.replace(f"{key}.new", key)


# Key files as openssl writes them from a P-256 key (path, or None to make it
# with keygen), and whether sign takes them.
KEY_FILES = {
    "keygen's": (None, True),
    "openssl ecparam -noout": (p256_key, True),
    "openssl ecparam, with its parameters": (lambda k: openssl("ecparam", "-name", "prime256v1", "-genkey", "-out", k),
                                             True),
    "openssl genpkey (PKCS#8)": (lambda k: openssl("genpkey", "-algorithm", "EC", "-pkeyopt",
                                                   "ec_paramgen_curve:P-256", "-out", k), True),
    "without its public point": (lambda k: p256_key(k, "-no_public"), False),
    "with a passphrase": (lambda k: p256_key(k, "-aes128", "-passout", "pass:x"), False),
    "of another curve": (lambda k: openssl("ecparam", "-name", "secp384r1", "-genkey", "-noout", "-out", k), False),
    "an RSA key": (lambda k: openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", k),
                   False),
}
SETTINGS = "glenmoor/download.xml"


@pytest.mark.parametrize("kind", KEY_FILES, ids=list(KEY_FILES))
def test_sign_takes_keygens_and_openssls_key_files_and_openssl_checks_what_it_signs(tmp_path, site, kind):
    make, taken = KEY_FILES[kind]
    key = tmp_path / "key.pem"
    if make is None:
        made = harness.publish("keygen", key)
        assert made.returncode == 0, made.stderr
        line = made.stdout.decode().strip()
        assert line == harness.openssl_signing.public_line(key)  # openssl reads the key keygen wrote
        assert harness.publish("keygen", key).returncode == 1  # never overwritten
    else:
        make(key)
    document = site.root / SETTINGS
    before = document.read_bytes()
    signed = harness.publish("sign", key, document, "--version", "42", "--expires", harness.utc_after(3600))
    signature = harness.openssl_signing.signature_path(document)
    if not taken:
        assert signed.returncode == 1 and signed.stderr, signed.stdout
        assert document.read_bytes() == before
        return
    assert signed.returncode == 0, signed.stderr
    after = document.read_bytes()
    assert harness.named_freshness(after)["version"] == "42"
    # The two attributes' values changed, every other byte kept.
    assert re.sub(rb'(version|expires)="[^"]*"', b"", after) == re.sub(rb'(version|expires)="[^"]*"', b"", before)
    point = harness.openssl_signing.point(key)
    assert harness.openssl_signing.verifies(point, after, signature.read_bytes())
    assert not harness.openssl_signing.verifies(point, after + b" ", signature.read_bytes())


@pytest.mark.skipif(not harness.SIGNED, reason="the build pins no publisher key")
def test_documents_the_command_signs_with_the_trees_openssl_key_are_taken(launch, site, folders):
    for name in (SETTINGS, "downlist.xml"):
        signed = harness.publish("sign", harness.TREE_KEY, site.root / name, "--version", harness.demo_version(),
                                 "--expires", harness.utc_after(3600))
        assert signed.returncode == 0, signed.stderr
    program = launch(signed_as_is=True)
    program.click(*START_BUTTON)
    program.wait((folders.download / "launched.txt").exists, 120, "the downloaded program's marker")


def test_sign_refuses_what_a_player_would_refuse(tmp_path, site):
    document = site.root / SETTINGS
    for words, code in ((("--version", "0", "--expires", harness.utc_after(3600)), 2),
                        (("--version", "7", "--expires", "2027-01-31"), 2),
                        (("--version", "7", "--expires", "2020-01-01T00:00:00Z"), 1),
                        (("--version", "7"), 2)):
        refused = harness.publish("sign", harness.TREE_KEY, document, *words)
        assert refused.returncode == code, words
    (tmp_path / "other.xml").write_bytes(b"<Other/>")
    refused = harness.publish("sign", harness.TREE_KEY, tmp_path / "other.xml", "--version", "7", "--expires",
                              harness.utc_after(3600))
    assert refused.returncode == 1 and b"Download" in refused.stderr


@pytest.mark.skipif(not harness.SIGNED, reason="the build pins no publisher key")
def test_check_names_a_document_the_program_refuses_and_keeps_no_version(site, folders):
    settings = site.root / SETTINGS
    settings.write_bytes(settings.read_bytes().replace(b"GlenmoorClient", b"GlenmoorClienT", 1))
    found = harness.publish("check", site.server.url(SETTINGS))
    assert found.returncode == 1
    refused = [line for line in found.stdout.decode("cp949").splitlines() if "is refused" in line]
    assert len(refused) == 1 and "다운로드 정보의 서명이 올바르지 않습니다" in refused[0], found.stdout
    assert not list(folders.user.parent.parent.glob("Program Files*/Glenmoor/engine/*.version"))
