#!/usr/bin/python3
"""The downloader against curl and aria2c over a long link: every request
goes through latency_relay.py, which holds each byte for BENCH_DELAY_MS
(default 50) each way, to nginx over HTTPS (the second address; the first is
bench.py's). Run by bench/run.sh after bench.py; uses its helpers and its
site. Prints each round's figures, then the medians and the ratios of the
measurements: start-up with 50 listed files, one 64 MiB file on a server
capping each connection, 200 files of 100 KB and 50 of 1 MB through the
relay, 500 files of 10 KB on loopback, and a 64 MiB file whose own host is
slow (a second relay passing 100 KB/s a connection, no delay) with nginx as
an unlimited mirror.
"""
import os
import socket
import statistics
import subprocess
import sys
import time

import bench

DELAY_MS = int(os.environ.get("BENCH_DELAY_MS", "50"))
RELAY_PORT = int(os.environ.get("BENCH_RELAY_PORT", "8640"))
RELAY = f"localhost:{RELAY_PORT}"
BASE = f"https://{RELAY}/bench"
SMALL = [f"s{i:02}.bin" for i in range(50)]
SMALL_SIZE = 100_000
DIRECT = None  # nginx's HTTPS address, without the relay (set by main)


class FileSet:
    """Many files of one size under /bench/many/KEY/, fetched over the relay
    or straight from nginx; nginx keeps their connections, as a CDN does."""

    def __init__(self, key, count, size, relayed=True):
        self.key, self.count, self.size, self.relayed = key, count, size, relayed
        self.names = [f"{key}-{i:03}.bin" for i in range(count)]
        self.list_name = f"list-many-{key}.xml"

    def name(self):
        where = "over the relay" if self.relayed else "on loopback"
        return f"{self.count} files of {self.size // 1000} KB {where}"

    def base(self):
        return BASE if self.relayed else f"https://{DIRECT}/bench"

    def urls(self):
        return [f"{self.base()}/many/{self.key}/{name}" for name in self.names]


FILE_SETS = [FileSet("100k", 200, 100_000), FileSet("1m", 50, 1_000_000), FileSet("10k", 500, 10_000, relayed=False)]
CAPPED = "relay64.bin"
SLOW_HOST_PORT = RELAY_PORT + 1
SLOW_HOST_RATE = int(os.environ.get("BENCH_SLOW_HOST_RATE", "100000"))
SLOW_FILE = "slowhost/slow64.bin"
AUTHORITY = os.path.join(bench.BUILD, "tls", "authority.pem")


def make_site():
    """The 50 small files and the 64 MiB one, the lists, and a settings
    document whose mirror is the relay too."""
    folder = os.path.join(bench.SITE, "bench")
    for sub in ("small100", "capped"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    for name in SMALL:
        with open(os.path.join(folder, "small100", name), "wb") as f:
            f.write(bytes([int(name[1:3]) % 251]) * SMALL_SIZE)
    capped = os.path.join(folder, "capped", CAPPED)
    if not os.path.exists(capped) or os.path.getsize(capped) != 64 * bench.MIB:
        with open(capped, "wb") as f:
            for _ in range(64):
                f.write(os.urandom(bench.MIB))
    bench.write_text(os.path.join(folder, "settings-relay.xml"), bench.SETTINGS.format(server=RELAY, folder="VexilBench"))
    bench.write_text(os.path.join(folder, "settings-direct.xml"),
                     bench.SETTINGS.format(server=DIRECT, folder="VexilBench"))
    bench.write_text(os.path.join(folder, "list-small100.xml"),
                     bench.file_list(f"{BASE}/small100/{name}" for name in SMALL))
    bench.write_text(os.path.join(folder, "list-relay64.xml"), bench.file_list([f"{BASE}/capped/{CAPPED}"]))
    slow = os.path.join(folder, SLOW_FILE)
    os.makedirs(os.path.dirname(slow), exist_ok=True)
    if not os.path.exists(slow) or os.path.getsize(slow) != 64 * bench.MIB:
        with open(slow, "wb") as f:
            for _ in range(64):
                f.write(os.urandom(bench.MIB))
    bench.write_text(os.path.join(folder, "settings-slowhost.xml"),
                     bench.SETTINGS.format(server=bench.SERVER, folder="VexilBench"))
    bench.write_text(os.path.join(folder, "list-slowhost.xml"), bench.file_list([slow_urls()[0]]))
    bench.write_text(os.path.join(folder, "list-mirror-alone.xml"), bench.file_list([slow_urls()[1]]))
    for files in FILE_SETS:
        os.makedirs(os.path.join(folder, "many", files.key), exist_ok=True)
        for i, name in enumerate(files.names):
            with open(os.path.join(folder, "many", files.key, name), "wb") as f:
                f.write(bytes([i % 251]) * files.size)
        bench.write_text(os.path.join(folder, files.list_name), bench.file_list(files.urls()))


def slow_urls():
    """The slow file on its own (slow) host, and on the mirror."""
    return [f"http://localhost:{SLOW_HOST_PORT}/bench/{SLOW_FILE}", f"http://{bench.SERVER}/bench/{SLOW_FILE}"]


def start_relay(upstream_port, port=RELAY_PORT, delay_ms=DELAY_MS, rate=0):
    relay = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "latency_relay.py"),
                              str(port), "127.0.0.1", str(upstream_port), str(delay_ms), str(rate)])
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return relay
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("the latency relay did not start")


def program(list_name, base=BASE):
    return bench.Program(list_name, f"{base}/settings-{'relay' if base == BASE else 'direct'}.xml", base)


