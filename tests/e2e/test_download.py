"""Whole downloads: the list byte for byte, pause and resume, a large file
over several connections, the program started at the end or not."""
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
