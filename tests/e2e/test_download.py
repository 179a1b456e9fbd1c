"""Whole downloads: the list byte for byte, pause and resume, a large file
over several connections, the program started at the end or not."""
import os
import random
import time
from pathlib import Path

import harness
from harness import START_BUTTON, START_LOOKS, START_PLACE, Site


def finished(program, folders, site, timeout=120):
    """Waits until every listed file is complete and the start button is back."""
    files = site.listed()
    program.wait(lambda: all((folders.download / name).exists() and
                         (folders.download / name).stat().st_size == len(data) for name, data in files.items()),
             timeout, "every listed file at its full size")
    program.wait_screen(lambda shot: harness.look(shot, START_PLACE, START_LOOKS) in ("start", "start hover"), 30,
                        "the start button after the download")
    return files


def test_whole_list_arrives_byte_for_byte_and_the_program_starts_once(launch, site, folders):
    program = launch()
    program.click(*START_BUTTON)
    launched = folders.download / "launched.txt"
    program.wait(launched.exists, 120, "the downloaded program's marker")
    # The finished state is on the screen by the time the program starts.
    assert harness.look(program.screenshot(), START_PLACE, START_LOOKS) in ("start", "start hover")
    files = finished(program, folders, site)
    for name, data in files.items():
        assert (folders.download / name).read_bytes() == data, name
    program.wait(lambda: not harness.started_programs(program.before), 60, "the downloaded program to end")
    assert launched.read_text().strip() == "1"
    # Started from its own folder, as Windows starts a program.
    started_in = (folders.download / "started-in.txt").read_text().strip()
    assert started_in.lower() == harness.windows_path(folders.download).lower()


def test_pause_then_start_resumes_with_a_range_request(launch, site, folders):
    site.add_file("slow/big.bin", 1536 << 10)
    site.file_list("slow/big.bin")
    program = launch()
    program.click(*START_BUTTON)
    partial = folders.download / "big.bin.vxpart"  # the name holds only a whole file
    program.wait(lambda: partial.exists() and partial.stat().st_size > 128 << 10, 60, "part of the file")
    program.click(*START_BUTTON)
    program.move_to(20, 20)
    program.wait_screen(lambda shot: harness.look(shot, START_PLACE, START_LOOKS) == "start", 30,
                        "the start button after the pause")
    paused = partial.stat().st_size
    assert 0 < paused < len(site.listed()["big.bin"])
    program.click(*START_BUTTON)
    files = finished(program, folders, site)
    assert (folders.download / "big.bin").read_bytes() == files["big.bin"]
    assert not partial.exists()
    gets = [r for r in site.server.requests() if r["method"] == "GET" and r["uri"] == "/slow/big.bin"]
    assert len(gets) == 2
    assert (gets[0]["range"], gets[0]["if_range"]) == ("-", "-")
    assert gets[1]["range"].startswith("bytes=") and gets[1]["range"].endswith("-")
    assert paused <= int(gets[1]["range"][6:-1]) < len(files["big.bin"])
    # The version the kept bytes are of: nginx's ETag (its log writes the quotes as \x22).
    assert gets[1]["if_range"].replace("\\x22", '"').startswith('"')


def test_a_large_file_arrives_over_several_connections(launch, site, folders):
    size = 20 << 20
    site.add_file("glenmoor/client/large.pak", size)
    site.file_list("glenmoor/client/large.pak")
    program = launch()
    program.click(*START_BUTTON)
    files = finished(program, folders, site)
    assert (folders.download / "large.pak").read_bytes() == files["large.pak"]
    assert sorted(p.name for p in folders.download.iterdir()) == ["large.pak"]
    gets = [r for r in site.server.requests() if r["method"] == "GET" and r["uri"] == "/glenmoor/client/large.pak"]
    assert len(gets) >= 2 and all(r["status"] == "206" for r in gets)
    # Exact ranges that tile the file: no byte asked for twice.
    asked = sorted(tuple(int(n) for n in r["range"][6:].split("-")) for r in gets)
    assert asked[0][0] == 0 and asked[-1][1] == size - 1
    assert all(later[0] == earlier[1] + 1 for earlier, later in zip(asked, asked[1:]))


