"""The end-to-end cases: MRManualPatch.exe patching real install folders under Wine,
looked at and driven from outside (the probe, xdotool, screenshots)."""

import os

import fixtures
from wine_case import (BAR_RIGHT_FULL, CHINESE_KEY, COMPLETED, FAILED, LOCATION_KEY, QUESTION,
                       QUIT_BUTTON, WINDOW_AT, click_quit, expect_partial_bar, freeze_at, frozen,
                       hold)
from wine_env import CLASS, check, parse_dialogs, winpath


def check_geometry(case):
    info = case.window()
    check(info["window"] == WINDOW_AT, "window rectangle %s, expected %s" %
          (info["window"], WINDOW_AT))
    check(info["client"] == WINDOW_AT, "client area %s: the window must have no frame" %
          (info["client"],))
    style = int(info["style"], 16)
    check(style & 0x80000000, "the window is not a popup")
    check(not style & 0x00C40000, "the window has a caption or a sizing frame")
    check(info["title"] == CLASS, "title %r" % info["title"])
    buttons = [c for c in info["children"] if c["id"] == str(0x8003)]
    check(len(buttons) == 1, "no Quit button: %s" % info["children"])
    quit_button = buttons[0]
    check(quit_button["class"] == "Button" and quit_button["text"] == "Quit",
          "Quit button %s" % quit_button)
    check(quit_button["rect"] == QUIT_BUTTON, "Quit button at %s, expected %s" %
          (quit_button["rect"], QUIT_BUTTON))
    check(quit_button["visible"] == "1", "the Quit button is hidden")


def case_window(case):
    """Geometry; the built program with its sample package patches a folder."""
    case.set_location(case.install_folder)
    client = fixtures.Client()
    client.install(case.install_folder)
    exe = case.program_with()
    case.start(exe)
    check_geometry(case)
    case.expect_result_box(COMPLETED)
    case.expect_picture("completed-sample", exe, BAR_RIGHT_FULL, "100%", "Patch Complete.")
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")
    sample = os.path.join(case.install_folder, "MRPatch-sample.txt")
    check(os.path.exists(sample), "the sample package did not add its file")


def case_complete(case):
    """A whole patch: archives rebuilt, files replaced and added; 100 % on screen."""
    client = fixtures.standard_client()
    client.install(case.install_folder)
    case.set_location(case.install_folder)
    exe = case.program_with(client.package())
    case.start(exe)
    case.expect_result_box(COMPLETED)
    case.expect_picture("completed", exe, BAR_RIGHT_FULL, "100%", "Patch Complete.")
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")
    case.expect_files(client, "new")
    check(case.leftovers() == [], "files left behind: %s" % case.leftovers())
    trace = case.program.trace()
    for line in ("To Compare File Start ..", "char1.pkg file is compared..",
                 "map7.pkg file is compared.."):
        check(line in trace, "trace line %r missing from standard output: %s" % (line, trace))


def case_embed(case):
    """An operator's patcher: mrpatch.exe embed writes the package into a copy of the
    program as resource DAT 136; the copy then patches like a built one."""
    client = fixtures.standard_client()
    client.install(case.install_folder)
    case.set_location(case.install_folder)
    package = case.path("patch.pkgdata")
    with open(package, "wb") as f:
        f.write(client.package())
    mrpatch = os.path.join(case.env.windows_build, "src", "cli", "mrpatch.exe")
    patcher = case.path("Patcher.exe")
    rc, out = case.env.wine([mrpatch, "embed", "--package", winpath(package),
                             "--program", winpath(case.env.exe), "-o", winpath(patcher)])
    check(rc == 0, "mrpatch.exe embed failed (%d): %s" % (rc, out))
    rc, out = case.env.wine([mrpatch, "inspect", winpath(package)])
    check(rc == 0 and "char1.pkg" in out, "mrpatch.exe inspect: %s" % out)
    case.start(patcher)
    case.expect_result_box(COMPLETED)
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")
    case.expect_files(client, "new")
    check(case.leftovers() == [], "files left behind: %s" % case.leftovers())


def mismatch_client(case):
    client = fixtures.standard_client()
    # The installed map7.pkg is another version than the one the patch was made for.
    other, _ = fixtures.version_pair(9, 5, 1000)
    client.old["map7.pkg"] = other.bytes()
    client.install(case.install_folder)
    case.set_location(case.install_folder)
    return client


def expect_question(case):
    box = case.dialog()
    check(box["caption"] == "map7.pkg", "question caption %r" % box["caption"])
    check(box["statics"] == [QUESTION], "question text %r" % box["statics"])
    check(box["buttons"] == ["Yes", "No"], "question buttons %r" % box["buttons"])


