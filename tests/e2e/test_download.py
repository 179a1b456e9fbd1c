"""Whole downloads: the list byte for byte, pause and resume, a large file
over several connections, the program started at the end or not."""
import harness
from harness import START_BUTTON, START_LOOKS, START_PLACE


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
