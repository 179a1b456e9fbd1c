#!/usr/bin/python3
"""The delta case: a file of random bytes republished with 3.4 % changed (40
scattered regions of 200 KiB, and 1 MiB inserted 10 MiB from its start,
which shifts everything after it), its older copy on the player's disk. From
the unlimited server and from the capped one, in each round: the program
with the file's block index (click to the file whole), zsync -i OLD with
zsyncmake's index (start to exit, and with a sync of the file it wrote, a
peer as durable as the engine), and the program's own whole download. Bytes
each fetched come from nginx's log, and so does the comparison's speed: the
older copy's size over the time from the index's answer to the file's first
request. Run by bench/run.sh after latency.py; uses bench.py's helpers and
site. BENCH_DELTA_MIB (default 256) is the older copy's size.
"""
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

import bench

MIB = bench.MIB
OLD_MIB = int(os.environ.get("BENCH_DELTA_MIB", "256"))
REGIONS, REGION = 40, 200 << 10
INSERTED_AT, INSERTED = 10 * MIB, 1 * MIB
NAME = "new.bin"
FOLDER = os.path.join(bench.SITE, "bench", "delta")
OLD = os.path.join(bench.ROOT, "delta-old", NAME)  # the player's copy, under the file's name
LOG = os.path.join(bench.BUILD, "bench", "nginx", "logs", "access.log")
PUBLISH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "vexil-publish")
# Where each server serves the file: run.sh caps each connection under /bench/capped/.
SERVERS = {"unlimited": "delta", "capped": "capped/delta"}
# tools/session.sh's log format: the request, status, body bytes, then the
# time the answer ended and how long it took.
LINE = re.compile(r'^\S+ \[[^]]+\] "(\S+) (\S+) [^"]*" (\d+) (\d+) ([\d.]+) ([\d.]+) ')


def make_files():
    """The older copy, the file made from it, the list and both indexes; kept between runs."""
    size = (OLD_MIB * MIB) + INSERTED
    new = os.path.join(FOLDER, NAME)
    made = [OLD, new, os.path.join(FOLDER, NAME + ".zsync"), os.path.join(bench.SITE, "bench", "list-delta.xml")]
    if all(os.path.exists(path) for path in made) and os.path.getsize(new) == size:
        return
    shutil.rmtree(FOLDER, ignore_errors=True)
    os.makedirs(FOLDER)
    os.makedirs(os.path.dirname(OLD), exist_ok=True)
    with open(OLD, "wb") as f:
        for _ in range(OLD_MIB):
            f.write(os.urandom(MIB))
    with open(OLD, "rb") as f:
        data = bytearray(f.read())
    stride = len(data) // REGIONS
    rng = random.Random("delta")
    for region in range(REGIONS):
        at = region * stride + rng.randrange(stride - REGION)
        data[at:at + REGION] = os.urandom(REGION)
    data[INSERTED_AT:INSERTED_AT] = os.urandom(INSERTED)
    with open(new, "wb") as f:
        f.write(data)
    listing = subprocess.run([PUBLISH, "list", FOLDER, f"{bench.BASE_URL}/delta", "--blocks"], check=True,
                             capture_output=True, text=True).stdout
    for server, folder in SERVERS.items():
        bench.write_text(os.path.join(bench.SITE, "bench", f"list-delta-{server}.xml"),
                         listing.replace("/bench/delta/", f"/bench/{folder}/"))
    capped = os.path.join(bench.SITE, "bench", "capped", "delta")
    os.makedirs(os.path.dirname(capped), exist_ok=True)
    if not os.path.islink(capped):
        os.symlink(FOLDER, capped)
    # After the list: the command would list the control file as a file.
    subprocess.run(["zsyncmake", "-u", NAME, "-o", os.path.join(FOLDER, NAME + ".zsync"), new], check=True,
                   capture_output=True)
    bench.write_text(os.path.join(bench.SITE, "bench", "list-delta.xml"), listing)


def requests_since(offset):
    """(method, uri, status, bytes sent, start, end) of each request logged after offset."""
    with open(LOG, "rb") as f:
        f.seek(offset)
        lines = f.read().decode("latin-1").splitlines()
    found = []
    for line in lines:
        match = LINE.match(line)
        if match:
            method, uri, status, sent, end, took = match.groups()
            found.append((method, uri, int(status), int(sent), float(end) - float(took), float(end)))
    return found


def fetched(requests):
    """Bytes of the file and of its indexes sent."""
    return sum(r[3] for r in requests if r[1].rsplit("/", 1)[1].startswith(NAME))


def comparison_seconds(requests):
    """From the block index's answer to the file's first request."""
    index = [r[5] for r in requests if r[1].endswith(".vxblocks")]
    first = [r[4] for r in requests if r[0] == "GET" and r[1].endswith("/" + NAME)]
    return min(first) - index[0] if index and first else None


