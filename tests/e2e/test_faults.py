"""Staged faults and hostile input against the whole program: whatever a
server or a document does, the program stays up, shows what its rules say,
loses no byte, and writes or starts nothing outside its folder."""
import hashlib
import os
import random
import shutil
import subprocess
import time
from pathlib import Path
from xml.sax.saxutils import escape

import pytest

import harness
from harness import (BOX_LOOKS, BOX_PLACE, MESSAGE_LINE, START_BUTTON, START_LOOKS,
                     START_PLACE, look, red_pixels)
from scripted import SERVED_HASHES, Scripted

SETTINGS = """{declaration}
<Download>
  <Title>글렌무어 장애 시험</Title>
  <Service id="glenmoor-faults" encrypt="false" userinfo="false" report="XML"/>
  <Location saveto="AppData" mkdir="{folder}"/>
  <Server addr="{mirror}"/>
</Download>
"""


@pytest.fixture
def scripted():
    return Scripted()


def settings_text(mirror, folder="GlenmoorClient", declaration='<?xml version="1.0" encoding="euc-kr"?>'):
    return SETTINGS.format(mirror=mirror, folder=folder, declaration=declaration).encode("cp949")


def file_list(urls, run=None, hashes=None, blocks=None):
    """The list of urls; under a key each file has its sha256 (the one given,
    else that of what the scripted server was told to serve for it)."""
    lines = ["<Download>"]
    for url in urls:
        flag = ' run="true"' if url == run else ""
        sha256 = (hashes or {}).get(url) or (SERVED_HASHES.get(url, harness.NO_BYTES_HASH) if harness.SIGNED else None)
        if sha256:
            flag += f' sha256="{sha256}"'
        if blocks and url in blocks:
            flag += f' blocks="{blocks[url]}"'
        lines.append(f'<File url="{escape(url, {chr(34): "&quot;"})}"{flag}/>')
    return "\n".join(lines + ["</Download>"]).encode("cp949")


def data(name, size):
    return random.Random(name).randbytes(size)


def serve_settings(scripted):
    scripted.serve("/settings.xml", settings_text(scripted.address))


def serve_file(scripted, name, body, **options):
    scripted.serve(f"/files/{name}", body, ranges=True, **options)
    return scripted.url(f"/files/{name}")


def unplaced(shot):
    """Widgets left unplaced: the start place shows none of the start looks."""
    return look(shot, START_PLACE, START_LOOKS) is None


def start_shown(shot):
    return (look(shot, START_PLACE, START_LOOKS) or "").startswith("start")


def at_top_left(program):
    """The window frame at the screen's corner: the client area lies within the frame's width."""
    x, y = program.origin()
    return x < 20 and y < 40


def message_shown(shot):
    return red_pixels(shot, *MESSAGE_LINE) > 20 and look(shot, BOX_PLACE, BOX_LOOKS) == "message icon"


def wait_message(program, timeout=60):
    program.move_to(20, 20)
    return program.wait_screen(message_shown, timeout, "a status message in red")


# Documents that cannot be read ---------------------------------------------------
BAD_DOCUMENTS = {
    "404": dict(status=404, reason="Not Found", body=b"<html>not here</html>"),
    "500": dict(status=500, reason="Internal Server Error", body=b"<html>broken</html>"),
    "not XML": dict(body=b"PK\x03\x04 this is a zip, not a document"),
    "cut before the root": dict(body=b'<?xml version="1.0"?>\n<Downl', length=4000, close_after=28),
    "cut halfway": dict(body=file_list([f"http://127.0.0.1:1/f{i}.bin" for i in range(6)]), close_after=150),
    "trailing garbage": dict(body=file_list([]) + b"<File url='http://127.0.0.1:1/x.bin'"),
    "empty": dict(body=b""),
    "unanswered": dict(body=b"", refuse=True),
}


@pytest.mark.parametrize("fault", BAD_DOCUMENTS, ids=list(BAD_DOCUMENTS))
@pytest.mark.parametrize("document", ["settings", "file list"])
def test_an_unreadable_document_leaves_the_window_bare_and_says_so(launch, scripted, fault, document):
    reply = dict(BAD_DOCUMENTS[fault])
    body = reply.pop("body")
    if document == "settings":
        scripted.serve("/settings.xml", body, **reply)
    else:
        serve_settings(scripted)
        scripted.serve("/list.xml", body, **reply)
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.wait_screen(lambda shot: unplaced(shot) and red_pixels(shot, *MESSAGE_LINE) > 20, 30,
                        "the window without widgets, and its message")
    assert at_top_left(program)  # not centred
    program.click(*START_BUTTON)
    assert program.running()
    assert not [r for r in scripted.requests() if r[0] == "HEAD"]
    if fault.startswith("cut"):  # tried twice, never half a list
        path = "/settings.xml" if document == "settings" else "/list.xml"
        assert len([r for r in scripted.requests() if r[1] == path]) == 2


