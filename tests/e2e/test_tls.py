"""HTTPS: certificates are checked (a bad one fails the way an unreachable
server does, with nothing written or started), redirects are followed to
other hosts but never from https:// to http://, and a server that falls
silent holds neither the transfer nor the window."""
import time

import pytest

import harness
from harness import BAD_CERTIFICATES, OTHER_TRUSTED_PORT, START_BUTTON, Site
from scripted import Scripted
from test_faults import at_top_left, file_list, serve_file, settings_text, start_shown, unplaced, wait_message

# Port of each server and whether the prefix trusts its certificate; the
# trusted one shows that each bad row fails for its certificate alone.
CERTIFICATES = {"trusted": (OTHER_TRUSTED_PORT, True),
                **{kind: (port, False) for kind, port in BAD_CERTIFICATES.items()}}
DATA = "unavailable/data.bin"  # its GET fails on the built-in server: the engine asks the mirror


def certificate(kind):
    return "localhost" if CERTIFICATES[kind][1] else kind


@pytest.fixture(scope="module")
def tls_servers(nginx):
    """One nginx with a listener per certificate, serving the tests' site."""
    listeners = {f"localhost:{port}": certificate(kind) for kind, (port, _) in CERTIFICATES.items()}
    server = harness.Nginx(harness.BUILD / "e2e-tls", listeners=listeners, site=nginx.site)
    server.start()
    yield server
    server.stop()


def nothing_arrived(folders, program):
    assert not [f for f in folders.download.glob("*") if f.stat().st_size > 0]
    assert not harness.started_programs(program.before)


@pytest.mark.parametrize("kind", CERTIFICATES)
def test_documents_are_read_only_from_a_trusted_server(launch, site, folders, tls_servers, kind):
    tls_servers.log.write_text("")
    port, trusted = CERTIFICATES[kind]
    program = launch(f"https://localhost:{port}/glenmoor/download.xml", f"https://localhost:{port}/downlist.xml")
    if trusted:
        program.wait_screen(start_shown, 30, "the start button")
        assert len(tls_servers.requests()) == (4 if harness.SIGNED else 2)  # with their signatures under a key
        return
    program.wait_screen(unplaced, 30, "the window without widgets")
    assert at_top_left(program)
    assert tls_servers.requests() == []
    nothing_arrived(folders, program)


@pytest.mark.parametrize("kind", CERTIFICATES)
def test_probes_and_transfers_reach_only_a_trusted_server(launch, site, folders, tls_servers, kind):
    """The launcher is sized on the tested server; the data file's GET is sent
    there too, as to a mirror, after the built-in server answers 503."""
    tls_servers.log.write_text("")
    port, trusted = CERTIFICATES[kind]
    settings = site.root / "glenmoor" / "download.xml"
    settings.write_bytes(settings.read_bytes().replace(f'addr="{harness.ADDRESS}"'.encode(),
                                                       f'addr="localhost:{port}"'.encode()))
    site.add_file(DATA, 96 << 10)
    launcher = f"https://localhost:{port}/{Site.LAUNCHER}"
    site.file_list(site.server.url(DATA, "https"), launcher, run=launcher)
    program = launch()
    program.wait_screen(start_shown, 30, "the start button")
    program.click(*START_BUTTON)
    if trusted:
        program.wait((folders.download / "launched.txt").exists, 60, "the downloaded program's marker")
        assert (folders.download / "data.bin").read_bytes() == (site.root / DATA).read_bytes()
        uris = [r["uri"] for r in tls_servers.requests()]
        assert uris[0] == "/" + Site.LAUNCHER and sorted(uris[1:]) == sorted(["/" + DATA, "/" + Site.LAUNCHER])
        return
    wait_message(program)
    assert tls_servers.requests() == []
    nothing_arrived(folders, program)


