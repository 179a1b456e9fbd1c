"""HTTPS: certificates are checked (a bad one fails the way an unreachable
server does, with nothing written or started), and a redirect from https://
to http:// is not followed."""
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
        assert len(tls_servers.requests()) == 2
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
        assert [r["uri"] for r in tls_servers.requests()] == ["/" + Site.LAUNCHER, "/" + DATA, "/" + Site.LAUNCHER]
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