def test_a_document_answered_on_the_second_try_is_read(launch, scripted, folders):
    scripted.serve("/settings.xml", b"gone", status=404, reason="Not Found", times=1)
    serve_settings(scripted)
    scripted.serve("/list.xml", b"", status=404, reason="Not Found", times=1)
    name = "second.bin"
    body = data(name, 20000)
    scripted.serve("/list.xml", file_list([serve_file(scripted, name, body)]))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.wait_screen(start_shown, 30, "the start button")
    assert not at_top_left(program)
    paths = [r[1] for r in scripted.requests() if r[0] == "GET"]
    assert [p for p in paths if not p.endswith(".sig")] == ["/settings.xml", "/settings.xml", "/list.xml", "/list.xml"]
    # Under a key, each attempt reads the signature too.
    assert [p for p in paths if p.endswith(".sig")] == (["/settings.xml.sig"] * 2 + ["/list.xml.sig"] * 2
                                                        if harness.SIGNED else [])
    program.click(*START_BUTTON)
    target = folders.download / name
    program.wait(lambda: target.exists() and target.read_bytes() == body, 60, "the file")


# Sizes -------------------------------------------------------------------------------
def test_only_positive_sizes_are_listed_and_the_walk_ends_at_a_silent_server(launch, scripted, folders):
    serve_settings(scripted)
    good = data("good.bin", 30000)
    urls = [serve_file(scripted, "good.bin", good),
            serve_file(scripted, "nolength.bin", b"x" * 100, length="none"),
            serve_file(scripted, "zero.bin", b"", length=0),
            serve_file(scripted, "negative.bin", b"x", length=-5),
            serve_file(scripted, "words.bin", b"x", length="lots"),
            "http://127.0.0.1:1/files/unreachable.bin",
            serve_file(scripted, "after.bin", b"x" * 10)]
    scripted.serve("/list.xml", file_list(urls))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.wait_screen(start_shown, 30, "the start button")
    # Sized several at a time: the file after the silent server may be asked
    # too, but is not listed.
    heads = sorted(r[1] for r in scripted.requests() if r[0] == "HEAD")
    assert heads in (sorted(["/files/good.bin", "/files/nolength.bin", "/files/zero.bin", "/files/negative.bin",
                             "/files/words.bin"] + extra) for extra in ([], ["/files/after.bin"]))
    program.click(*START_BUTTON)
    target = folders.download / "good.bin"
    program.wait(lambda: target.exists() and target.read_bytes() == good, 60, "the one listed file")
    program.wait_screen(start_shown, 30, "the end of the list")
    gets = [r[1] for r in scripted.requests() if r[0] == "GET" and r[1].startswith("/files/")]
    assert gets == ["/files/good.bin"]
    assert sorted(p.name for p in folders.download.iterdir()) == ["good.bin"]


def test_a_refused_head_is_sized_by_its_first_byte_and_a_missing_file_is_counted(launch, scripted, folders):
    serve_settings(scripted)
    refusals = {"page405.bin": dict(status=405, reason="Method Not Allowed", body=b"<p>" * 55),
                "bare405.bin": dict(status=405, reason="Method Not Allowed", length="none"),
                "signed403.bin": dict(status=403, reason="Forbidden", body=b"<Error>AccessDenied</Error>")}
    bodies, urls = {}, []
    for name, refusal in refusals.items():
        scripted.serve(f"/files/{name}", times=1, **refusal)
        bodies[name] = data(name, 40000)
        urls.append(serve_file(scripted, name, bodies[name]))
    urls.append(scripted.url("/files/gone.bin"))  # a 404 whose page has a length
    scripted.serve("/list.xml", file_list(urls))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    wait_message(program)  # the missing file is counted
    program.click(*START_BUTTON)
    for name, body in bodies.items():
        target = folders.download / name
        program.wait(lambda: target.exists() and target.read_bytes() == body, 60, name)
    firsts = sorted(r[1] for r in scripted.requests() if r[0] == "GET" and r[3].get("Range") == "bytes=0-0")
    assert firsts == sorted(f"/files/{name}" for name in refusals)
    assert not (folders.download / "gone.bin").exists()