@pytest.mark.skipif(harness.SCHEME != "https", reason="the engine library comes over plain HTTP")
@pytest.mark.parametrize("kind", CERTIFICATES)
def test_the_engine_library_comes_only_from_a_trusted_server(launch, site, folders, kind):
    """The built-in server, where the library always comes from, stands in
    with the tested certificate; the documents come from elsewhere."""
    scripted = Scripted()
    scripted.serve("/settings.xml", settings_text(scripted.address))
    scripted.serve("/list.xml", file_list([serve_file(scripted, "one.bin", b"z" * 100)]))
    site.server.stop()
    stand_in = harness.Nginx(harness.BUILD / "e2e-tls-built-in", listeners={harness.ADDRESS: certificate(kind)},
                             site=site.root)
    stand_in.start()
    try:
        program = launch(scripted.url("/settings.xml"), scripted.url("/list.xml"))
        library = folders.user / "Documents" / "Glenmoor" / "download" / "tkwengine.dll"
        if CERTIFICATES[kind][1]:
            program.wait_screen(start_shown, 30, "the start button")
            assert library.read_bytes() == (site.root / "glenmoor" / "tkwengine.dll").read_bytes()
        else:
            wait_message(program)
            assert not library.parent.exists() or not list(library.parent.iterdir())
            assert stand_in.requests() == []
    finally:
        stand_in.stop()
        site.server.start()


# Where the redirect to plain HTTP meets the program, and what that leaves.
REDIRECTS = {"document": ("moved/downlist.xml", Site.LAUNCHER),
             "probe": ("downlist.xml", "moved/data.bin"),
             "transfer": ("downlist.xml", "moved-get/data.bin")}


@pytest.mark.parametrize("where", REDIRECTS)
def test_a_redirect_to_plain_http_is_not_followed(launch, site, folders, where):
    list_path, listed = REDIRECTS[where]
    site.add_file(listed, 64 << 10)
    site.file_list(listed, scheme="https")
    (site.root / "moved").mkdir(exist_ok=True)
    (site.root / "moved" / "downlist.xml").write_bytes((site.root / "downlist.xml").read_bytes())
    program = launch(site.server.url("glenmoor/download.xml"), site.server.url(list_path, "https"))
    if where == "document":
        program.wait_screen(unplaced, 30, "the window without widgets")
    elif where == "probe":
        wait_message(program)  # no file to download
    else:
        program.wait_screen(start_shown, 30, "the start button")
        program.click(*START_BUTTON)
        wait_message(program)
    site.server.settle()
    assert [r for r in site.server.requests() if r["scheme"] == "http" and r["uri"].startswith("/moved")] == []
    assert any(r["status"] == "302" for r in site.server.requests())
    nothing_arrived(folders, program)


