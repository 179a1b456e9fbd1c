#!/usr/bin/python3
"""Side-by-side benchmarks of the downloader (under Wine) and curl.

Run by bench/run.sh, which builds, starts the display, the Wine prefix and
nginx, and passes the server address. Prints the kind of machine, each
round's figures, then the medians and the ratios: throughput on each server
of SERVERS, start-up and cost.
"""
import getpass
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

BUILD = os.environ["VEXIL_BUILD"]
SERVER = sys.argv[1]
RUNS = int(os.environ.get("BENCH_RUNS", "5"))
SMALL_COUNT = 200
MIB = 1 << 20
GIB = 1 << 30

ROOT = os.path.join(BUILD, "bench")
SITE = os.path.join(ROOT, "site")
BASE_URL = f"http://{SERVER}/bench"
EXE = os.path.join(BUILD, "VexilDownloader.exe")
USER_DIR = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", getpass.getuser())
TARGET = os.path.join(USER_DIR, "AppData", "Roaming", "VexilBench")
# Where a flush costs nothing: the program's folder for the memory server is
# a link into /dev/shm (a tmpfs), and curl writes there too.
MEMORY = "/dev/shm/vexil-bench"
MEMORY_TARGET = os.path.join(USER_DIR, "AppData", "Roaming", "VexilBenchMemory")
ENGINE_COPY = os.path.join(USER_DIR, "Documents", "Glenmoor", "download", "tkwengine.dll")
TICK = os.sysconf("SC_CLK_TCK")
ATTEMPTS = 3
# Without 32-bit support in the kernel, Wine runs under qemu-user (see the
# top-level README): its figures say little about a native machine.
QEMU_ENTRY = "/proc/sys/fs/binfmt_misc/qemu-i386"
EMULATED = os.path.exists(QEMU_ENTRY) and open(QEMU_ENTRY, encoding="ascii").readline().strip() == "enabled"


class Server:
    """Bench files served under one folder of the site, and a file list that
    names them under url_base."""

    def __init__(self, key, name, folder, count, mib, url_base=BASE_URL, hashed=False, memory=False,
                 durable_peer=False):
        self.name, self.folder, self.mib, self.hashed = name, folder, mib, hashed
        self.memory = memory  # the program and curl write to a tmpfs
        self.durable_peer = durable_peer  # curl is also timed with a sync of each file it wrote
        self.names = [f"big{i}.bin" for i in range(count)]
        self.url_base = f"{url_base}/{folder}"
        self.list_name = f"list-{key}.xml"

    def urls(self):
        return [f"{self.url_base}/{name}" for name in self.names]

    def total_mib(self):
        return len(self.names) * self.mib


# The throughput figures, each program against curl on the same server.
# run.sh caps each connection under /bench/capped/ (nginx limit_rate), as a
# CDN caps a connection's rate.
BIG_MIB = int(os.environ.get("BENCH_FILE_MIB", "128"))
SERVERS = [
    Server("unlimited", "unlimited", "files", 4, BIG_MIB, durable_peer=True),
    Server("capped", f"capped at {os.environ.get('BENCH_CAP_RATE', '?')}/s per connection", "capped", 2,
           int(os.environ.get("BENCH_CAPPED_MIB", "48"))),
    # The same files with the publisher's hashes in the list; curl is followed
    # by sha256sum of what it wrote, timed together.
    Server("hashed", "unlimited, with hashes", "files", 4, BIG_MIB, hashed=True),
    # The same files written to a tmpfs by both: the engine's own speed, apart
    # from the disk's.
    Server("memory", "unlimited, written to a tmpfs", "files", 4, BIG_MIB, memory=True),
]
UNLIMITED = SERVERS[0]
# Printed for information, one round after the others: no goal yet.
INFORMATION = [
    Server("tls", "over HTTPS", "files", 4, BIG_MIB, url_base=f"https://{sys.argv[2]}/bench"),  # same nginx and files
]

SETTINGS = """<?xml version="1.0" encoding="euc-kr"?>
<Download>
  <Title>Vexil bench</Title>
  <Service id="bench" encrypt="false" userinfo="true" report="XML"/>
  <Location saveto="AppData" mkdir="{folder}"/>
  <Server addr="{server}"/>
</Download>
"""


