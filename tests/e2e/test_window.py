"""What the window shows and how it answers the pointer."""
import harness
from harness import (BOX_LOOKS, BOX_PLACE, CLOSE_BUTTON, CLOSE_LOOKS, CLOSE_PLACE, FOLDER_LOOKS, FOLDER_PLACE,
                     MESSAGE_LINE, START_BUTTON, START_LOOKS, START_PLACE, look, red_pixels)

AWAY = (20, 20)  # plain background: no button, no text


def test_while_downloading_pause_shows_and_close_is_inert_then_closes_when_idle(launch, site, folders):
    site.add_file("slow/big.bin", 512 << 10)
    site.file_list("slow/big.bin", run="")
    program = launch()
    program.move_to(*AWAY)
    assert look(program.screenshot(), FOLDER_PLACE, FOLDER_LOOKS) == "folder"
    program.click(*START_BUTTON)
    program.move_to(*AWAY)
    shot = program.wait_screen(lambda shot: look(shot, START_PLACE, START_LOOKS) == "pause"
                               and look(shot, CLOSE_PLACE, CLOSE_LOOKS) == "greyed", 30, "pause and greyed close")
    assert look(shot, FOLDER_PLACE, FOLDER_LOOKS) == "greyed"
    program.click(*CLOSE_BUTTON)
    program.move_to(*AWAY)
    shot = program.wait_screen(lambda shot: look(shot, START_PLACE, START_LOOKS) != "pause", 60,
                               "the end of the download")
    assert program.running()
    assert look(shot, START_PLACE, START_LOOKS) == "start"
    assert look(shot, CLOSE_PLACE, CLOSE_LOOKS) == "close"
    assert look(shot, FOLDER_PLACE, FOLDER_LOOKS) == "greyed"  # stays so once bytes have come
    assert (folders.download / "big.bin").read_bytes() == site.listed()["big.bin"]
    program.click(*CLOSE_BUTTON)
    assert program.wait_exit() == 0


def test_an_engine_error_shows_in_red_where_the_label_was(launch, site):
    missing = site.add_file("glenmoor/client/missing.bin", 1000)
    site.file_list("glenmoor/client/missing.bin", run="")
    program = launch()
    missing.unlink()  # sized, then gone
    program.move_to(*AWAY)
    ready = program.screenshot()
    assert red_pixels(ready, *MESSAGE_LINE) == 0
    assert look(ready, BOX_PLACE, BOX_LOOKS) == "ticked"
    program.click(*START_BUTTON)
    program.move_to(*AWAY)
    shot = program.wait_screen(lambda shot: red_pixels(shot, *MESSAGE_LINE) > 20, 60, "a red message")
    assert look(shot, BOX_PLACE, BOX_LOOKS) == "message icon"
    gets = [r for r in site.server.requests() if r["method"] == "GET" and r["uri"].endswith("/missing.bin")]
    assert [r["status"] for r in gets] == ["404"]


def test_dragging_the_background_moves_the_window(launch):
    program = launch()
    x, y = program.origin()
    program.press(*AWAY)
    for step in range(1, 5):  # screen coordinates: the window moves under the pointer
        harness.x_tool("mousemove", x + AWAY[0] + 15 * step, y + AWAY[1] + 10 * step)
    program.wait(lambda: program.origin() == (x + 60, y + 40), 20, "the window 60 right and 40 down")
    program.release()
    program.move_to(*AWAY)
    assert program.origin() == (x + 60, y + 40)


def test_a_button_looks_different_under_the_pointer_and_pressed(launch, site):
    program = launch()
    program.move_to(*AWAY)

    def shows(name):
        program.wait_screen(lambda shot: look(shot, START_PLACE, START_LOOKS) == name, 20, f"the {name} look")

    shows("start")
    program.move_to(*START_BUTTON)
    shows("start hover")
    harness.x_tool("mousedown", 1)
    shows("start down")
    program.move_to(*AWAY)
    shows("start down")
    program.release()
    shows("start")
    assert not [r for r in site.server.requests() if r["agent"] == "Vexil Engine"]
