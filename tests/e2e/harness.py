"""Drives the real program under Wine on an X display, against nginx.

Meant to be reused by every suite that runs the whole program: the web
server, the program's process and window, pointer input, screenshots and
the server's request log. Needs DISPLAY, WINEPREFIX and VEXIL_BUILD (as set
up by tools/test.sh).
"""
import grp
import hashlib
import io
import os
import pwd
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.request
from pathlib import Path

from PIL import Image

SOURCE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("VEXIL_BUILD", SOURCE / "build"))
sys.path.insert(0, str(SOURCE / "tools"))
import openssl_signing  # noqa: E402  (tools/ is not a package)
PREFIX = Path(os.environ.get("WINEPREFIX", BUILD / "wineprefix"))
CLIENT_SIZE = (544, 340)
# No 32-bit kernel support: Wine runs under qemu-user, which can crash it (see README).
UNDER_QEMU = Path("/proc/sys/fs/binfmt_misc/qemu-i386").exists()
WINDOW_CLASS = "VAZarodezuro"

# One nginx log line per request; the fields the tests look at.
LOG_FIELDS = ("method", "uri", "protocol", "agent", "connection", "range", "accept", "host", "status", "sent",
              "scheme", "tls", "via", "if_range")
LOG_FORMAT = "|".join(("$request_method", "$request_uri", "$server_protocol", "$http_user_agent",
                       "$http_connection", "$http_range", "$http_accept", "$http_host", "$status",
                       "$body_bytes_sent", "$scheme", "$ssl_protocol", "$http_via", "$http_if_range"))


def wait_for(condition, timeout, what, interval=0.1):
    """Polls condition until it gives a true value, which is returned."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def cache_value(name):
    """A string of the build's CMake cache."""
    for line in (BUILD / "CMakeCache.txt").read_text().splitlines():
        if line.startswith(name + ":STRING="):
            return line.split("=", 1)[1]
    raise RuntimeError(f"{name} missing from the CMake cache")


def built_in_url():
    """The built-in server's URL, scheme included (http:// when the build names none)."""
    server = cache_value("VEXIL_SERVER")
    return server if "://" in server else "http://" + server


SCHEME, ADDRESS = built_in_url().split("://", 1)
PORT = int(ADDRESS.rsplit(":", 1)[1]) if ":" in ADDRESS else {"http": 80, "https": 443}[SCHEME]
TLS = BUILD / "tls"  # the test authority and its certificates (tools/make-test-authority.sh)
# The ports after the built-in server's, as tools/session.sh and the tests use them.
BAD_CERTIFICATES = {"untrusted": PORT + 2, "wrong-name": PORT + 3, "expired": PORT + 4}
OTHER_TRUSTED_PORT = PORT + 5
PROXY_PORT = PORT + 6
LONG_LINK_PORT = PORT + 7


# Publisher signatures ------------------------------------------------------------
# With a key pinned ("own": the build tree's), every document the program reads
# is signed; the tests sign what they serve or change with the tree's key.
SIGNED = cache_value("VEXIL_PUBLISHER_KEYS") != ""
TREE_KEY = BUILD / "keys" / "publisher.pem"
DEMO_SITE = BUILD / "demo-site"
# Under a key a listed file without a hash is left out: a file no test serves
# is listed with this one (of no bytes).
NO_BYTES_HASH = hashlib.sha256(b"").hexdigest()


def utc_after(seconds):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() + seconds))


def named_freshness(data):
    """The version and expires that a document's Download tag names."""
    tag = openssl_signing.START_TAG.search(data)
    found = {}
    for name in ("version", "expires"):
        value = re.search(rb"\s" + name.encode() + rb"\s*=\s*[\"']([^\"']*)", tag.group(0)) if tag else None
        if value:
            found[name] = value.group(1).decode()
    return found


def demo_version():
    return named_freshness((DEMO_SITE / "downlist.xml").read_bytes())["version"]


def signed(data, key=TREE_KEY, version=None, expires=None):
    """(document, signature line): with the version and expiry given, else
    those the document names, else the demo's version and a day ahead."""
    named = named_freshness(data)
    return openssl_signing.sign_bytes(key, data, version or named.get("version") or demo_version(),
                                      expires or named.get("expires") or utc_after(86400))