class ProgramEnded(RuntimeError):
    """The program ended before the measurement was complete."""


def write_text(path, text):
    with open(path, "w", encoding="ascii") as f:
        f.write(text)


def file_list(urls, hashes=None):
    urls = list(urls)
    hashes = hashes or [None] * len(urls)
    rows = "".join(f'  <File url="{url}"' + (f' sha256="{sha}"' if sha else "") + "/>\n"
                   for url, sha in zip(urls, hashes))
    return f'<?xml version="1.0" encoding="euc-kr"?>\n<Download>\n{rows}</Download>\n'


def make_files(server):
    """Random bytes, kept between runs, and the list naming them."""
    folder = os.path.join(SITE, "bench", server.folder)
    os.makedirs(folder, exist_ok=True)
    for name in server.names:
        path = os.path.join(folder, name)
        if os.path.exists(path) and os.path.getsize(path) == server.mib * MIB:
            continue
        with open(path, "wb") as f:
            for _ in range(server.mib):
                f.write(os.urandom(MIB))
    hashes = [sha256(os.path.join(folder, name)) for name in server.names] if server.hashed else None
    write_text(os.path.join(SITE, "bench", server.list_name), file_list(server.urls(), hashes))


def sha256(path):
    return subprocess.run(["sha256sum", path], check=True, capture_output=True, text=True).stdout.split()[0]


def make_site():
    """The bench files of every server, the small files and the documents."""
    folder = os.path.join(SITE, "bench")
    os.makedirs(os.path.join(folder, "small"), exist_ok=True)
    for server in SERVERS + INFORMATION:
        make_files(server)
    for i in range(SMALL_COUNT):
        write_text(os.path.join(folder, "small", f"f{i:03}.bin"), f"small file {i}\n" * 64)
    write_text(os.path.join(folder, "settings.xml"), SETTINGS.format(server=SERVER, folder="VexilBench"))
    write_text(os.path.join(folder, "settings-memory.xml"), SETTINGS.format(server=SERVER, folder="VexilBenchMemory"))
    for sub in ("program", "curl"):
        os.makedirs(os.path.join(MEMORY, sub), exist_ok=True)
    if not os.path.islink(MEMORY_TARGET):
        os.makedirs(os.path.dirname(MEMORY_TARGET), exist_ok=True)
        os.symlink(os.path.join(MEMORY, "program"), MEMORY_TARGET)
    write_text(os.path.join(folder, "list200.xml"),
               file_list(f"{BASE_URL}/small/f{i:03}.bin" for i in range(SMALL_COUNT)))


def wine_env():
    return dict(os.environ, LC_ALL="ko_KR.UTF-8", LD_PRELOAD=os.environ.get("BENCH_WINE_PRELOAD", ""))


def quiet(cmd, **kwargs):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, **kwargs)


def time_report(path):
    """CPU seconds (user + system) and peak resident kilobytes from time -v."""
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    user = float(re.search(r"User time \(seconds\): ([\d.]+)", text).group(1))
    system = float(re.search(r"System time \(seconds\): ([\d.]+)", text).group(1))
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1))
    return user + system, rss


def proc_stats():
    """pid -> (parent pid, CPU seconds) for every process."""
    stats = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat", encoding="utf-8", errors="replace") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        stats[int(pid)] = (int(fields[1]), (int(fields[11]) + int(fields[12])) / TICK)
    return stats


def tree_cpu(root):
    stats = proc_stats()
    tree, grown = {root}, True
    while grown:
        more = {pid for pid, (parent, _) in stats.items() if parent in tree} - tree
        tree |= more
        grown = bool(more)
    return sum(stats[pid][1] for pid in tree if pid in stats)


def wineserver_pid():
    prefix = os.environ["WINEPREFIX"].encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if b"wineserver" not in f.read().split(b"\0")[0]:
                    continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if b"WINEPREFIX=" + prefix in f.read().split(b"\0"):
                    return int(pid)
        except OSError:
            continue
    return None


def process_cpu(pid):
    return proc_stats().get(pid, (0, 0.0))[1] if pid else 0.0