def test_auto_run_unticked_starts_nothing(launch, site, folders):
    site.add_file("glenmoor/client/small.bin", 64 << 10)
    site.file_list(site.LAUNCHER, "glenmoor/client/small.bin")
    program = launch()
    program.click(*harness.CHECK_BOX)
    program.move_to(20, 20)
    program.wait_screen(lambda shot: harness.look(shot, harness.BOX_PLACE, harness.BOX_LOOKS) == "empty", 30,
                        "the empty check box")
    program.click(*START_BUTTON)
    finished(program, folders, site)
    assert not harness.started_programs(program.before)
    assert not (folders.download / "launched.txt").exists()


def test_a_file_republished_at_the_same_size_is_fetched_again_and_replaced_only_whole(launch, site, folders):
    site.add_file("slow/data.bin", 512 << 10)
    site.file_list(Site.LAUNCHER, "slow/data.bin", hashed=True)
    program = launch()
    program.click(*START_BUTTON)
    launched = folders.download / "launched.txt"
    program.wait(launched.exists, 120, "the first run's program")
    finished(program, folders, site)
    program.kill()
    old = (folders.download / "data.bin").read_bytes()
    (site.root / "slow" / "data.bin").write_bytes(random.Random("republished").randbytes(512 << 10))
    site.file_list(Site.LAUNCHER, "slow/data.bin", hashed=True)
    program = launch()
    program.click(*START_BUTTON)
    part = folders.download / "data.bin.vxpart"
    program.wait(lambda: part.exists() and part.stat().st_size > 64 << 10, 60, "the new copy on its way")
    assert (folders.download / "data.bin").read_bytes() == old  # whole, until the new copy is
    assert launched.read_text().strip() == "1"
    files = finished(program, folders, site)
    assert (folders.download / "data.bin").read_bytes() == files["data.bin"] != old
    program.wait(lambda: launched.read_text().strip() == "2", 60, "the program, started after")


def test_a_kill_at_any_moment_of_a_resume_keeps_the_bytes_already_there(launch, site, folders):
    site.add_file("paced/big.bin", 12 << 20)
    site.file_list("paced/big.bin", run="")
    part = folders.download / "big.bin.vxpart"
    program = launch()
    program.click(*START_BUTTON)
    program.wait(lambda: part.exists() and part.stat().st_size > 2 << 20, 60, "part of the file")
    time.sleep(1.5)  # the state is saved about once a second: the partial now has a valid one
    program.kill()
    for delay in (0.1, 0.3, 0.6, 1.0):
        program = launch()
        program.click(*START_BUTTON)
        time.sleep(delay)
        program.kill()
    program = launch()
    program.click(*START_BUTTON)
    files = finished(program, folders, site)
    assert (folders.download / "big.bin").read_bytes() == files["big.bin"]
    site.server.settle()
    gets = [r["range"] for r in site.server.requests() if r["method"] == "GET" and r["uri"] == "/paced/big.bin"]
    starts = [0 if asked == "-" else int(asked[6:].split("-")[0]) for asked in gets]
    # Each resume goes on from the bytes the state last saved: never from the start again.
    assert starts[0] == 0 and 0 < starts[1] and starts[1:] == sorted(starts[1:]), starts


def test_many_small_files_over_a_long_link_take_their_names_in_the_lists_order(launch, site, folders):
    names = [f"many/f{i:03}.bin" for i in range(200)]
    for i, name in enumerate(names):
        site.add_file(name, 3000 + 7 * i)
    link = harness.LongLink(harness.address_of("http"))
    try:
        urls = [f"http://{link.address}/{name}" for name in names + [Site.LAUNCHER]]
        site.file_list(*urls, run=urls[-1])
        program = launch()
        program.click(*START_BUTTON)
        launched = folders.download / "launched.txt"
        program.wait(launched.exists, 180, "the downloaded program's marker")
    finally:
        link.close()
    files = site.listed()
    for name, data in files.items():
        assert (folders.download / name).read_bytes() == data, name
    # Fetched several at a time, each takes its name in its turn (a rename
    # stamps its inode's change time), and the program starts after the last.
    taken = sorted(files, key=lambda name: (folders.download / name).stat().st_ctime_ns)
    assert taken == [Path(url).name for url in urls]
    assert launched.stat().st_mtime_ns >= (folders.download / taken[-1]).stat().st_ctime_ns
    gets = [r["uri"] for r in site.server.requests() if r["method"] == "GET" and r["uri"].startswith("/many/")]
    assert sorted(gets) == sorted(f"/{name}" for name in names)  # each fetched once