def test_a_huge_size_ends_in_the_disk_space_message(launch, scripted, folders):
    serve_settings(scripted)
    url = serve_file(scripted, "huge.bin", b"x" * 10, length=10 ** 15)
    scripted.serve("/list.xml", file_list([url]))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.click(*START_BUTTON)
    wait_message(program)
    assert not (folders.download / "huge.bin").exists() or (folders.download / "huge.bin").stat().st_size == 0


# Transfers ---------------------------------------------------------------------------
def test_a_connection_lost_mid_file_is_resumed_by_the_engine(launch, scripted, folders):
    serve_settings(scripted)
    name = "reset.bin"
    body = data(name, 600000)
    # The HEAD, then a GET cut short, then whole answers that honour a range.
    scripted.serve(f"/files/{name}", body, ranges=True, times=1)
    scripted.serve(f"/files/{name}", body, ranges=True, close_after=250000, times=1)
    url = serve_file(scripted, name, body)
    scripted.serve("/list.xml", file_list([url]))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.click(*START_BUTTON)
    target = folders.download / name
    program.wait(lambda: target.exists() and target.stat().st_size == len(body), 60, "the whole file")
    program.move_to(20, 20)
    program.wait_screen(start_shown, 30, "the start button after the download")
    assert not message_shown(program.screenshot())
    assert target.read_bytes() == body
    gets = [r for r in scripted.requests() if r[0] == "GET" and r[1] == f"/files/{name}"]
    assert len(gets) == 2 and gets[1][3].get("Range") == "bytes=250000-"


def test_a_failure_ahead_shows_only_when_its_turn_comes(launch, scripted, folders):
    serve_settings(scripted)
    first, after = data("first.bin", 3 << 20), data("after.bin", 30000)
    scripted.serve("/files/gone.bin", b"gone", status=404, reason="Not Found", only="GET")  # HEAD finds it
    urls = [serve_file(scripted, "first.bin", first, rate=1 << 20), serve_file(scripted, "gone.bin", b"x" * 5000),
            serve_file(scripted, "after.bin", after)]
    scripted.serve("/list.xml", file_list(urls))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.click(*START_BUTTON)
    program.wait(lambda: [r for r in scripted.requests() if r[:2] == ("GET", "/files/gone.bin")], 30,
                 "the failed fetch ahead")
    program.move_to(20, 20)
    assert not message_shown(program.screenshot())  # the first file goes on
    target = folders.download / "first.bin"
    program.wait(lambda: target.exists() and target.read_bytes() == first, 60, "the first file")
    wait_message(program)
    assert len([r for r in scripted.requests() if r[:2] == ("GET", "/files/gone.bin")]) == 2  # tried again at its turn
    assert not (folders.download / "gone.bin").exists()


def test_a_start_right_after_a_pause_is_never_lost(launch, scripted, folders):
    serve_settings(scripted)
    name = "paused.bin"
    body = data(name, 3 << 20)
    url = serve_file(scripted, name, body, rate=150000)  # every answer slow, ranges too
    scripted.serve("/list.xml", file_list([url]))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.click(*START_BUTTON)
    target_part = folders.download / (name + ".vxpart")

    def transfers():
        return len([r for r in scripted.requests() if r[0] == "GET" and r[1] == f"/files/{name}"])
    for press in range(5):
        program.wait(lambda: transfers() == press + 1, 30, f"transfer {press + 1}")
        time.sleep(0.5)
        program.click(*START_BUTTON)  # pause
        time.sleep(0.05)
        program.click(*START_BUTTON)  # and start again within 100 ms
    target = folders.download / name
    program.wait(lambda: target.exists() and target.read_bytes() == body, 120, "the whole file")
    assert not target_part.exists()
    assert transfers() == 6