def signature_location(path):
    """A document's signature file, as the program finds it: ".sig" after the path, before any query."""
    head, mark, query = path.partition("?")
    return head + ".sig" + mark + query


def sign_file(document, **freshness):
    data, line = signed(Path(document).read_bytes(), **freshness)
    Path(document).write_bytes(data)
    openssl_signing.signature_path(document).write_bytes(line)


def address_of(scheme):
    """Where nginx serves a scheme: the built-in server's own on its address,
    the other one on the next port, as "localhost" (the test certificate's name)."""
    return ADDRESS if scheme == SCHEME else f"localhost:{PORT + 1}"


def nginx_user():
    """Started as root, nginx's workers would run as nobody, who cannot read
    a clone in a private home folder: they run as the invoking user."""
    if os.geteuid() != 0:
        return ""
    return f"user {pwd.getpwuid(os.getuid()).pw_name} {grp.getgrgid(os.getgid()).gr_name};"


class Nginx:
    """nginx serving a site folder that tests may replace between runs, by
    default over both schemes (see address_of), HTTPS with the test
    authority's certificate; listeners maps an address to the name of its
    certificate, None for plain HTTP. /slow/ is throttled, but for ranges: a
    transfer there leaves seconds to act on it, a resumed one is quick;
    /paced/ is throttled to 2 MB/s, ranges too.
    Over HTTPS, /moved/ redirects to the same path over plain HTTP and
    /moved-get/ does so for GET (not HEAD); on the session's HTTPS port,
    /unavailable/ answers GET with 503 (mirrors serve it)."""

    def __init__(self, work, rate="128k", listeners=None, site=None, locations=None):
        self.dir = Path(work)
        self.site = Path(site) if site else self.dir / "site"
        self.log = self.dir / "access.log"
        self.address = ADDRESS
        self.rate = rate
        self.listeners = listeners or {address_of("http"): None, address_of("https"): "localhost"}
        self.locations = locations  # in place of the usual ones

    def _server_block(self, address, certificate):
        tls = (f"ssl; ssl_certificate {TLS}/{certificate}.pem; ssl_certificate_key {TLS}/{certificate}.key;"
               if certificate else ";")
        return f"""  server {{
    listen {address} {tls}
    root {self.site};
{self.locations or self._usual_locations()}
  }}
"""

    def _usual_locations(self):
        return f"""    location /slow/ {{ if ($http_range = "") {{ set $limit_rate {self.rate}; }} }}
    location /paced/ {{ limit_rate 2m; }}
    location /moved/ {{ if ($scheme = https) {{ return 302 http://{address_of("http")}$uri; }} }}
    location /moved-get/ {{ if ($e2e_secure_get) {{ return 302 http://{address_of("http")}$uri; }} }}
    location /unavailable/ {{ if ($e2e_unavailable) {{ return 503; }} }}
    location = /e2e-status {{ stub_status; access_log off; }}"""

    def start(self):
        self.dir.mkdir(parents=True, exist_ok=True)
        (self.dir / "logs").mkdir(exist_ok=True)
        self.site.mkdir(exist_ok=True)
        self.log.write_text("")
        conf = self.dir / "nginx.conf"
        conf.write_text(f"""{nginx_user()}
worker_processes 1;
pid {self.dir}/nginx.pid;
error_log {self.dir}/logs/error.log;
events {{ worker_connections 64; }}
http {{
  log_format e2e '{LOG_FORMAT}';
  access_log {self.log} e2e;
  sendfile on;
  keepalive_timeout 0;
  types {{ application/xml xml; image/jpeg jpg; }}
  default_type application/octet-stream;
  map "$scheme $request_method" $e2e_secure_get {{ "https GET" 1; default 0; }}
  map "$server_port $request_method" $e2e_unavailable {{ "{address_of("https").rsplit(":", 1)[1]} GET" 1; default 0; }}
{"".join(self._server_block(address, name) for address, name in self.listeners.items())}}}
""")
        self.stop()  # one left behind by an interrupted run
        started = subprocess.run(["nginx", "-p", str(self.dir), "-c", str(conf)], capture_output=True, text=True)
        assert started.returncode == 0, f"nginx did not start: {started.stderr}"

    def stop(self):
        pid_file = self.dir / "nginx.pid"
        if pid_file.exists():
            try:
                os.kill(int(pid_file.read_text()), signal.SIGQUIT)
                wait_for(lambda: not pid_file.exists(), 10, "nginx to stop")
            except ProcessLookupError:
                pid_file.unlink()

    def active(self):
        """Connections open now, the asking one among them."""
        with urllib.request.urlopen(self.url("e2e-status", "http"), timeout=5) as answer:
            return int(answer.read().split()[2])  # "Active connections: N"

    def settle(self):
        """Waits until no connection but the asking one is open, so that a
        transfer cut off by a killed program is logged before the next test."""
        wait_for(lambda: self.active() == 1, 30, "nginx without open connections", interval=0.2)

    def fresh_site(self, source):
        """Replaces the served site with a copy of source; empties the log."""
        shutil.rmtree(self.site, ignore_errors=True)
        shutil.copytree(source, self.site)
        self.log.write_text("")

    def requests(self):
        lines = self.log.read_text(encoding="latin-1").splitlines()
        return [dict(zip(LOG_FIELDS, line.split("|"))) for line in lines]

    def url(self, path, scheme=SCHEME):
        return f"{scheme}://{address_of(scheme)}/{path.lstrip('/')}"


