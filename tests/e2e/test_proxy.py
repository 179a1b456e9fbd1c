"""Behind a proxy set the way Windows keeps it (Internet Settings in the
prefix's registry), every request of the program and the engine module goes
through it: plain HTTP as proxied requests, HTTPS through CONNECT. With the
proxy down, requests fail the way an unreachable server does."""
import pytest

import harness
from harness import PROXY_PORT, START_BUTTON, Site
from test_faults import at_top_left, start_shown, unplaced

SMALL = "glenmoor/client/small.bin"


@pytest.fixture
def proxy_set():
    harness.use_proxy(f"127.0.0.1:{PROXY_PORT}")
    yield
    harness.use_proxy(None)


@pytest.fixture
def tinyproxy(proxy_set):
    proxy = harness.Tinyproxy(harness.BUILD / "e2e-proxy")
    proxy.start()
    yield proxy
    proxy.stop()


@pytest.mark.parametrize("scheme", ["http", "https"])
def test_a_whole_download_goes_through_the_proxy(launch, site, folders, tinyproxy, scheme):
    site.add_file(SMALL, 64 << 10)
    site.file_list(Site.LAUNCHER, SMALL, scheme=scheme)
    program = launch(site.server.url("glenmoor/download.xml", scheme), site.server.url("downlist.xml", scheme))
    program.wait_screen(start_shown, 30, "the start button")
    program.click(*START_BUTTON)
    program.wait((folders.download / "launched.txt").exists, 60, "the downloaded program's marker")
    for name, data in site.listed().items():
        assert (folders.download / name).read_bytes() == data, name
    site.server.settle()
    served = site.server.requests()
    # Documents (and their signatures under a key), picture, engine library,
    # probes and files; the settings name the picture on the built-in
    # server, where the engine library always is.
    assert len(served) == (10 if harness.SIGNED else 8)
    plain = [r for r in served if r["scheme"] == "http"]
    assert all("tinyproxy" in r["via"] for r in plain)
    tunnels = [line for line in tinyproxy.requests() if line.startswith("CONNECT ")]
    proxied = [line for line in tinyproxy.requests() if not line.startswith("CONNECT ")]
    # Files are fetched ahead, so the two logs need not take them in one order.
    assert sorted(proxied) == sorted(f'{r["method"]} http://{r["host"]}{r["uri"]} {r["protocol"]}' for r in plain)
    assert len(tunnels) == len(served) - len(plain)
    built_in = ("/glenmoor/tkwengine.dll", "/glenmoor/background.jpg")
    assert all(r["scheme"] == (harness.SCHEME if r["uri"] in built_in else scheme) for r in served)


def test_with_the_proxy_down_nothing_is_reached(launch, site, folders, proxy_set):
    program = launch()
    program.wait_screen(unplaced, 30, "the window without widgets")
    assert at_top_left(program)
    assert site.server.requests() == []
    assert not folders.download.exists()