@pytest.mark.parametrize("mirror", ["right copy", "wrong copy"])
def test_a_wrong_copy_never_takes_the_name(launch, site, scripted, folders, mirror):
    right = data("copy.bin", 300000)
    wrong = right[:-1] + bytes([right[-1] ^ 1])  # the same size
    (site.root / "files").mkdir(exist_ok=True)
    (site.root / "files" / "copy.bin").write_bytes(wrong)  # on the file's own host, nginx over http
    scripted.serve("/files/copy.bin", right if mirror == "right copy" else wrong, ranges=True)  # the mirror
    serve_settings(scripted)
    host_url = site.server.url("files/copy.bin", "http")
    later = serve_file(scripted, "later.exe", b"MZ later")
    scripted.serve("/list.xml", file_list([host_url, later], run=later,
                                          hashes={host_url: hashlib.sha256(right).hexdigest()}))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.click(*START_BUTTON)
    target = folders.download / "copy.bin"
    if mirror == "right copy":
        program.wait(lambda: (folders.download / "later.exe").exists(), 60, "the list's end")
        assert target.read_bytes() == right
        return
    wait_message(program)
    assert not target.exists() and not (folders.download / "copy.bin.vxpart").exists()
    assert not (folders.download / "later.exe").exists()  # fetched ahead, perhaps, but its turn never came
    assert not harness.started_programs(program.before)


def block_index(tmp_path, body):
    """The block index the publisher's command makes for body."""
    folder = tmp_path / f"index-{len(list(tmp_path.iterdir()))}"
    folder.mkdir()
    (folder / "file.bin").write_bytes(body)
    made = harness.publish("list", folder, "http://127.0.0.1/", "--blocks")
    assert made.returncode == 0, made.stderr
    return (folder / "file.bin.vxblocks").read_bytes()


INDEX_FAULTS = ["another file's index", "a damaged index", "no index", "wrong bytes for a range"]


# Whatever the index or the server does, the older copy keeps its name until
# the file, fetched whole at last, ends byte for byte, and nothing is said.
@pytest.mark.parametrize("fault", INDEX_FAULTS)
def test_an_index_or_a_range_of_no_use_still_ends_byte_for_byte(launch, scripted, folders, tmp_path, fault):
    serve_settings(scripted)
    name = "patched.bin"
    body = data(name, 600000)
    old = bytearray(body)
    old[100000] ^= 0xFF
    index = block_index(tmp_path, body)
    if fault == "another file's index":
        index = block_index(tmp_path, data("another.bin", 600000))
    elif fault == "a damaged index":
        index = index[:200] + bytes([index[200] ^ 1]) + index[201:]
    if fault != "no index":
        scripted.serve(f"/files/{name}.vxblocks", index, ranges=True)
    if fault == "wrong bytes for a range":
        scripted.serve(f"/files/{name}", body[:100001] + b"!" + body[100002:], ranges="exact", only="GET", times=1)
    scripted.serve(f"/files/{name}", body, ranges="exact")
    url = scripted.url(f"/files/{name}")
    scripted.serve("/list.xml", file_list([url], hashes={url: hashlib.sha256(body).hexdigest()},
                                          blocks={url: f"{name}.vxblocks"}))
    folders.download.mkdir(parents=True)
    (folders.download / name).write_bytes(bytes(old))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.click(*START_BUTTON)
    target = folders.download / name
    program.wait(lambda: target.read_bytes() != old, 60, "the new file under its name")
    assert target.read_bytes() == body
    program.move_to(20, 20)
    program.wait_screen(start_shown, 30, "the start button after the download")
    assert not message_shown(program.screenshot())
    gets = [r[3].get("Range", "") for r in scripted.requests() if r[0] == "GET" and r[1] == f"/files/{name}"]
    assert gets[-1] == "" and (len(gets) > 1) == (fault == "wrong bytes for a range"), gets


# Every try of the engine times out: the error comes after its retries.
def test_a_stalled_server_leaves_the_window_responsive_and_ends_in_an_error(launch, scripted, folders):
    serve_settings(scripted)
    name = "stall.bin"
    scripted.serve(f"/files/{name}", b"x" * 5000, times=1)  # the HEAD
    url = serve_file(scripted, name, b"x" * 5000, stall_ms=120000)
    scripted.serve("/list.xml", file_list([url]))
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.click(*START_BUTTON)
    program.move_to(*harness.CLOSE_BUTTON)  # hovering the greyed close changes nothing, but the start place does
    program.move_to(*START_BUTTON)
    program.wait_screen(lambda shot: look(shot, START_PLACE, START_LOOKS) == "pause hover", 20,
                        "the pause button answering the pointer while the server stalls")
    wait_message(program, timeout=90)
    assert program.running()


# Start-up against a silent server ---------------------------------------------------
# Seconds from launch to the window, per silent request, for the suite's report.
STARTUP_SECONDS = {}