class SilentServer:
    """Accepts connections on address and never answers them."""

    def __init__(self, address):
        host, port = address.rsplit(":", 1)
        self.listener = socket.create_server((host, int(port)))
        self.held = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                self.held.append(self.listener.accept()[0])
            except OSError:
                return

    def close(self):
        self.listener.shutdown(socket.SHUT_RDWR)  # wakes the blocked accept, which frees the port
        self.listener.close()
        for connection in self.held:
            connection.close()


class StallingRelay(SilentServer):
    """Passes connections on address to upstream. After stall_after(n), once n
    more bytes of answers have gone back, it falls silent: the connection
    stays open and says nothing more, and later ones are held without a word
    (a TLS handshake never completes). go_on() makes it a plain relay again."""

    def __init__(self, address, upstream):
        self.upstream = upstream
        self.budget = None
        self.lock = threading.Lock()
        super().__init__(address)

    def stall_after(self, count):
        with self.lock:
            self.budget = count

    def _accept(self):
        while True:
            try:
                client = self.listener.accept()[0]
            except OSError:
                return
            self.held.append(client)
            with self.lock:
                silent = self.budget == 0
            if not silent:
                server = socket.create_connection(self.upstream)
                self.held.append(server)
                threading.Thread(target=self._pass, args=(client, server, False), daemon=True).start()
                threading.Thread(target=self._pass, args=(server, client, True), daemon=True).start()

    def _pass(self, source, sink, counted):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    sink.shutdown(socket.SHUT_WR)
                    return
                if counted:
                    with self.lock:
                        if self.budget is not None:
                            data = data[:self.budget]
                            self.budget -= len(data)
                if not data:
                    return  # silent from here: the connection stays open
                sink.sendall(data)
        except OSError:
            return

    def go_on(self):
        with self.lock:
            self.budget = None


class LongLink:
    """A link with a round trip of 2 x delay_ms to an upstream address, on
    LONG_LINK_PORT (bench/latency_relay.py, which the benchmarks use too);
    with a rate, passing each connection no more bytes a second than that."""

    def __init__(self, upstream, delay_ms=50, rate=0):
        host, port = upstream.rsplit(":", 1)
        self.address = f"localhost:{LONG_LINK_PORT}"
        self.process = subprocess.Popen([sys.executable, str(SOURCE / "bench" / "latency_relay.py"),
                                         str(LONG_LINK_PORT), "127.0.0.1" if host == "localhost" else host, port,
                                         str(delay_ms), str(rate)])
        wait_for(lambda: listening(("127.0.0.1", LONG_LINK_PORT)), 10, "the long link")

    def close(self):
        self.process.kill()
        self.process.wait()