def test_a_pause_stops_the_files_fetched_ahead_and_nothing_whole_is_fetched_twice(launch, site, folders):
    site.add_file("paced/first.bin", 4 << 20)
    ahead = [f"glenmoor/client/ahead{i}.bin" for i in range(3)] + ["slow/ahead-slow.bin"]
    for name in ahead:
        site.add_file(name, 600 << 10)
    site.file_list("paced/first.bin", *ahead, run="")
    program = launch()
    program.click(*START_BUTTON)
    slow_part = folders.download / "ahead-slow.bin.vxpart"
    program.wait(lambda: slow_part.exists() and slow_part.stat().st_size > 64 << 10, 60, "a file fetched ahead")
    program.click(*START_BUTTON)  # pause
    program.move_to(20, 20)
    program.wait_screen(lambda shot: harness.look(shot, START_PLACE, START_LOOKS) == "start", 30, "the pause")
    assert not (folders.download / "ahead-slow.bin").exists()
    program.click(*START_BUTTON)
    files = finished(program, folders, site)
    for name, data in files.items():
        assert (folders.download / name).read_bytes() == data, name
    site.server.settle()
    for name in ahead:
        gets = [r["range"] for r in site.server.requests() if r["method"] == "GET" and r["uri"] == f"/{name}"]
        assert gets[0] == "-" and all(asked.startswith("bytes=") for asked in gets[1:]), (name, gets)


def with_bytes_changed(data, offsets):
    changed = bytearray(data)
    for offset in offsets:
        changed[offset] ^= 0xFF
    return bytes(changed)


def test_an_older_copy_gives_its_blocks_and_only_the_rest_is_fetched(launch, site, folders):
    """A file changed in place and a file with data inserted, listed with
    their block indexes: a small part of each is fetched, both end byte for
    byte, and the program starts only after."""
    client = site.root / "glenmoor" / "client"
    changed = site.add_file("glenmoor/client/changed.pak", 6 << 20).read_bytes()
    inserted = site.add_file("glenmoor/client/inserted.pak", 5 << 20).read_bytes()
    made = harness.publish("list", client, site.server.url("glenmoor/client/"), "--blocks", "--run",
                           "GlenmoorLauncher.exe")
    assert made.returncode == 0, made.stderr
    (site.root / "downlist.xml").write_bytes(made.stdout)
    folders.download.mkdir(parents=True)
    (folders.download / "changed.pak").write_bytes(with_bytes_changed(changed, [1 << 20, 3 << 20, (5 << 20) + 7]))
    (folders.download / "inserted.pak").write_bytes(inserted[:1 << 20] + inserted[(1 << 20) + (300 << 10):])
    program = launch()
    program.click(*START_BUTTON)
    program.wait((folders.download / "launched.txt").exists, 120, "the downloaded program's marker")
    assert (folders.download / "changed.pak").read_bytes() == changed
    assert (folders.download / "inserted.pak").read_bytes() == inserted
    files = finished(program, folders, site)
    for name, data in files.items():
        assert (folders.download / name).read_bytes() == data, name
    requests = site.server.requests()
    for name, data in (("changed.pak", changed), ("inserted.pak", inserted)):
        uri = f"/glenmoor/client/{name}"
        sent = sum(int(r["sent"]) for r in requests if r["method"] == "GET" and r["uri"] == uri)
        assert 0 < sent < len(data) // 10, (name, sent)
        assert [r["status"] for r in requests if r["uri"] == uri + ".vxblocks"] == ["206"]  # in two parts


