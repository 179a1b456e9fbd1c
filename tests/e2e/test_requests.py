"""The requests nginx sees: start-up documents, one HEAD per listed file,
then the engine's transfers, in that order (the list's HEADs among
themselves in any order, and the transfers too: files are fetched ahead)."""
import harness
from harness import START_BUTTON, Site

SMALL = "glenmoor/client/small.bin"


def start_up():
    return [("GET", "/glenmoor/download.xml", "HTTP/1.1", "Glenmoor ReadXML"),
            ("GET", "/glenmoor/tkwengine.dll", "HTTP/1.1", "Glenmoor EngineDown"),
            ("GET", "/glenmoor/background.jpg", "HTTP/1.1", "Glenmoor ImgDown")]


def probes(paths, agent):
    return [("HEAD", "/" + path, "HTTP/1.0", agent) for path in paths]


def transfers(paths):
    return [("GET", "/" + path, "HTTP/1.1", "Vexil Engine") for path in paths]


def seen(server):
    """The requests in the log's order, but for the list's HEADs: sent several
    at a time, they are logged as they are answered, so each run of them is
    sorted."""
    rows = [(r["method"], r["uri"], r["protocol"], r["agent"]) for r in server.requests()]
    ordered, run = [], []
    for row in rows + [None]:
        if row and row[0] == "HEAD" and row[3] == "Glenmoor FileXml":
            run.append(row)
            continue
        ordered += sorted(run) + ([row] if row else [])
        run = []
    return ordered


def seen_at_least(program, server, count, what):
    """The log once it holds count requests (nginx logs a request after answering it)."""
    return program.wait(lambda: len(seen(server)) >= count and seen(server), 30, what)


def check_headers(server):
    for request in server.requests():
        assert request["host"] == server.address, request
        assert request["scheme"] == harness.SCHEME and (request["tls"] != "-") == (harness.SCHEME == "https"), request
        assert request["range"] == "-", request
        if request["method"] == "HEAD":
            assert (request["connection"], request["accept"]) == ("Close", "-"), request


def test_start_up_probes_every_listed_file_then_the_engine_fetches_them(launch, site, folders):
    site.add_file(SMALL, 64 << 10)
    site.file_list(Site.LAUNCHER, SMALL)
    program = launch()
    before = start_up() + [("GET", "/downlist.xml", "HTTP/1.1", "Glenmoor ReadXML")] + \
        sorted(probes([Site.LAUNCHER, SMALL], "Glenmoor FileXml"))
    assert seen_at_least(program, site.server, len(before), "the start-up requests") == before
    program.click(*START_BUTTON)
    seen_at_least(program, site.server, len(before) + 2, "the engine's two requests")
    program.wait((folders.download / "launched.txt").exists, 60, "the downloaded program's marker")
    assert seen(site.server)[:len(before)] == before
    assert sorted(seen(site.server)[len(before):]) == sorted(transfers([Site.LAUNCHER, SMALL]))
    check_headers(site.server)


def test_a_file_named_on_the_command_line_is_probed_and_fetched_first(launch, site):
    site.add_file(SMALL, 64 << 10)
    site.file_list(Site.LAUNCHER)
    program = launch(site.server.url("glenmoor/download.xml"), site.server.url(SMALL))
    before = start_up() + probes([SMALL], "Glenmoor SetXml") + \
        [("GET", "/downlist.xml", "HTTP/1.1", "Glenmoor ReadXML")] + probes([Site.LAUNCHER], "Glenmoor FileXml")
    assert seen_at_least(program, site.server, len(before), "the start-up requests") == before
    program.click(*START_BUTTON)
    seen_at_least(program, site.server, len(before) + 2, "the engine's two requests")
    assert seen(site.server)[:len(before)] == before
    assert sorted(seen(site.server)[len(before):]) == sorted(transfers([SMALL, Site.LAUNCHER]))
    check_headers(site.server)