@pytest.mark.skipif(harness.SCHEME != "https", reason="the built-in server is plain HTTP")
def test_everything_behind_redirects_to_another_port_arrives_byte_for_byte(launch, site, folders, tls_servers):
    """The built-in server sends every request on: a 307 with a relative
    Location, then a 302 to the trusted listener on another port. Documents,
    the engine library, the picture, the probes, the transfers (a resumed one
    among them) and the mirrors all arrive; a file that redirects to itself
    is left out of the list."""
    site.add_file("slow/big.bin", 1536 << 10)
    site.add_file("loop/x.bin", 1000)
    site.file_list(Site.LAUNCHER, "slow/big.bin", "loop/x.bin")
    tls_servers.log.write_text("")
    site.server.stop()
    stand_in = harness.Nginx(harness.BUILD / "e2e-redirects", listeners={harness.ADDRESS: "localhost"},
                             site=site.root, locations=f"""
    location / {{ absolute_redirect off; return 307 /via$request_uri; }}
    location /via/ {{ rewrite ^/via(/.*)$ https://localhost:{OTHER_TRUSTED_PORT}$1 redirect; }}
    location /loop/ {{ return 302 $request_uri; }}""")
    stand_in.start()
    try:
        program = launch()
        program.wait_screen(start_shown, 30, "the start button")
        program.click(*START_BUTTON)
        part = folders.download / "big.bin.vxpart"
        program.wait(lambda: part.exists() and part.stat().st_size > 128 << 10, 60, "part of the file")
        program.click(*START_BUTTON)  # pause, then go on from there
        program.move_to(20, 20)
        program.wait_screen(start_shown, 30, "the start button after the pause")
        program.click(*START_BUTTON)
        program.wait((folders.download / "launched.txt").exists, 120, "the downloaded program's marker")
        for name, data in site.listed().items():
            if name != "x.bin":
                assert (folders.download / name).read_bytes() == data, name
        assert not (folders.download / "x.bin").exists()
        asked = tls_servers.requests()
        uris = {(r["method"], r["uri"]) for r in asked}
        assert {("GET", "/glenmoor/download.xml"), ("GET", "/glenmoor/tkwengine.dll"), ("GET", "/downlist.xml"),
                ("HEAD", "/slow/big.bin"), ("HEAD", "/" + Site.LAUNCHER)} <= uris
        assert any(r["uri"] == "/slow/big.bin" and r["range"].startswith("bytes=") for r in asked)  # the resume
        assert not [r for r in asked if r["uri"].startswith("/loop")]
        assert {r["status"] for r in stand_in.requests()} <= {"302", "307"}
    finally:
        stand_in.stop()
        site.server.start()


STALL_PORT = harness.PORT + 7  # after the proxy's


@pytest.mark.skipif(harness.SCHEME != "https", reason="the built-in server is plain HTTP")
def test_a_server_that_falls_silent_never_holds_the_window(launch, site, folders):
    """A transfer whose server stops mid-file, then holds every new TLS
    connection without a word: a pause answers within 1 s, the error comes
    within 45 s, the close within 2 s, and the next run resumes the file."""
    relay = harness.StallingRelay(f"localhost:{STALL_PORT}", ("127.0.0.1", harness.PORT))
    settings = site.root / "glenmoor" / "download.xml"
    settings.write_bytes(settings.read_bytes().replace(f'addr="{harness.ADDRESS}"'.encode(),
                                                       f'addr="localhost:{STALL_PORT}"'.encode()))
    site.add_file("paced/big.bin", 6 << 20)
    site.file_list(f"https://localhost:{STALL_PORT}/paced/big.bin", run="")
    part = folders.download / "big.bin.vxpart"
    try:
        program = launch()
        relay.stall_after(1 << 20)
        program.click(*START_BUTTON)
        program.wait(lambda: part.exists() and part.stat().st_size > 512 << 10, 60, "part of the file")
        time.sleep(2)  # stalled by now
        began = time.monotonic()
        program.click(*START_BUTTON)
        program.move_to(20, 20)
        program.wait_screen(start_shown, 5, "the start button after the pause")
        assert time.monotonic() - began < 1.5  # the screenshot itself takes a moment
        began = time.monotonic()
        program.click(*START_BUTTON)  # into a TLS handshake that never ends
        wait_message(program, timeout=60)
        assert time.monotonic() - began < 45
        program.kill()

        relay.go_on()
        program = launch()
        relay.stall_after(256 << 10)
        program.click(*START_BUTTON)
        time.sleep(4)  # stalled by now
        began = time.monotonic()
        program.close_by_system()
        assert program.wait_exit() == 0
        assert time.monotonic() - began < 2.5

        relay.go_on()
        program = launch()
        program.click(*START_BUTTON)
        target = folders.download / "big.bin"
        program.wait(lambda: target.exists(), 60, "the whole file")
        assert target.read_bytes() == site.listed()["big.bin"]
        site.server.settle()
        last = [r for r in site.server.requests() if r["uri"] == "/paced/big.bin" and r["method"] == "GET"][-1]
        assert last["range"].startswith("bytes=") and int(last["range"][6:].split("-")[0]) > 0
    finally:
        relay.close()