def test_a_kill_during_a_delta_keeps_what_was_copied_and_fetched(launch, site, folders):
    """Killed while the older copy is compared (its bytes the file lacks make
    that last), then while the rest comes, the file ends byte for byte
    without ever being fetched whole, going on from the bytes fetched."""
    mib = 1 << 20
    data = site.add_file("paced/delta.bin", 48 * mib).read_bytes()
    made = harness.publish("list", site.root / "paced", site.server.url("paced/"), "--blocks")
    assert made.returncode == 0, made.stderr
    (site.root / "downlist.xml").write_bytes(made.stdout)
    folders.download.mkdir(parents=True)
    # 24 MiB to come over four connections at 2 MB/s each: three seconds.
    old = data[:4 * mib] + data[28 * mib:] + random.Random("other").randbytes(64 * mib)
    (folders.download / "delta.bin").write_bytes(old)
    part = folders.download / "delta.bin.vxpart"
    program = launch()
    program.click(*START_BUTTON)
    program.wait(part.exists, 60, "the comparison under way")
    program.kill()
    program = launch()
    program.click(*START_BUTTON)
    program.wait(lambda: site.server.active() > 1, 60, "the fetch under way")
    time.sleep(1.5)  # its state saved about once a second
    program.kill()
    assert (folders.download / "delta.bin").read_bytes() == old  # whole, until the new one is
    site.server.settle()
    before = len(site.server.requests())
    program = launch()
    program.click(*START_BUTTON)
    files = finished(program, folders, site)
    assert (folders.download / "delta.bin").read_bytes() == files["delta.bin"] == data
    site.server.settle()
    gets = [r for r in site.server.requests() if r["method"] == "GET" and r["uri"] == "/paced/delta.bin"]
    assert gets and all(r["range"].startswith("bytes=") for r in gets)
    assert sum(int(r["sent"]) for r in gets) < len(data)
    last = [r["range"][6:].split("-") for r in site.server.requests()[before:] if r["uri"] == "/paced/delta.bin"
            and r["method"] == "GET"]
    assert sum(int(to) - int(first) + 1 for first, to in last) < 24 * mib  # on from what the second run fetched


def test_a_slow_host_gives_its_pieces_up_to_a_fast_mirror(launch, site, folders):
    site.add_file("glenmoor/client/big16.bin", 16 << 20)
    slow = harness.LongLink(harness.address_of("https"), delay_ms=0, rate=20000)  # the mirror is nginx itself
    try:
        url = f"https://{slow.address}/glenmoor/client/big16.bin"
        site.file_list(url, run="")
        program = launch()
        program.click(*START_BUTTON)
        target = folders.download / "big16.bin"
        # From the slow host alone it would take some fourteen minutes.
        program.wait(lambda: target.exists() and target.stat().st_size == 16 << 20, 60, "the whole file")
    finally:
        slow.close()
    assert target.read_bytes() == site.listed()["big16.bin"]
    # What the slow host was asked for, past its first bytes, the mirror sent.
    gets = [r for r in site.server.requests() if r["method"] == "GET" and r["range"] != "-"]
    asked = {r["host"]: [] for r in gets}
    for r in gets:
        asked[r["host"]].append(tuple(int(n) for n in r["range"][6:].split("-")))
    for first, last in asked[slow.address]:
        assert any(first < start and end == last for start, end in asked[harness.ADDRESS]), (first, last)


def test_a_resume_that_meets_a_changed_file_starts_it_again_over_several_connections(launch, site, folders):
    path = site.add_file("paced/changing.bin", 20 << 20)
    site.file_list("paced/changing.bin", run="")
    part = folders.download / "changing.bin.vxpart"
    program = launch()
    program.click(*START_BUTTON)
    program.wait(lambda: part.exists() and part.stat().st_size > 4 << 20, 60, "part of the file")
    time.sleep(1.5)  # its state saved
    program.kill()
    path.write_bytes(random.Random("changed").randbytes(20 << 20))
    os.utime(path, (time.time() + 60, time.time() + 60))  # another ETag
    site.file_list("paced/changing.bin", run="")  # the new version's list
    site.server.settle()
    before = len(site.server.requests())
    program = launch()
    program.click(*START_BUTTON)
    files = finished(program, folders, site)
    assert (folders.download / "changing.bin").read_bytes() == files["changing.bin"]
    site.server.settle()
    gets = [r for r in site.server.requests()[before:] if r["method"] == "GET" and r["uri"] == "/paced/changing.bin"]
    # The kept bytes go (their version, and their list's hash); the new file
    # comes over several connections, never as one whole body.
    assert len([r for r in gets if r["status"] == "206"]) >= 2
    assert all(int(r["sent"]) < 10 << 20 for r in gets)