class Site:
    """The served copy of the demo site, which a test may change."""

    LAUNCHER = "glenmoor/client/GlenmoorLauncher.exe"

    def __init__(self, server):
        self.server = server
        self.root = server.site

    def add_file(self, path, size):
        """A file of fixed pseudo-random bytes."""
        target = self.root / path
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(random.Random(path).randbytes(size))
        return target

    def file_list(self, *paths, run=LAUNCHER, scheme=SCHEME, hashed=False):
        """Replaces the file-list document with the given files, in order;
        a path may be a whole URL (its path is taken as the site's). hashed,
        and under a key always, gives each file its sha256 (of no bytes for
        a file the site lacks)."""
        lines = ['<?xml version="1.0" encoding="euc-kr"?>', "<Download>"]
        for path in paths:
            flag = ' run="true"' if path == run else ""
            if hashed or SIGNED:
                flag += f' sha256="{self.hash_of(path)}"'
            url = path if "://" in path else self.server.url(path, scheme)
            lines.append(f'  <File url="{url}"{flag}/>')
        lines.append("</Download>")
        (self.root / "downlist.xml").write_bytes("\n".join(lines).encode("cp949"))

    def hash_of(self, path):
        site_path = self.root / (path.split("://", 1)[1].split("/", 1)[1] if "://" in path else path)
        return hashlib.sha256(site_path.read_bytes()).hexdigest() if site_path.is_file() else NO_BYTES_HASH

    def sign_documents(self):
        """Under a key, signs each document a test changed (one of its own,
        or one of the demo's), with the version and expiry it names, else the
        demo's version and a day ahead; the demo's own stay as the build
        signed them."""
        if not SIGNED:
            return
        for document in self.root.rglob("*.xml"):
            demo = DEMO_SITE / document.relative_to(self.root)
            signature = openssl_signing.signature_path(document)
            if (demo.is_file() and demo.read_bytes() == document.read_bytes() and signature.is_file()
                    and signature.read_bytes() == openssl_signing.signature_path(demo).read_bytes()):
                continue
            sign_file(document)

    def listed(self):
        """Local names and contents of the files the document lists."""
        text = (self.root / "downlist.xml").read_text(encoding="cp949")
        urls = [part.split('"', 1)[0] for part in text.split('url="')[1:]]
        paths = [url.split("://", 1)[1].split("/", 1)[1] for url in urls]
        return {Path(path).name: (self.root / path).read_bytes() for path in paths}


class UserFolders:
    """The prefix's folders the program writes to."""

    def __init__(self):
        # Wine names the profile after the Unix user.
        self.user = PREFIX / "drive_c" / "users" / pwd.getpwuid(os.getuid()).pw_name
        self.download = self.user / "AppData" / "Roaming" / "GlenmoorClient"

    def reset(self):
        """No earlier download, engine module or background picture."""
        shutil.rmtree(self.download, ignore_errors=True)
        shutil.rmtree(self.user / "Documents" / "Glenmoor", ignore_errors=True)
        for program_files in (PREFIX / "drive_c").glob("Program Files*"):
            shutil.rmtree(program_files / "Glenmoor", ignore_errors=True)


def save_screen(path):
    subprocess.run(["import", "-window", "root", str(path)], capture_output=True, timeout=30)


def x_tool(*args, timeout=10):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True,
                          timeout=timeout).stdout


def window_geometry(window):
    """(x, y, width, height, viewable) of an X window, or None when gone."""
    result = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True, timeout=10)
    if result.returncode != 0:
        return None
    info = {}
    for line in result.stdout.splitlines():
        key, _, value = line.strip().partition(":")
        info[key] = value.strip()
    return (int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"]),
            int(info["Width"]), int(info["Height"]), info.get("Map State") == "IsViewable")


def windows_path(path):
    """The name a program in the prefix knows a file of drive C by."""
    return "C:\\" + str(Path(path).relative_to(PREFIX / "drive_c")).replace("/", "\\")


def wine_command(*args):
    """The command line that runs a Windows program the way tools/wine-env.sh does."""
    return ["bash", "-c", 'source "$0/tools/wine-env.sh" && vexil_wine wine "$@"', str(SOURCE), *map(str, args)]


def publish(*args, timeout=120):
    """Runs the publisher's command (tools/vexil-publish) with these words."""
    return subprocess.run([str(SOURCE / "tools" / "vexil-publish"), *map(str, args)], capture_output=True,
                          timeout=timeout, env={**os.environ, "VEXIL_BUILD": str(BUILD)})


def run_windows_tool(*args, timeout=60):
    return subprocess.run(wine_command(*args), capture_output=True, timeout=timeout,
                          start_new_session=True).returncode


class ProgramEnded(AssertionError):
    """The program ended while a test still needed it; "crashed" when a
    signal ended it."""