def case_mismatch_yes(case):
    client = mismatch_client(case)
    exe = case.program_with(client.package())
    case.start(exe)
    expect_question(case)
    case.press("Yes")
    case.expect_result_box(COMPLETED)
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")
    expected = {name: "new" for name in client.new}
    expected["map7.pkg"] = "old"  # left out, untouched
    case.expect_files(client, expected)
    check(case.leftovers() == [], "files left behind: %s" % case.leftovers())


def case_mismatch_no(case):
    client = mismatch_client(case)
    exe = case.program_with(client.package())
    case.start(exe)
    expect_question(case)
    case.press("No")
    case.expect_result_box(FAILED)
    case.expect_picture("stopped-at-question", exe, -1, "0%", "Creating PatchData....")
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")
    case.expect_files(client, "old")
    check(case.leftovers() == [], "files left behind: %s" % case.leftovers())


def case_browser_cancel(case):
    """No install location: the folder browser; cancelled, the run fails."""
    case.set_location(None)
    exe = case.program_with()
    case.start(exe)
    browser = case.dialog()
    check("Select Directory" in browser["statics"], "browser texts %r" % browser["statics"])
    case.screenshot("folder-browser")
    case.press("Cancel")
    case.expect_result_box(FAILED)
    case.expect_picture("browser-cancelled", exe, -1, "0%", "")
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")
    # The lookup opened the key with full access in the 32-bit view, creating it empty.
    rc32, _ = case.env.reg_query(LOCATION_KEY, 32)
    rc64, _ = case.env.reg_query(LOCATION_KEY, 64)
    check(rc32 == 0 and rc64 != 0, "the key was not created in the 32-bit view only")


def case_messages(case):
    """Unknown commands and result values are ignored; the system close command ends the
    program like Quit, even while the worker waits in the folder browser."""
    case.set_location(None)
    exe = case.program_with()
    case.start(exe)
    case.dialog()  # the folder browser: the run is waiting
    case.env.inspect("post", CLASS, 1034, 2)
    case.env.inspect("post", CLASS, 0x0111, 0x8004)  # WM_COMMAND, another identifier
    rc, lines = case.env.inspect("dialogs", CLASS, 1500, timeout_ms=1500)
    check(rc == 0 and all(d["caption"] != "MRPatch" for d in parse_dialogs(lines)),
          "a result box appeared: %s" % lines)
    check(not case.window_gone(), "the window closed")
    case.env.inspect("post", CLASS, 0x0010, 0)  # WM_CLOSE
    check(case.finish() == 0, "exit code is not 0")