@pytest.mark.parametrize("silent", ["settings", "settings trickled", "file list", "probe", "engine library"])
def test_a_silent_server_delays_start_up_by_seconds_not_minutes(launch, scripted, site, silent):
    first = serve_file(scripted, "first.bin", data("first.bin", 3000))
    scripted.serve("/files/stall.bin", b"x" * 10, stall_ms=120000)
    listed = [first, scripted.url("/files/stall.bin"), serve_file(scripted, "last.bin", b"y" * 10)]
    documents = {"/settings.xml": settings_text(scripted.address),
                 "/list.xml": file_list(listed if silent == "probe" else [first])}
    for path, body in documents.items():
        stalled = {"settings": "/settings.xml", "file list": "/list.xml"}.get(silent) == path
        trickled = silent == "settings trickled" and path == "/settings.xml"  # its head at once, then a byte every 2 s
        scripted.serve(path, b"" if stalled else body, stall_ms=120000 if stalled else 0,
                       trickle_ms=2000 if trickled else 0)
    library = None
    if silent == "engine library":
        site.server.stop()
        library = harness.SilentServer(site.server.address)
    try:
        began = time.monotonic()
        program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
        STARTUP_SECONDS[silent] = time.monotonic() - began
    finally:
        if library:
            library.close()
            site.server.start()
    assert STARTUP_SECONDS[silent] < (15 if silent == "settings trickled" else 45)
    if silent in ("settings", "settings trickled", "file list"):
        program.wait_screen(unplaced, 30, "the window without widgets")
    elif silent == "probe":
        program.wait_screen(start_shown, 30, "the start button")
        assert {r[1] for r in scripted.requests() if r[0] == "HEAD"} >= {"/files/first.bin", "/files/stall.bin"}
    else:
        wait_message(program)


# The engine library and the picture --------------------------------------------------
LIBRARY = "glenmoor/tkwengine.dll"
BAD_FILES = {
    "missing": None,
    "damaged": b"MZ" + random.Random(1).randbytes(5000),
    "error page": b"<html><body>502 Bad Gateway</body></html>",
}


def replace_in_site(site, path, content):
    target = site.root / path
    target.unlink()
    if content is not None:
        target.write_bytes(content)


@pytest.mark.parametrize("fault", BAD_FILES, ids=list(BAD_FILES))
def test_a_bad_engine_library_is_never_loaded(launch, site, folders, fault):
    replace_in_site(site, LIBRARY, BAD_FILES[fault])
    program = launch()
    wait_message(program)
    if BAD_FILES[fault] is None or not BAD_FILES[fault].startswith(b"MZ"):
        assert not (folders.user / "Documents" / "Glenmoor" / "download" / "tkwengine.dll").exists()
    program.click(*START_BUTTON)
    assert program.running()
    assert not [r for r in site.server.requests() if r["agent"] == "Vexil Engine"]


@pytest.mark.parametrize("fault", BAD_FILES, ids=list(BAD_FILES))
def test_a_bad_picture_gives_the_built_in_background(launch, site, folders, fault):
    replace_in_site(site, "glenmoor/background.jpg", BAD_FILES[fault])
    program = launch()
    shot = program.wait_screen(start_shown, 30, "the start button")
    with harness.Image.open(harness.SOURCE / "res" / "fallback.bmp") as fallback:
        corner = fallback.convert("RGB").crop((0, 0, 120, 120))
    assert harness.difference(harness.region(shot, 0, 0, 120, 120), corner) < 8
    program.click(*START_BUTTON)
    program.wait(lambda: (folders.download / "launched.txt").exists(), 120, "the download to finish")


# Planted libraries -------------------------------------------------------------------
# The libraries of the program and of the engine module that are not
# KnownDLLs: Windows would look for each beside the program first, so the
# test makes Wine do so too. (Wine's own user32 imports version.dll, which
# the loader resolves before any program's first instruction; Windows'
# user32 does not.)
PLANTED = ["wininet.dll", "bcrypt.dll", "msimg32.dll"]
NATIVE_FIRST = "wininet,bcrypt,msimg32=n,b"


