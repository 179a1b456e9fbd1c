#!/usr/bin/python3
"""The downloader against curl over a long link: every request goes through
latency_relay.py, which holds each byte for BENCH_DELAY_MS (default 50) each
way, to nginx over HTTPS (the second address; the first is bench.py's). Run
by bench/run.sh after bench.py; uses its helpers and its site. Prints each
round's figures, then the medians and the ratios of the three measurements:
start-up with 50 listed files, one 64 MiB file on a server capping each
connection, and 50 files of 100 KB.
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
    bench.write_text(os.path.join(folder, "settings-relay.xml"), bench.SETTINGS.format(server=RELAY))
    bench.write_text(os.path.join(folder, "list-small100.xml"),
                     bench.file_list(f"{BASE}/small100/{name}" for name in SMALL))
    bench.write_text(os.path.join(folder, "list-relay64.xml"), bench.file_list([f"{BASE}/capped/{CAPPED}"]))


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


def program(list_name):
    return bench.Program(list_name, f"{BASE}/settings-relay.xml", BASE)


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


def program_fetch(list_name, names, size):
    """Seconds from the start click to the last byte of every file."""
    run = program(list_name)
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


def main():
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
                "50 files of 100 KB": (bench.attempt(lambda: program_fetch("list-small100.xml", SMALL, SMALL_SIZE),
                                                     failures),
                                       curl_fetch([f"{BASE}/small100/{name}" for name in SMALL])),
            }
            rows.append(row)
            print(f"round {round_no}: " + "; ".join(f"{name}: program {ours:.2f} s, curl {theirs:.2f} s"
                                                    for name, (ours, theirs) in row.items()), flush=True)
    finally:
        relay.kill()
    print(f"program runs that ended early and were measured again: {len(failures)}", *failures, sep="\n  ")
    print(f"machine: {bench.machine()}")
    for name in rows[0]:
        ours = statistics.median(row[name][0] for row in rows)
        theirs = statistics.median(row[name][1] for row in rows)
        print(f"medians, {name}: program {ours:.2f} s, curl {theirs:.2f} s; time ratio (program / curl) "
              f"{ours / theirs:.2f}")


if __name__ == "__main__":
    main()