class Program:
    """One run of the downloader, in a session of its own."""

    def __init__(self, *urls, exe=BUILD / "VexilDownloader.exe", cwd=None, env=None):
        self.before = set(started_programs())
        # A run killed just before may leave its window listed for a moment.
        self.earlier_windows = set(x_tool("search", "--classname", "vexildownloader").split())
        self.process = subprocess.Popen(wine_command(exe, *urls), cwd=cwd, env={**os.environ, **(env or {})},
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        start_new_session=True)
        self.window = None

    # Window and input -----------------------------------------------------
    def wait(self, condition, timeout, what, interval=0.1):
        """wait_for, failing at once when the program ends meanwhile."""
        def check():
            code = self.process.poll()
            if code is not None:
                raise ProgramEnded(f"the program {ending(code)} (exit code {code}) while a test waited for {what}")
            return condition()
        return wait_for(check, timeout, what, interval)

    def wait_window(self, timeout=90):
        def find():
            for window in set(x_tool("search", "--classname", "vexildownloader").split()) - self.earlier_windows:
                geometry = window_geometry(window)
                if geometry and geometry[2:4] == CLIENT_SIZE and geometry[4]:
                    return window
            return None
        self.window = self.wait(find, timeout, "the program's window", interval=0.3)
        return self.window

    def origin(self):
        geometry = window_geometry(self.window)
        assert geometry, "the program's window is gone"
        return geometry[0], geometry[1]

    def move_to(self, x, y):
        ox, oy = self.origin()
        x_tool("mousemove", ox + x, oy + y)

    def click(self, x, y):
        self.move_to(x, y)
        x_tool("click", 1)

    def press(self, x, y):
        self.move_to(x, y)
        x_tool("mousedown", 1)

    def release(self):
        x_tool("mouseup", 1)

    def close_by_system(self):
        """The close box's way: WM_SYSCOMMAND SC_CLOSE."""
        assert run_windows_tool(BUILD / "tests" / "window_ctl.exe", "close", WINDOW_CLASS) == 0

    # Screen -----------------------------------------------------------------
    def screenshot(self):
        """The client area as the screen shows it."""
        x, y = self.origin()
        png = subprocess.run(["import", "-window", "root", "-crop", f"{CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}+{x}+{y}",
                              "+repage", "png:-"], capture_output=True, check=True, timeout=30).stdout
        return Image.open(io.BytesIO(png)).convert("RGB")

    def wait_screen(self, condition, timeout, what):
        """Waits until condition(screenshot) holds; returns that screenshot."""
        def check():
            shot = self.screenshot()
            return shot if condition(shot) else None
        return self.wait(check, timeout, what, interval=0.3)

    # Process ----------------------------------------------------------------
    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=30):
        """Waits for the program to end by itself and returns its exit code; a
        crash is raised as ProgramEnded."""
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program did not end within {timeout} s") from None
        if ending(code) == "crashed":
            raise ProgramEnded(f"the program crashed (exit code {code}) instead of ending")
        return code

    def mapped_files(self):
        """The files the program's process maps: its modules among them."""
        files = set()
        for pid in session_members(self.process.pid):
            try:
                if b"VexilDownloader.exe" not in (Path("/proc") / str(pid) / "cmdline").read_bytes():
                    continue
                maps = (Path("/proc") / str(pid) / "maps").read_text()
            except OSError:
                continue
            files.update(line.split(None, 5)[5] for line in maps.splitlines() if len(line.split(None, 5)) == 6)
        return files

    def kill(self):
        """Ends the program and whatever it started: its session, and the
        downloaded programs it ran (Wine gives those sessions of their own)."""
        for pid in session_members(self.process.pid) + started_programs(self.before):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            pass


def ending(code):
    """How a process ended, from the exit code its shell reports."""
    return "crashed" if code >= 128 or code < 0 else "ended"


def session_members(session):
    """Processes of the given session id (the program and its children)."""
    members = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[3]) == session:
            members.append(int(entry.name))
    return members