def test_libraries_planted_beside_the_program_or_in_its_working_folder_are_never_loaded(launch, site, folders):
    downloads, working, marks = (folders.user / name for name in ("Downloads", "Planted", "Planted marks"))
    for folder in (downloads, working):
        folder.mkdir(parents=True, exist_ok=True)
        for name in PLANTED:
            shutil.copy(harness.BUILD / "tests" / "e2e" / "planted_library.dll", folder / name)
    marks.mkdir(exist_ok=True)
    env = {"WINEDLLOVERRIDES": NATIVE_FIRST, "VEXIL_PLANTED_MARKS": harness.windows_path(marks)}
    try:
        # The staging catches a program that restricts nothing.
        shutil.copy(harness.BUILD / "tests" / "window_ctl.exe", downloads)
        subprocess.run(harness.wine_command(downloads / "window_ctl.exe", "load", "msimg32.dll"),
                       env={**os.environ, **env}, capture_output=True, timeout=60)
        assert [mark.name for mark in marks.iterdir()] == ["msimg32.dll.loaded"]
        (marks / "msimg32.dll.loaded").unlink()

        shutil.copy(harness.BUILD / "VexilDownloader.exe", downloads)
        program = launch(exe=downloads / "VexilDownloader.exe", cwd=working, env=env)
        program.click(*START_BUTTON)
        program.wait((folders.download / "launched.txt").exists, 120, "the downloaded program's marker")
        mapped = program.mapped_files()
        assert not list(marks.iterdir())
        assert not [path for path in mapped if "/planted" in path.lower()]
        # The engine runs from its checked copy, never from the download cache in Documents.
        engines = [path for path in mapped if path.lower().endswith("/tkwengine.dll")]
        assert engines and all("/glenmoor/engine/" in path.lower() for path in engines), engines
    finally:
        for folder in (downloads, working, marks):
            shutil.rmtree(folder, ignore_errors=True)


# Hostile file lists ------------------------------------------------------------------
HOSTILE_NAMES = ["..", ".", "", "..\\..\\evil.exe", "c:evil.exe", "a:b", "a*b", "a?b", 'a"b', "a<b", "a>b",
                 "a|b", "tab\tname", "con.exe", "trail."]


# Each name, and the 600-byte URL.
HOSTILE_INPUTS = HOSTILE_NAMES + ["a URL of 600 bytes"]


def test_hostile_names_and_long_urls_never_leave_the_folder(launch, scripted, folders):
    serve_settings(scripted)
    first, safe = data("first.bin", 3000), data("safe.bin", 4000)
    urls = [serve_file(scripted, "first.bin", first)] + [scripted.url("/files/x/") + name for name in HOSTILE_NAMES]
    for name in HOSTILE_NAMES:
        scripted.serve("/files/x/" + name, b"evil", ranges=True)
    long_url = scripted.url("/files/") + "l" * (600 - len(scripted.url("/files/")))
    scripted.serve(long_url[len(scripted.url("")) - 1:], b"long", ranges=True)
    urls += [long_url, serve_file(scripted, "safe.bin", safe)]
    scripted.serve("/list.xml", file_list(urls, run=urls[4]))
    parent = folders.download.parent
    before = set(parent.iterdir()) if parent.exists() else set()
    program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
    program.click(*START_BUTTON)
    target = folders.download / "safe.bin"
    program.wait(lambda: target.exists() and target.read_bytes() == safe, 60, "the safe file")
    assert (folders.download / "first.bin").read_bytes() == first
    assert sorted(p.name for p in folders.download.iterdir()) == ["first.bin", "safe.bin"]
    assert set(parent.iterdir()) - before == {folders.download}
    assert not harness.started_programs(program.before)
    # Only the safe files were sized, so only they count in the total.
    requests = [(r[0], r[1]) for r in scripted.requests() if r[1].startswith("/files/")]
    assert sorted(requests[:2]) == [("HEAD", "/files/first.bin"), ("HEAD", "/files/safe.bin")]  # sized together
    # Under a key both are hashed, and the second may be fetched ahead of its turn.
    assert sorted(requests[2:]) == [("GET", "/files/first.bin"), ("GET", "/files/safe.bin")]