def same_file(path):
    if bench.sha256(path) != bench.sha256(os.path.join(FOLDER, NAME)):
        raise RuntimeError(f"{path} differs from the served file")


def program_fetch(server, delta):
    """The program with the older copy in its folder (delta) or none."""
    program = bench.Program(f"list-delta-{server}.xml")
    os.makedirs(bench.TARGET, exist_ok=True)
    if delta:
        shutil.copyfile(OLD, os.path.join(bench.TARGET, NAME))
    program.wait_ready()
    os.sync()
    time.sleep(1)
    offset = os.path.getsize(LOG)
    start = time.monotonic()
    program.click_start()
    end = bench.wait_files(program.process, bench.TARGET, [NAME], os.path.getsize(os.path.join(FOLDER, NAME)))
    program.close()
    same_file(os.path.join(bench.TARGET, NAME))
    bench.empty(bench.TARGET)
    requests = requests_since(offset)
    return {"seconds": end - start, "bytes": fetched(requests), "comparison": comparison_seconds(requests)}


def zsync_fetch(server):
    out = os.path.join(bench.ROOT, "zsync-out")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    target = os.path.join(out, NAME)
    os.sync()
    offset = os.path.getsize(LOG)
    start = time.monotonic()
    subprocess.run(["zsync", "-q", "-i", OLD, "-o", target, f"{bench.BASE_URL}/{SERVERS[server]}/{NAME}.zsync"],
                   cwd=out, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.monotonic() - start
    subprocess.run(["sync", target], check=True)
    durable = time.monotonic() - start
    same_file(target)
    shutil.rmtree(out, ignore_errors=True)
    return {"seconds": seconds, "durable": durable, "bytes": fetched(requests_since(offset))}


def main():
    make_files()
    print(f"delta: {bench.RUNS} rounds; a {OLD_MIB} MiB older copy, the file {OLD_MIB + 1} MiB with {REGIONS} "
          f"regions of {REGION >> 10} KiB changed and {INSERTED >> 20} MiB inserted {INSERTED_AT >> 20} MiB from "
          f"its start; machine: {bench.machine()}", flush=True)
    rows = {server: [] for server in SERVERS}
    failures = []
    for round_no in range(1, bench.RUNS + 1):
        for server in SERVERS:
            row = {"delta": bench.attempt(lambda: program_fetch(server, True), failures), "zsync": zsync_fetch(server),
                   "whole": bench.attempt(lambda: program_fetch(server, False), failures)}
            rows[server].append(row)
            comparison = row["delta"]["comparison"]
            print(f"round {round_no}, {server}: program {row['delta']['seconds']:.2f} s, "
                  f"{row['delta']['bytes'] / 1e6:.2f} MB fetched"
                  + (f", comparison {comparison:.2f} s ({OLD_MIB * MIB / 1e6 / comparison:.0f} MB/s)"
                     if comparison else "")
                  + f"; zsync {row['zsync']['seconds']:.2f} s ({row['zsync']['durable']:.2f} s with a sync), "
                  f"{row['zsync']['bytes'] / 1e6:.2f} MB; whole download {row['whole']['seconds']:.2f} s, "
                  f"{row['whole']['bytes'] / 1e6:.2f} MB", flush=True)
    print(f"program runs that ended early and were measured again: {len(failures)}", *failures, sep="\n  ")
    print(f"machine: {bench.machine()}")
    for server, measured in rows.items():
        def median(kind, key):
            return statistics.median(row[kind][key] for row in measured)
        ours, theirs, durable, whole = (median("delta", "seconds"), median("zsync", "seconds"),
                                        median("zsync", "durable"), median("whole", "seconds"))
        bytes_ours, bytes_theirs = median("delta", "bytes"), median("zsync", "bytes")
        comparisons = [row["delta"]["comparison"] for row in measured if row["delta"]["comparison"]]
        print(f"medians, {server}: program {ours:.2f} s and {bytes_ours / 1e6:.2f} MB, zsync {theirs:.2f} s "
              f"({durable:.2f} s with a sync) and {bytes_theirs / 1e6:.2f} MB, whole download {whole:.2f} s"
              + (f"; comparison of the older copy {OLD_MIB * MIB / 1e6 / statistics.median(comparisons):.0f} MB/s"
                 if comparisons else ""))
        print(f"delta ratios, {server}: bytes (program / zsync) {bytes_ours / bytes_theirs:.2f} (goal at most 1.1); "
              f"time (program / zsync) {ours / theirs:.2f} (goal at most 1.0), against zsync with a sync "
              f"{ours / durable:.2f}; time (delta / whole download) {ours / whole:.2f}"
              + (" (goal at most 0.1)" if server == "capped" else ""))


if __name__ == "__main__":
    sys.exit(main())
