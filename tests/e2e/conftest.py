"""Fixtures of the end-to-end suite: one nginx for the session, a fresh site
and fresh user folders per test, and every program killed after its test."""
import pytest

import harness


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
    window; kills what is left of every run at the end of the test."""
    runs = []

    def start(*urls):
        program = harness.Program(*urls)
        runs.append(program)
        program.wait_window()
        return program

    yield start
    for program in runs:
        program.kill()
    site.server.settle()
