"""Fixtures of the end-to-end suite: one nginx for the session, a fresh site
and fresh user folders per test, and every program killed after its test."""
import pytest

import harness


def pytest_configure(config):
    """Under qemu-user a test whose program crashed, or hung before showing
    its window, gets two more runs (pytest-rerunfailures); any other failure
    counts at once."""
    if harness.UNDER_QEMU:
        config.option.reruns = 2
        config.option.only_rerun = ["the program crashed", "waiting for the program's window"]


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """A failed test's report carries the server's log and names a picture
    of the screen as it was (taken before the program is killed)."""
    outcome = yield
    report = outcome.get_result()
    server = item.funcargs.get("nginx")
    if report.when != "call" or not report.failed or server is None:
        return
    picture = server.dir / f"{item.name}.png"
    harness.save_screen(picture)
    report.sections.append(("nginx access log", server.log.read_text(encoding="latin-1")))
    report.sections.append(("screen", str(picture)))


@pytest.fixture(scope="session")
def nginx():
    server = harness.Nginx(harness.BUILD / "e2e")
    server.start()
    yield server
    server.stop()


@pytest.fixture
def site(nginx):
    """A fresh copy of the demo site, served as the built-in server."""
    nginx.fresh_site(harness.BUILD / "demo-site")
    return harness.Site(nginx)


@pytest.fixture
def folders():
    user = harness.UserFolders()
    user.reset()
    return user


@pytest.fixture
def launch(site, folders):
    """Starts the program (with optional command-line URLs) and waits for its
    window, the documents a test changed signed first (unless signed_as_is);
    kills what is left of every run at the end of the test."""
    runs = []

    def start(*urls, signed_as_is=False, **options):
        if not signed_as_is:
            site.sign_documents()
        program = harness.Program(*urls, **options)
        runs.append(program)
        program.wait_window()
        return program

    yield start
    for program in runs:
        program.kill()
    site.server.settle()


def pytest_terminal_summary(terminalreporter):
    """The fault suite's count, which tools/test.sh prints at the end of a run."""
    reports = [r for key in ("passed", "failed") for r in terminalreporter.stats.get(key, [])
               if r.when == "call" and "test_faults.py" in r.nodeid]
    if not reports:
        return
    import test_faults
    passed = [r for r in reports if r.passed]
    hostile = [r for r in reports if "hostile" in r.nodeid]
    faults = len(reports) - len(hostile)
    inputs = len(test_faults.HOSTILE_INPUTS) if hostile else 0
    summary = (f"fault suite: {len(passed)} of {len(reports)} runs passed, staging {faults} faults "
               f"and {inputs} hostile inputs against the whole program\n")
    if test_faults.STARTUP_SECONDS:
        summary += "start-up against a silent server, launch to window (goal 15 s): " + ", ".join(
            f"{name} {seconds:.1f} s" for name, seconds in test_faults.STARTUP_SECONDS.items()) + "\n"
    (harness.BUILD / "fault-suite.txt").write_text(summary)
    for line in summary.splitlines():
        terminalreporter.write_line(line)