def ready_window():
    """(x, y) of the program's viewable 544x340 window, or None."""
    for window in quiet(["xdotool", "search", "--classname", "vexildownloader"], timeout=5).stdout.split():
        info = quiet(["xwininfo", "-id", window], timeout=5).stdout
        if "geometry 544x340" in info and "IsViewable" in info:
            x = int(re.search(r"Absolute upper-left X:\s*(-?\d+)", info).group(1))
            y = int(re.search(r"Absolute upper-left Y:\s*(-?\d+)", info).group(1))
            return x, y
    return None


def empty(folder):
    """Nothing left in folder, which stays (it may be a link)."""
    if not os.path.isdir(folder):
        return
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.remove(path)


class Program:
    """One run of the downloader under /usr/bin/time -v."""

    def __init__(self, list_name, settings_url=f"{BASE_URL}/settings.xml", base_url=BASE_URL, target=TARGET):
        empty(target)
        # The engine of this build, where start-up looks for it (no fetch).
        os.makedirs(os.path.dirname(ENGINE_COPY), exist_ok=True)
        shutil.copyfile(os.path.join(BUILD, "tkwengine", "tkwengine.dll"), ENGINE_COPY)
        self.time_file = os.path.join(ROOT, "program.time")
        self.started = time.monotonic()
        cmd = ["/usr/bin/time", "-v", "-o", self.time_file, "wine", EXE, settings_url, f"{base_url}/{list_name}"]
        self.process = subprocess.Popen(cmd, env=wine_env(), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        self.window = None

    def wait_ready(self, limit=180):
        while time.monotonic() - self.started < limit and self.process.poll() is None:
            self.window = ready_window()
            if self.window:
                return time.monotonic() - self.started
            time.sleep(0.05)
        raise ProgramEnded(f"the program's window did not become ready ({stop(self.process)})")

    def click_start(self):
        x, y = self.window
        quiet(["xdotool", "mousemove", str(x + 420), str(y + 292), "click", "1"])

    def close(self):
        quiet(["wine", os.path.join(BUILD, "tests", "window_ctl.exe"), "close", "VAZarodezuro"],
              env=wine_env(), timeout=120)
        try:
            self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        return time_report(self.time_file)


def wait_files(process, folder, names, size, limit=600):
    paths = [os.path.join(folder, name) for name in names]
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline and process.poll() is None:
        if all(os.path.exists(p) and os.path.getsize(p) == size for p in paths):
            return time.monotonic()
        time.sleep(0.01)
    raise ProgramEnded(f"the files did not arrive ({stop(process)})")


def stop(process):
    """Ends the whole process group of a failed run; says how it ended and
    where the screen was saved."""
    ended = process.poll()
    shot = os.path.join(ROOT, f"failure-{int(time.time())}.png")
    quiet(["import", "-window", "root", shot], timeout=30)
    if ended is None:
        os.killpg(process.pid, 9)
        process.wait()
    return f"{'exit status ' + str(ended) if ended is not None else 'still running, killed'}; screen {shot}"


def attempt(measure, failures):
    """Measures again when the program dies before the end: Wine under
    qemu-user sometimes kills a process (see README). Every failed attempt is
    counted and reported."""
    for _ in range(ATTEMPTS):
        try:
            return measure()
        except ProgramEnded as error:
            failures.append(str(error))
    raise RuntimeError(f"the program failed {ATTEMPTS} times in a row: {failures[-1]}")


def same_files(folder, server):
    for name in server.names:
        with open(os.path.join(folder, name), "rb") as a, \
                open(os.path.join(SITE, "bench", server.folder, name), "rb") as b:
            while True:
                x, y = a.read(MIB), b.read(MIB)
                if x != y:
                    raise RuntimeError(f"{name} differs from the served file")
                if not x:
                    break


def program_throughput(server):
    target = MEMORY_TARGET if server.memory else TARGET
    settings = f"{BASE_URL}/settings-memory.xml" if server.memory else f"{BASE_URL}/settings.xml"
    program = Program(server.list_name, settings, target=target)
    program.wait_ready()
    os.sync()  # no writeback of an earlier run's files competes with this one
    time.sleep(1)
    wineserver = wineserver_pid()
    cpu0, server0 = tree_cpu(program.process.pid), process_cpu(wineserver)
    start = time.monotonic()
    program.click_start()
    end = wait_files(program.process, target, server.names, server.mib * MIB)
    cpu = tree_cpu(program.process.pid) - cpu0
    server_cpu = process_cpu(wineserver) - server0
    whole_cpu, rss = program.close()
    same_files(target, server)
    empty(target)
    return {"seconds": end - start, "cpu": cpu, "server_cpu": server_cpu, "whole_cpu": whole_cpu, "rss": rss}


def curl_throughput(server, durable=False):
    """curl for each file one after another; durable: each followed by a sync
    of the file it wrote (flushed to the disk, as the engine keeps its files),
    timed together."""
    out = os.path.join(MEMORY, "curl") if server.memory else os.path.join(ROOT, "curl-out")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    time_file = os.path.join(ROOT, "curl.time")
    cpu, rss = 0.0, 0
    os.sync()
    start = time.monotonic()
    for name, url in zip(server.names, server.urls()):
        subprocess.run(["/usr/bin/time", "-v", "-o", time_file, "curl", "-sSf", "--cacert",
                        os.path.join(BUILD, "tls", "authority.pem"), "-o", os.path.join(out, name), url],
                       check=True)
        one_cpu, one_rss = time_report(time_file)
        cpu, rss = cpu + one_cpu, max(rss, one_rss)
        if durable:
            subprocess.run(["sync", os.path.join(out, name)], check=True)
    if server.hashed:
        subprocess.run(["sha256sum"] + [os.path.join(out, name) for name in server.names], check=True,
                       stdout=subprocess.DEVNULL)
    seconds = time.monotonic() - start
    same_files(out, server)
    shutil.rmtree(out, ignore_errors=True)
    return {"seconds": seconds, "cpu": cpu, "rss": rss}


def probe_throughput(read_size):
    """The bare WinINet reader's own timing (first request to last byte)."""
    out = os.path.join(ROOT, "probe-out")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    folder = "Z:" + out.replace("/", "\\")
    result = subprocess.run(["wine", os.path.join(BUILD, "bench", "wininet_probe.exe"), "read", str(read_size),
                             folder] + UNLIMITED.urls(),
                            env=wine_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                            check=True)
    total, seconds = result.stdout.split()[:2]
    if int(total) != UNLIMITED.total_mib() * MIB:
        raise RuntimeError("the probe read short")
    return int(total) / MIB / float(seconds)


def program_startup():
    program = Program("list200.xml")
    seconds = program.wait_ready()
    program.close()
    return seconds


def curl_startup():
    start = time.monotonic()
    for i in range(SMALL_COUNT):
        subprocess.run(["curl", "-sSfI", "-o", "/dev/null", f"{BASE_URL}/small/f{i:03}.bin"], check=True)
    return time.monotonic() - start


def median(rows, key):
    return statistics.median(row[key] for row in rows)


def machine():
    kind = ("32-bit Wine runs under qemu-user emulation: figures not comparable with a native machine's"
            if EMULATED else "32-bit Wine runs natively")
    with open("/proc/loadavg", encoding="ascii") as f:
        load = " ".join(f.read().split()[:3])
    return f"{kind}; {os.cpu_count()} cores, load average {load}"


def main():
    make_site()
    print(f"bench: {RUNS} rounds, server {SERVER}; {SMALL_COUNT}-file list; "
          + "; ".join(f"{s.name}: {len(s.names)} files of {s.mib} MiB" for s in SERVERS))
    print(f"machine: {machine()}", flush=True)
    ours = {s.name: [] for s in SERVERS}
    theirs = {s.name: [] for s in SERVERS}
    durable = {s.name: [] for s in SERVERS if s.durable_peer}
    probes, probes64k, start_ours, start_theirs, failures = [], [], [], [], []
    for round_no in range(1, RUNS + 1):
        for server in SERVERS:
            theirs[server.name].append(curl_throughput(server))
            if server.durable_peer:
                durable[server.name].append(curl_throughput(server, durable=True))
            ours[server.name].append(attempt(lambda: program_throughput(server), failures))
        probes.append(probe_throughput(MIB))
        probes64k.append(probe_throughput(65536))
        start_theirs.append(curl_startup())
        start_ours.append(attempt(program_startup, failures))
        o, t = ours[UNLIMITED.name][-1], theirs[UNLIMITED.name][-1]
        rates = "; ".join(f"{s.name}: program {s.total_mib() / ours[s.name][-1]['seconds']:.1f} MB/s, "
                          f"curl {s.total_mib() / theirs[s.name][-1]['seconds']:.1f} MB/s"
                          + (f", curl + sync {s.total_mib() / durable[s.name][-1]['seconds']:.1f} MB/s"
                             if s.durable_peer else "") for s in SERVERS)
        print(f"round {round_no}: {rates}; unlimited program cpu {o['cpu']:.2f} s + wineserver {o['server_cpu']:.2f} s, "
              f"whole run {o['whole_cpu']:.2f} s, peak {o['rss'] // 1024} MiB; curl cpu {t['cpu']:.2f} s, "
              f"peak {t['rss'] // 1024} MiB; "
              f"bare WinINet 1 MiB reads {probes[-1]:.1f} MB/s, 64 KiB reads {probes64k[-1]:.1f} MB/s; "
              f"start-up program {start_ours[-1]:.2f} s, 200 x curl -I {start_theirs[-1]:.2f} s", flush=True)

    for server in INFORMATION:
        program_seconds = attempt(lambda: program_throughput(server), failures)["seconds"]
        curl_seconds = curl_throughput(server)["seconds"]
        print(f"{server.name}, one round, for information: program {server.total_mib() / program_seconds:.1f} MB/s, "
              f"curl {server.total_mib() / curl_seconds:.1f} MB/s")

    rates = {s.name: (s.total_mib() / median(ours[s.name], "seconds"),
                      s.total_mib() / median(theirs[s.name], "seconds")) for s in SERVERS}
    gib = UNLIMITED.total_mib() * MIB / GIB
    ours_cpu = statistics.median((o["cpu"] + o["server_cpu"]) / gib for o in ours[UNLIMITED.name])
    curl_cpu = median(theirs[UNLIMITED.name], "cpu") / gib
    ours_rss, curl_rss = median(ours[UNLIMITED.name], "rss") / 1024, median(theirs[UNLIMITED.name], "rss") / 1024
    ours_start, curl_start = statistics.median(start_ours), statistics.median(start_theirs)
    durable_rates = {s.name: s.total_mib() / median(durable[s.name], "seconds") for s in SERVERS if s.durable_peer}
    for server in SERVERS:
        program_rate, curl_rate = rates[server.name]
        print(f"medians, {server.name}: program {program_rate:.1f} MB/s, curl {curl_rate:.1f} MB/s"
              + (f", curl + sync {durable_rates[server.name]:.1f} MB/s" if server.durable_peer else ""))
    print(f"medians: bare WinINet under Wine {statistics.median(probes):.1f} MB/s (1 MiB reads), "
          f"{statistics.median(probes64k):.1f} MB/s (64 KiB reads)")
    print(f"medians: start-up program {ours_start:.2f} s, curl {curl_start:.2f} s")
    print(f"medians: CPU per GiB program {ours_cpu:.2f} s, curl {curl_cpu:.2f} s; "
          f"peak memory program {ours_rss:.0f} MiB, curl {curl_rss:.0f} MiB")
    print(f"program runs that ended early and were measured again: {len(failures)}", *failures, sep="\n  ")
    print(f"machine: {machine()}")
    for server in SERVERS:
        program_rate, curl_rate = rates[server.name]
        if server.durable_peer:  # the goal is taken against a peer that keeps its bytes as durably
            print(f"throughput ratio, {server.name} (program MB/s / curl + sync MB/s): "
                  f"{program_rate / durable_rates[server.name]:.2f}")
            print(f"  for information (program MB/s / curl into the page cache MB/s): {program_rate / curl_rate:.2f}")
            continue
        curl = "curl + sha256sum" if server.hashed else "curl"
        print(f"throughput ratio, {server.name} (program MB/s / {curl} MB/s): {program_rate / curl_rate:.2f}")
    print(f"start-up ratio (program s / curl s): {ours_start / curl_start:.2f}")
    print(f"cost ratios (program / curl): CPU per GiB {ours_cpu / curl_cpu:.2f}, "
          f"peak memory {ours_rss / curl_rss:.2f}")
    if EMULATED:
        print("these figures come from Wine under qemu-user emulation, not from a native machine")


if __name__ == "__main__":
    main()
