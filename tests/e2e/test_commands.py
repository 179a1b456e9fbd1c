"""The system close during a download, and the folder browser."""
import os
import signal
import subprocess

import pytest

import harness
from harness import BOX_LOOKS, BOX_PLACE, FOLDER_BUTTON, MESSAGE_LINE, START_BUTTON, look, red_pixels, wait_for


def test_a_system_close_during_a_download_cancels_it(launch, site, folders):
    site.add_file("slow/big.bin", 1536 << 10)
    site.add_file("glenmoor/client/small.bin", 64 << 10)
    site.file_list("slow/big.bin", "glenmoor/client/small.bin", run="")
    program = launch()
    program.click(*START_BUTTON)
    partial = folders.download / "big.bin.vxpart"
    program.wait(lambda: partial.exists() and partial.stat().st_size > 128 << 10, 60, "part of the file")
    program.close_by_system()
    assert program.wait_exit() == 0
    assert 0 < partial.stat().st_size < len(site.listed()["big.bin"])
    assert not (folders.download / "big.bin").exists()
    assert not (folders.download / "small.bin").exists()  # fetched ahead, it waits for its turn
    # nginx writes a line when the cancelled transfer's connection is gone.
    site.server.settle()
    transfers = [r for r in site.server.requests() if r["agent"] == "Vexil Engine"]
    big = [(r["method"], r["uri"], r["range"]) for r in transfers if r["uri"] == "/slow/big.bin"]
    assert big == [("GET", "/slow/big.bin", "-")]
    assert int(next(r for r in transfers if r["uri"] == "/slow/big.bin")["sent"]) < len(site.listed()["big.bin"])


def browser_windows():
    return [w for w in harness.x_tool("search", "--onlyvisible", "--classname", "vexildownloader").split()
            if (harness.window_geometry(w) or (0, 0, 0, 0))[2:4] != harness.CLIENT_SIZE]


def test_cancelling_the_folder_browser_clears_a_retry_allowing_message(launch, site, folders):
    data = "glenmoor/client/data.bin"
    site.add_file(data, 200 << 10)
    site.file_list(data, run="")
    program = launch()
    # A file under the name that another program holds: the engine cannot
    # replace it, an error that allows a retry.
    folders.download.mkdir(parents=True, exist_ok=True)
    held = folders.download / "data.bin"
    held.write_bytes(b"the user's copy")
    holder = subprocess.Popen(harness.wine_command(harness.BUILD / "tests" / "window_ctl.exe", "hold",
                                                   harness.windows_path(held)),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        assert holder.stdout.readline().strip() == b"held"
        program.click(*START_BUTTON)
        program.move_to(20, 20)
        program.wait_screen(lambda shot: red_pixels(shot, *MESSAGE_LINE) > 20, 60, "the locked file's message")
    finally:
        os.killpg(holder.pid, signal.SIGKILL)
        holder.wait()
    program.click(*FOLDER_BUTTON)
    try:
        wait_for(lambda: not program.running() or browser_windows(), 30, "the folder browser")
    except AssertionError:
        pytest.fail("the folder browser did not open")
    if not program.running() and harness.UNDER_QEMU:
        pytest.skip("the shell folder browser ends the program under Wine on qemu-user (COM exceptions)")
    assert program.running()
    assert harness.run_windows_tool(harness.BUILD / "tests" / "window_ctl.exe", "close", "#32770") == 0
    program.wait(lambda: not browser_windows(), 30, "the folder browser to close")
    shot = program.wait_screen(lambda shot: look(shot, BOX_PLACE, BOX_LOOKS) == "ticked", 30,
                               "the check box instead of the message icon")
    assert red_pixels(shot, *MESSAGE_LINE) == 0
    assert program.running()