def case_drag_and_quit_while_writing(case):
    """Caught half-way through writing a file: the bar and the percentage agree, the
    window is dragged by its surface, and Quit ends the program with every file old."""
    client = fixtures.Client()
    client.add_archive("a.pkg", *fixtures.version_pair(5, 8, 32 * 1024, changed={2}))
    # The ampersand must be drawn as itself, not as a mnemonic prefix.
    old, new, entry = fixtures.slow_archive_entry("slow&steady.pkg", 8, 150000)
    client.add_entry("slow&steady.pkg", old.bytes(), new.bytes(), entry)
    client.install(case.install_folder)
    case.set_location(case.install_folder)
    exe = case.program_with(client.package())
    freezer = freeze_at(case, ".temp_slow&steady.pkg", len(new.bytes()) // 2)
    case.start(exe)
    frozen(case, freezer)
    shot = case.screenshot("running")
    expect_partial_bar(case, shot, exe, "Patch slow&steady.pkg ")

    # Drag from a point of the artwork: the window follows the mouse.
    case.env.xdotool("mousemove", 150, 150, "mousedown", "1")
    for step in range(1, 11):
        case.env.xdotool("mousemove", 150 + 20 * step, 150 + 18 * step)
    case.env.xdotool("mouseup", "1")
    moved = case.window()["window"]
    check(moved == (300, 280, 666, 493), "after dragging by (200, 180) the window is at %s" %
          (moved,))
    case.screenshot("dragged")

    click_quit(case, moved)
    check(case.finish() == 0, "exit code is not 0 after Quit")
    case.expect_files(client, "old")


def case_quit_while_replacing(case):
    """Caught while files are being put in place: the earlier archive is new, the rest
    old; Quit ends the program and leaves each file whole."""
    client = fixtures.Client()
    client.add_archive("a.pkg", *fixtures.version_pair(5, 8, 32 * 1024, changed={2}))
    client.add_whole_file("big.dat", fixtures.random_bytes(6, 16 * 1024 * 1024),
                          old=b"old big file")
    client.add_archive("c.pkg", *fixtures.version_pair(7, 8, 32 * 1024, changed={5}))
    client.install(case.install_folder)
    case.set_location(case.install_folder)
    exe = case.program_with(client.package())
    freezer = freeze_at(case, ".temp_big.dat.zip")
    case.start(exe)
    frozen(case, freezer)
    # Every entry is written: the bar is full, the last entry's name is on the line.
    case.expect_picture("replacing", exe, BAR_RIGHT_FULL, "100%", "Patch c.pkg ")
    click_quit(case, WINDOW_AT)
    check(case.finish() == 0, "exit code is not 0 after Quit")
    case.expect_files(client, {"a.pkg": "new", "big.dat": "old", "c.pkg": "old"})


def case_no_skin(case):
    """Without bitmap 130 the window is painted in flat colours and the patch runs."""
    case.set_location(case.install_folder)
    fixtures.Client().install(case.install_folder)
    exe = case.program_with(drop=("skin",))
    case.start(exe)
    case.expect_result_box(COMPLETED)
    case.expect_picture("flat-completed", exe, BAR_RIGHT_FULL, "100%", "Patch Complete.",
                        flat=True)
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")
    check(os.path.exists(os.path.join(case.install_folder, "MRPatch-sample.txt")),
          "the patch did not run")


def case_no_package(case):
    """Without resource DAT 136 the run fails before any status text is set."""
    case.set_location(case.install_folder)
    fixtures.Client().install(case.install_folder)
    exe = case.program_with(drop=("package",))
    case.start(exe)
    case.expect_result_box(FAILED)
    case.expect_picture("no-package", exe, -1, "0%", "")
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")


def held_client(case):
    client = fixtures.Client()
    client.add_archive("a.pkg", *fixtures.version_pair(5, 8, 32 * 1024, changed={2}))
    client.install(case.install_folder)
    case.set_location(case.install_folder)
    return client


def case_replace_waits_for_holder(case):
    """A program that holds the installed archive for a moment delays its replacement;
    it does not fail it."""
    client = held_client(case)
    exe = case.program_with(client.package())
    holder = hold(case, "a.pkg", ".temp_a.pkg", 700)
    case.start(exe)
    case.expect_result_box(COMPLETED)
    case.press("OK")
    check(case.finish() == 0, "exit code is not 0")
    case.env.finish_inspect(holder, 30)
    case.expect_files(client, "new")
    check(case.leftovers() == [], "files left behind: %s" % case.leftovers())


def case_replace_blocked_keeps_file(case):
    """An archive that cannot be replaced keeps its old content, its rebuilt file is
    removed, and the run reports failure."""
    client = held_client(case)
    exe = case.program_with(client.package())
    holder = hold(case, "a.pkg", None, 60000)
    try:
        case.start(exe)
        case.expect_result_box(FAILED)
        case.press("OK")
        check(case.finish() == 0, "exit code is not 0")
    finally:
        holder.kill()
        holder.wait(30)
    case.expect_files(client, "old")
    check(case.leftovers() == [], "files left behind: %s" % case.leftovers())
    check(any(line.startswith("a.pkg is not patched") for line in case.program.trace()),
          "no trace line about a.pkg: %s" % case.program.trace())


def case_language_rows(case):
    """Language 2052 reads only the Chinese location; 1028 (another Chinese) and every
    other language read only the default one."""
    chinese = os.path.join(case.folder, "install-2052")
    default = os.path.join(case.folder, "install-default")
    for folder in (chinese, default):
        fixtures.Client().install(folder)
    case.set_location(default)
    case.env.reg_set(CHINESE_KEY, "Loader", winpath(os.path.join(chinese, "Start.exe")))
    exe = case.program_with()
    sample = "MRPatch-sample.txt"
    for locale, patched, untouched in (("zh_CN.UTF-8", chinese, default),
                                       ("zh_TW.UTF-8", default, chinese)):
        case.start(exe, locale)
        case.expect_result_box(COMPLETED, ok_text=None)  # the button speaks the language
        case.press("#1")  # IDOK
        check(case.finish() == 0, "exit code is not 0")
        check(os.path.exists(os.path.join(patched, sample)),
              "%s: the patch did not go to %s" % (locale, os.path.basename(patched)))
        check(not os.path.exists(os.path.join(untouched, sample)),
              "%s: the patch went to %s" % (locale, os.path.basename(untouched)))
        os.remove(os.path.join(patched, sample))
        case.program.kill()


CASES = {
    "window": case_window,
    "complete": case_complete,
    "embed": case_embed,
    "mismatch_yes": case_mismatch_yes,
    "mismatch_no": case_mismatch_no,
    "browser_cancel": case_browser_cancel,
    "messages": case_messages,
    "drag_and_quit_while_writing": case_drag_and_quit_while_writing,
    "quit_while_replacing": case_quit_while_replacing,
    "no_skin": case_no_skin,
    "no_package": case_no_package,
    "language_rows": case_language_rows,
    "replace_waits_for_holder": case_replace_waits_for_holder,
    "replace_blocked_keeps_file": case_replace_blocked_keeps_file,
}