def test_a_folder_with_blanks_starts_the_downloaded_program_not_a_planted_one(launch, scripted, folders):
    folder = folders.download.parent / "Glenmoor Client"
    planted = folders.download.parent / "Glenmoor.exe"
    launcher = (harness.BUILD / "demo-site" / harness.Site.LAUNCHER).read_bytes()
    # CP949 under a declaration without an encoding: every setting still counts.
    scripted.serve("/settings.xml", settings_text(scripted.address, folder.name, '<?xml version="1.0"?>'))
    url = serve_file(scripted, "GlenmoorLauncher.exe", launcher)
    scripted.serve("/list.xml", file_list([url], run=url))
    shutil.rmtree(folder, ignore_errors=True)
    planted.parent.mkdir(parents=True, exist_ok=True)
    planted.write_bytes(launcher)  # what an unquoted command line would start
    try:
        program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
        assert harness.x_tool("getwindowname", program.window).strip() == "글렌무어 장애 시험"
        program.click(*START_BUTTON)
        program.wait((folder / "launched.txt").exists, 60, "the downloaded program's marker")
        assert not (planted.parent / "launched.txt").exists()
    finally:
        planted.unlink()
        (planted.parent / "launched.txt").unlink(missing_ok=True)
        shutil.rmtree(folder, ignore_errors=True)


# Documents under the publisher's key -------------------------------------------------
SETTINGS_DOCUMENT, LIST_DOCUMENT = "glenmoor/download.xml", "downlist.xml"
needs_key = pytest.mark.skipif(not harness.SIGNED, reason="the build pins no publisher key")


def other_key():
    """A P-256 key of openssl's that no build pins."""
    key = harness.BUILD / "e2e" / "other-publisher.pem"
    if not key.exists():
        key.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", str(key)],
                       check=True, capture_output=True)
    return key


def one_byte_changed(old, new):
    def change(document):
        data = document.read_bytes()
        assert old in data and len(old) == len(new)
        document.write_bytes(data.replace(old, new, 1))
    return change


def signed_with(**how):
    return lambda document: harness.sign_file(document, **how)


def unsigned(document):
    harness.openssl_signing.signature_path(document).unlink()


def no_document(document):
    document.write_bytes(b"PK\x03\x04 a zip")
    harness.sign_file(document)


def older_than_taken(document):
    """Signed with the demo's version once a run took one above it."""
    harness.sign_file(document, version=int(harness.demo_version()))


EXPIRED = "2020-01-01T00:00:00Z"
# The document, what is done to it, and the message it is refused with.
TAMPERED = {
    "settings, one byte changed": (SETTINGS_DOCUMENT, one_byte_changed(b"GlenmoorClient", b"GlenmoorClienT"),
                                   "signature"),
    "file list, one byte changed": (LIST_DOCUMENT, one_byte_changed(b"maps.pak", b"mapt.pak"), "signature"),
    "settings, signed by a key not pinned": (SETTINGS_DOCUMENT, lambda d: harness.sign_file(d, key=other_key()),
                                             "signature"),
    "file list, without its signature": (LIST_DOCUMENT, unsigned, "signature"),
    "settings, older than one taken before": (SETTINGS_DOCUMENT, older_than_taken, "older"),
    "file list, older than one taken before": (LIST_DOCUMENT, older_than_taken, "older"),
    "settings, expired": (SETTINGS_DOCUMENT, signed_with(expires=EXPIRED), "expired"),
    "file list, expired": (LIST_DOCUMENT, signed_with(expires=EXPIRED), "expired"),
    "file list, signed but no document": (LIST_DOCUMENT, no_document, "unreadable"),
}
# The message line each message showed as, by the message's name: each row
# shows its own, and no other row's.
MESSAGE_LINES = {}


@needs_key
@pytest.mark.parametrize("fault", TAMPERED, ids=list(TAMPERED))
def test_a_tampered_document_is_refused_with_its_message_and_nothing_follows(launch, site, folders, fault):
    name, stage, message = TAMPERED[fault]
    document = site.root / name
    if stage is older_than_taken:
        harness.sign_file(document, version=int(harness.demo_version()) + 1)
        first = launch(signed_as_is=True)
        first.wait_screen(start_shown, 30, "the start button of a run that takes the higher version")
        first.kill()
    stage(document)
    site.server.log.write_text("")  # this run's requests only
    program = launch(signed_as_is=True)
    program.move_to(20, 20)
    shot = program.wait_screen(lambda shot: unplaced(shot) and red_pixels(shot, *MESSAGE_LINE) > 20, 30,
                               "the window without widgets, and its message")
    assert at_top_left(program)
    line = harness.region(shot, *MESSAGE_LINE).tobytes()
    for other, other_line in MESSAGE_LINES.items():
        assert (other_line == line) == (other == message), f"{message} shows as {other} does"
    MESSAGE_LINES.setdefault(message, line)
    requests = site.server.requests()
    assert not [r for r in requests if r["method"] == "HEAD" or r["agent"] == "Vexil Engine"]
    if name == SETTINGS_DOCUMENT:  # nothing it names is fetched: library, picture, file list
        assert {r["uri"] for r in requests} == {"/" + name, "/" + name + ".sig"}
    program.click(*START_BUTTON)
    assert program.running()
    assert not (folders.download.exists() and any(folders.download.iterdir()))  # made by a first run, if any
    assert not harness.started_programs(program.before)