def started_programs(known=()):
    """Processes of our prefix running a program from the user's folders,
    leaving out those in known."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) in known:
            continue
        try:
            command = (entry / "cmdline").read_bytes()
            environment = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if b"C:\\users\\" in command and f"WINEPREFIX={PREFIX}".encode() in environment:
            found.append(int(entry.name))
    return found


# Pixels -----------------------------------------------------------------------
SKIN = SOURCE / "res" / "skin.bmp"


def skin_cell(x, y, width, height):
    with Image.open(SKIN) as sheet:
        return sheet.convert("RGB").crop((x, y, x + width, y + height))


def difference(a, b):
    """Mean absolute difference per channel of two images of one size."""
    assert a.size == b.size
    total = sum(abs(p - q) for pa, pb in zip(a.getdata(), b.getdata()) for p, q in zip(pa, pb))
    return total / (a.size[0] * a.size[1] * 3)


def region(shot, x, y, width, height):
    return shot.crop((x, y, x + width, y + height))


def look(shot, rect, candidates):
    """Name of the skin cell that the given rectangle of the screen shows, or
    None when it matches none (a drawn cell differs by well under 1 on average,
    another cell by 10 and more)."""
    part = region(shot, *rect)
    scores = {name: difference(part, skin_cell(*candidates[name], rect[2], rect[3])) for name in candidates}
    best = min(scores, key=scores.get)
    return best if scores[best] < 4 else None


def red_pixels(shot, x, y, width, height):
    part = region(shot, x, y, width, height)
    return sum(1 for r, g, b in part.getdata() if r > 200 and g < 60 and b < 60)


# Places in the client area and the skin cells that may show there.
START_PLACE = (390, 280, 60, 25)
START_LOOKS = {"start": (0, 194), "start hover": (62, 194), "start down": (124, 194),
               "pause": (0, 221), "pause hover": (62, 221), "pause down": (124, 221)}
CLOSE_PLACE = (460, 280, 60, 25)
CLOSE_LOOKS = {"close": (0, 248), "close hover": (62, 248), "close down": (124, 248), "greyed": (186, 248)}
FOLDER_PLACE = (468, 250, 50, 16)
FOLDER_LOOKS = {"folder": (0, 176), "folder down": (52, 176), "greyed": (104, 176)}
BOX_PLACE = (165, 284, 15, 15)
BOX_LOOKS = {"empty": (156, 176), "ticked": (366, 176), "message icon": (190, 176)}
MESSAGE_LINE = (185, 284, 300, 16)
START_BUTTON = (420, 292)
CLOSE_BUTTON = (490, 292)
FOLDER_BUTTON = (493, 258)
CHECK_BOX = (172, 291)


# Proxy ------------------------------------------------------------------------
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


def use_proxy(address):
    """Sets the prefix's proxy the way Windows keeps it; None turns it off."""
    values = [("ProxyEnable", "REG_DWORD", "1" if address else "0")]
    if address:
        values.append(("ProxyServer", "REG_SZ", address))
    for name, kind, data in values:
        assert run_windows_tool("reg", "add", INTERNET_SETTINGS, "/v", name, "/t", kind, "/d", data, "/f") == 0


def listening(address):
    try:
        socket.create_connection(address, timeout=1).close()
        return True
    except OSError:
        return False


class Tinyproxy:
    """Debian's tinyproxy on PROXY_PORT, tunnelling HTTPS to nginx's ports."""

    def __init__(self, work):
        self.dir = Path(work)
        self.log = self.dir / "tinyproxy.log"
        self.process = None

    def start(self):
        self.dir.mkdir(parents=True, exist_ok=True)
        self.log.write_text("")
        conf = self.dir / "tinyproxy.conf"
        conf.write_text(f"""Port {PROXY_PORT}
Listen 127.0.0.1
Allow 127.0.0.1
Timeout 30
MaxClients 20
LogFile "{self.log}"
LogLevel Connect
ConnectPort {PORT}
ConnectPort {PORT + 1}
""")
        self.process = subprocess.Popen(["tinyproxy", "-d", "-c", str(conf)], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        wait_for(lambda: self.process.poll() is not None or listening(("127.0.0.1", PROXY_PORT)), 10,
                 "tinyproxy to listen")
        assert self.process.poll() is None, self.log.read_text()

    def stop(self):
        self.process.kill()  # on SIGTERM it waits for open tunnels to time out
        self.process.wait(10)

    def requests(self):
        """The request line of every request the proxy took, in order."""
        marker = "): "
        return [line.split(marker, 1)[1] for line in self.log.read_text().splitlines()
                if "Request (file descriptor" in line]
