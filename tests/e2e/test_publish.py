"""The publisher's command against the real program: what it writes is what
the downloader reads."""
import hashlib
import random

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
    for words in (("list",), ("list", "a", "b", "--unknown"), ("list", "a", "b", "--run"), ("nothing",)):
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
