"""The publisher's command against the real program: what it writes is what
the downloader reads."""
import harness
from harness import START_BUTTON


def test_a_listed_folder_downloads_byte_for_byte(launch, site, folders):
    client = site.root / "glenmoor" / "client"
    site.add_file("glenmoor/client/extra/voice.pak", 300 << 10)
    site.add_file("glenmoor/client/more/MAPS.PAK", 10)  # the name of another file
    site.add_file("glenmoor/client/notes?.txt", 10)       # no name the downloader saves
    made = harness.publish("list", client, site.server.url("glenmoor/client/"), "--run", "GlenmoorLauncher.exe")
    assert made.returncode == 0, made.stderr
    left_out = made.stderr.decode().splitlines()
    assert [line.split(":")[1].strip() for line in left_out] == ["more/MAPS.PAK", "notes?.txt"]
    (site.root / "downlist.xml").write_bytes(made.stdout)
    files = site.listed()
    assert sorted(files) == ["GlenmoorLauncher.exe", "maps.pak", "sounds.pak", "textures.pak", "voice.pak"]
    assert made.stdout.count(b' sha256="') == 5 and made.stdout.count(b'run="true"') == 1
    program = launch()
    program.click(*START_BUTTON)
    program.wait((folders.download / "launched.txt").exists, 120, "the downloaded program's marker")
    for name, data in files.items():
        assert (folders.download / name).read_bytes() == data, name


def test_words_the_command_does_not_take_are_refused():
    for words in (("list",), ("list", "a", "b", "--unknown"), ("list", "a", "b", "--run"), ("nothing",)):
        refused = harness.publish(*words)
        assert refused.returncode == 2, words
        assert b"usage: vexil-publish" in refused.stderr