def program_startup():
    run = program("list-small100.xml")
    seconds = run.wait_ready()
    run.close()
    return seconds


def curl_startup():
    start = time.monotonic()
    for name in SMALL:
        subprocess.run(["curl", "-sSfI", "--cacert", AUTHORITY, "-o", "/dev/null", f"{BASE}/small100/{name}"],
                       check=True)
    return time.monotonic() - start


def program_fetch(list_name, names, size, base=BASE):
    """Seconds from the start click to the last byte of every file."""
    run = program(list_name, base)
    run.wait_ready()
    os.sync()
    time.sleep(1)
    start = time.monotonic()
    run.click_start()
    end = bench.wait_files(run.process, bench.TARGET, names, size)
    run.close()
    return end - start


def curl_fetch(urls):
    """One curl for every URL: it keeps its connection from file to file."""
    out = os.path.join(bench.ROOT, "curl-out")
    subprocess.run(["rm", "-rf", out], check=True)
    os.makedirs(out)
    command = ["curl", "-sSf", "--cacert", AUTHORITY]
    for url in urls:
        command += ["-o", os.path.join(out, url.rsplit("/", 1)[1]), url]
    os.sync()
    start = time.monotonic()
    subprocess.run(command, check=True)
    return time.monotonic() - start


def slow_host_fetch(list_name):
    """The program fetching the slow file, its settings naming the mirror."""
    run = bench.Program(list_name, f"{bench.BASE_URL}/settings-slowhost.xml", bench.BASE_URL)
    run.wait_ready()
    os.sync()
    time.sleep(1)
    start = time.monotonic()
    run.click_start()
    end = bench.wait_files(run.process, bench.TARGET, [os.path.basename(SLOW_FILE)], 64 * bench.MIB)
    run.close()
    return end - start


def aria2_mirrors(urls):
    """aria2c fetching one file over four connections from the URLs as mirrors."""
    out = os.path.join(bench.ROOT, "aria2-out")
    subprocess.run(["rm", "-rf", out], check=True)
    os.makedirs(out)
    os.sync()
    start = time.monotonic()
    subprocess.run(["aria2c", "-x4", "-s4", "-q", "--file-allocation=none", "--allow-overwrite=true",
                    "--auto-file-renaming=false", "-d", out] + urls, check=True)
    return time.monotonic() - start


def aria2_fetch(urls):
    """aria2c fetching eight files at a time, one connection each."""
    out = os.path.join(bench.ROOT, "aria2-out")
    subprocess.run(["rm", "-rf", out], check=True)
    os.makedirs(out)
    listing = os.path.join(bench.ROOT, "aria2-urls.txt")
    bench.write_text(listing, "".join(url + "\n" for url in urls))
    os.sync()
    start = time.monotonic()
    subprocess.run(["aria2c", "-j8", "-x1", "-q", "--ca-certificate", AUTHORITY, "--file-allocation=none",
                    "--allow-overwrite=true", "--auto-file-renaming=false", "-d", out, "-i", listing], check=True)
    return time.monotonic() - start


def main():
    global DIRECT
    DIRECT = sys.argv[2]
    make_site()
    relay = start_relay(int(sys.argv[2].rsplit(":", 1)[1]))
    slow_host = start_relay(int(sys.argv[1].rsplit(":", 1)[1]), SLOW_HOST_PORT, 0, SLOW_HOST_RATE)
    print(f"latency: {bench.RUNS} rounds through a relay holding each byte {DELAY_MS} ms each way "
          f"({2 * DELAY_MS} ms round trip) to nginx over HTTPS")
    rows, failures = [], []
    try:
        for round_no in range(1, bench.RUNS + 1):
            # Each measurement: its contenders' seconds, the program's first.
            row = {
                "start-up, 50 files": {"program": bench.attempt(program_startup, failures),
                                       "curl -I loop": curl_startup()},
                "64 MiB, capped": {"program": bench.attempt(
                    lambda: program_fetch("list-relay64.xml", [CAPPED], 64 * bench.MIB), failures),
                    "curl": curl_fetch([f"{BASE}/capped/{CAPPED}"])},
            }
            for files in FILE_SETS:
                row[files.name()] = {
                    "program": bench.attempt(
                        lambda: program_fetch(files.list_name, files.names, files.size, files.base()), failures),
                    "curl": curl_fetch(files.urls()), "aria2c -j8": aria2_fetch(files.urls())}
            row["64 MiB from a slow host with a fast mirror"] = {
                "program": bench.attempt(lambda: slow_host_fetch("list-slowhost.xml"), failures),
                "program, mirror alone": bench.attempt(lambda: slow_host_fetch("list-mirror-alone.xml"), failures),
                "aria2c -x4 -s4": aria2_mirrors(slow_urls())}
            rows.append(row)
            print(f"round {round_no}: " + "; ".join(
                f"{name}: " + ", ".join(f"{who} {seconds:.2f} s" for who, seconds in times.items())
                for name, times in row.items()), flush=True)
    finally:
        relay.kill()
        slow_host.kill()
    print(f"program runs that ended early and were measured again: {len(failures)}", *failures, sep="\n  ")
    print(f"machine: {bench.machine()}")
    for name, times in rows[0].items():
        medians = {who: statistics.median(row[name][who] for row in rows) for who in times}
        ours = medians["program"]
        print(f"medians, {name}: " + ", ".join(f"{who} {seconds:.2f} s" for who, seconds in medians.items())
              + "; time ratios: " + ", ".join(f"program / {who} {ours / seconds:.2f}"
                                             for who, seconds in medians.items() if who != "program"))


if __name__ == "__main__":
    main()
