#!/usr/bin/python3
"""The downloader against curl and aria2c over a long link: every request
goes through latency_relay.py, which holds each byte for BENCH_DELAY_MS
(default 50) each way, to nginx over HTTPS (the second address; the first is
bench.py's). Run by bench/run.sh after bench.py; uses its helpers and its
site. Prints each round's figures, then the medians and the ratios of the
measurements: start-up with 50 listed files, one 64 MiB file on a server
capping each connection, 200 files of 100 KB and 50 of 1 MB through the
relay, and 500 files of 10 KB on loopback.
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
    for files in FILE_SETS:
        os.makedirs(os.path.join(folder, "many", files.key), exist_ok=True)
        for i, name in enumerate(files.names):
            with open(os.path.join(folder, "many", files.key, name), "wb") as f:
                f.write(bytes([i % 251]) * files.size)
        bench.write_text(os.path.join(folder, files.list_name), bench.file_list(files.urls()))


def start_relay(upstream_port):
    relay = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "latency_relay.py"),
                              str(RELAY_PORT), "127.0.0.1", str(upstream_port), str(DELAY_MS)])
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", RELAY_PORT), timeout=1).close()
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
    print(f"latency: {bench.RUNS} rounds through a relay holding each byte {DELAY_MS} ms each way "
          f"({2 * DELAY_MS} ms round trip) to nginx over HTTPS")
    rows, failures = [], []
    try:
        for round_no in range(1, bench.RUNS + 1):
            row = {
                "start-up, 50 files": (bench.attempt(program_startup, failures), curl_startup()),
                "64 MiB, capped": (bench.attempt(lambda: program_fetch("list-relay64.xml", [CAPPED], 64 * bench.MIB),
                                                 failures),
                                   curl_fetch([f"{BASE}/capped/{CAPPED}"])),
            }
            for files in FILE_SETS:
                row[files.name()] = (
                    bench.attempt(lambda: program_fetch(files.list_name, files.names, files.size, files.base()),
                                  failures),
                    curl_fetch(files.urls()), aria2_fetch(files.urls()))
            rows.append(row)
            print(f"round {round_no}: " + "; ".join(
                f"{name}: program {times[0]:.2f} s, curl {times[1]:.2f} s"
                + (f", aria2c -j8 {times[2]:.2f} s" if len(times) > 2 else "") for name, times in row.items()),
                flush=True)
    finally:
        relay.kill()
    print(f"program runs that ended early and were measured again: {len(failures)}", *failures, sep="\n  ")
    print(f"machine: {bench.machine()}")
    for name in rows[0]:
        ours, theirs, *aria2 = (statistics.median(row[name][i] for row in rows) for i in range(len(rows[0][name])))
        print(f"medians, {name}: program {ours:.2f} s, curl {theirs:.2f} s"
              + (f", aria2c -j8 {aria2[0]:.2f} s" if aria2 else "") + f"; time ratio (program / curl) {ours / theirs:.2f}"
              + (f", (program / aria2c -j8) {ours / aria2[0]:.2f}" if aria2 else ""))


if __name__ == "__main__":
    main()