def write_list(site, files):
    """The file list of (site path, sha256 or None), the first to be run, signed."""
    lines = ["<Download>"]
    for index, (path, sha256) in enumerate(files):
        lines.append(f'<File url="{site.server.url(path)}"' + (' run="true"' if index == 0 else "") +
                     (f' sha256="{sha256}"' if sha256 else "") + "/>")
    (site.root / LIST_DOCUMENT).write_bytes("\n".join(lines + ["</Download>"]).encode("cp949"))


SMALL_FILE = "glenmoor/client/small.bin"
# The run file as listed, and whether a copy of it waits in the download folder.
UNMATCHED_RUN_FILES = {
    "without a hash": (None, False),
    "without a hash, a copy in the folder": (None, True),
    "with another file's hash": (hashlib.sha256(b"another program").hexdigest(), False),
}


@needs_key
@pytest.mark.parametrize("case", UNMATCHED_RUN_FILES, ids=list(UNMATCHED_RUN_FILES))
def test_under_a_key_the_run_file_starts_only_with_its_signed_hash(launch, site, folders, case):
    sha256, planted = UNMATCHED_RUN_FILES[case]
    small = site.add_file(SMALL_FILE, 64 << 10)
    write_list(site, [(harness.Site.LAUNCHER, sha256), (SMALL_FILE, hashlib.sha256(small.read_bytes()).hexdigest())])
    launcher = site.root / harness.Site.LAUNCHER
    if planted:
        folders.download.mkdir(parents=True)
        shutil.copy(launcher, folders.download)
    program = launch()
    program.click(*START_BUTTON)
    asked = lambda: [r for r in site.server.requests() if r["uri"] == "/" + harness.Site.LAUNCHER]
    if sha256 is None:  # left out of the list: never asked for
        program.wait(lambda: (folders.download / "small.bin").exists(), 60, "the hashed file")
        program.move_to(20, 20)
        program.wait_screen(start_shown, 30, "the start button after the list")
        assert asked() == []
    else:  # fetched, never taking its name
        wait_message(program)
        methods = [r["method"] for r in asked()]
        assert methods[0] == "HEAD" and "GET" in methods
        assert not (folders.download / launcher.name).exists()
        assert not (folders.download / "small.bin").exists()
    time.sleep(2)  # a program started at the end would have written its marker by now
    assert not (folders.download / "launched.txt").exists() and not harness.started_programs(program.before)


# The engine library's hash as the signed settings name it, and whether the
# served library is then used: a library of another hash never is; a
# republished one (a byte added) is, though the build pins another.
NAMED_LIBRARIES = {
    "another library's hash": (False, False),
    "a republished library's hash": (True, True),
}


@needs_key
@pytest.mark.parametrize("case", NAMED_LIBRARIES, ids=list(NAMED_LIBRARIES))
def test_the_signed_settings_choose_the_engine_library(launch, site, folders, case):
    republished, used = NAMED_LIBRARIES[case]
    library = site.root / LIBRARY
    built = library.read_bytes()
    if republished:
        library.write_bytes(built + b"\0")
    named = hashlib.sha256(library.read_bytes() if republished else b"another library").hexdigest()
    settings = site.root / SETTINGS_DOCUMENT
    settings.write_bytes(settings.read_bytes().replace(hashlib.sha256(built).hexdigest().encode(), named.encode()))
    program = launch()
    program.click(*START_BUTTON)
    if used:
        program.wait((folders.download / "launched.txt").exists, 120, "the downloaded program's marker")
        engines = [path for path in program.mapped_files() if path.lower().endswith("/tkwengine.dll")]
        assert engines and all(Path(path).read_bytes() == library.read_bytes() for path in engines), engines
        return
    wait_message(program)
    assert not [r for r in site.server.requests() if r["agent"] == "Vexil Engine"]
    assert not [path for path in program.mapped_files() if path.lower().endswith("/tkwengine.dll")]
