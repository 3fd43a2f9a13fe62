"""What the end-to-end cases share: one case's folder, its copy of the program, the
install folder, and ways to look at and drive the running program."""

import os
import select
import shutil
import time

import images
import pe_resources
from wine_env import CLASS, Failure, Program, check, parse_dialogs, parse_window, winpath

LOCATION_KEY = "SOFTWARE\\KELDA\\Moonrail"
LOCATION_VALUE = "Destination"
CHINESE_KEY = "SOFTWARE\\vosk\\moonrail"
QUESTION = "This file is different with PatchFile.\nDo you want to continue patch ?"
COMPLETED = " Patch is completed."
FAILED = " Patch is failed."
WINDOW_AT = (100, 100, 466, 313)
QUIT_BUTTON = (346, 2, 364, 18)  # client coordinates
BAR_RIGHT_FULL = 349
WAIT_MS = 20000


class Case:
    """One case's folder, program and helpers."""

    def __init__(self, env, name):
        self.env = env
        self.name = name
        self.folder = os.path.join(env.work, "cases", name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.install_folder = os.path.join(self.folder, "install")
        self.program = None

    def path(self, name):
        return os.path.join(self.folder, name)

    # ----- the program and its package -----

    def program_with(self, package=None, drop=()):
        """A copy of the built program carrying `package` (bytes) as resource DAT 136, or
        the built-in sample; `drop` names resources to remove ("package", "skin")."""
        exe = self.path("MRManualPatch.exe")
        shutil.copyfile(self.env.exe, exe)
        if package is not None:
            with open(self.path("package.bin"), "wb") as f:
                f.write(package)
            self.update_resource(exe, "DAT", 136, 1042, winpath(self.path("package.bin")))
        if "package" in drop:
            pe_resources.hide_type(exe, "DAT", "DAX")
        if "skin" in drop:
            pe_resources.renumber(exe, 2, 130, 131)  # RT_BITMAP 130 -> 131; 129 stays
        return exe

    def update_resource(self, exe, kind, number, lang, source):
        rc, out = self.env.inspect("resource", winpath(exe), kind, number, lang, source)
        check(rc == 0, "cannot change resource %s %d of the program: %s" % (kind, number, out))

    def start(self, exe, locale=None):
        self.program = Program(self.env, exe, self.folder, locale)
        return self.program

    def finish(self, timeout=30):
        """Waits for the program to end; returns its exit code."""
        return self.program.wait(timeout)

    def set_location(self, folder, key=LOCATION_KEY, value=LOCATION_VALUE):
        """Writes the install location (a file in `folder`) into the 32-bit registry view,
        or removes both locations when `folder` is None."""
        self.env.reg_delete(LOCATION_KEY)
        self.env.reg_delete(CHINESE_KEY)
        if folder is not None:
            self.env.reg_set(key, value, winpath(os.path.join(folder, "Start.exe")))

    # ----- looking at it -----

    def window(self, timeout_ms=WAIT_MS):
        rc, lines = self.env.inspect("window", CLASS, timeout_ms, timeout_ms=timeout_ms)
        check(rc == 0, "the main window did not appear: %s" % lines)
        return parse_window(lines)

    def window_gone(self):
        rc, _ = self.env.inspect("window", CLASS, 0)
        return rc != 0

    def dialog(self, timeout_ms=WAIT_MS):
        """The one dialog owned by the main window (waits for it)."""
        rc, lines = self.env.inspect("dialogs", CLASS, timeout_ms, timeout_ms=timeout_ms)
        check(rc == 0, "no dialog owned by the main window appeared")
        dialogs = parse_dialogs(lines)
        check(len(dialogs) == 1, "expected one dialog, found %d: %s" % (len(dialogs), lines))
        return dialogs[0]

    def no_dialog(self, wait_ms):
        rc, lines = self.env.inspect("dialogs", CLASS, wait_ms, timeout_ms=wait_ms)
        check(rc != 0, "unexpected dialog: %s" % lines)

    def press(self, button):
        rc, out = self.env.inspect("press", CLASS, button, WAIT_MS, timeout_ms=WAIT_MS)
        check(rc == 0, "cannot press %s: %s" % (button, out))

    def expect_result_box(self, text, ok_text="OK"):
        box = self.dialog()
        check(box["caption"] == "MRPatch", "result box caption %r" % box["caption"])
        check(box["statics"] == [text], "result box text %r, expected %r" %
              (box["statics"], text))
        buttons = box["buttons"] if ok_text else len(box["buttons"])
        check(buttons == ([ok_text] if ok_text else 1), "result box buttons %r" % box["buttons"])

    def screenshot(self, name):
        return self.env.screenshot(self.path(name + ".png"))

    def window_picture(self, shot, at=WINDOW_AT):
        return images.load(shot, (at[0], at[1], at[2] - at[0], at[3] - at[1]))

    def expected_picture(self, exe, bar_right, percent, status, flat=False):
        out = self.path("expected-%d-%s.bmp" % (bar_right, percent.replace("%", "")))
        args = ["render", winpath(exe), winpath(out), bar_right, percent, status]
        if flat:
            args.append("flat")
        rc, lines = self.env.inspect(*args)
        check(rc == 0, "cannot render the expected picture: %s" % lines)
        return images.load(out)

    def expect_picture(self, name, exe, bar_right, percent, status, flat=False):
        """The window shows exactly the skin (or flat colours) with this bar and these
        texts. The Quit button, a child window, is not part of the painting. The window
        repaints every 333 ms, so a change may take that long to show: screenshots are
        taken until one matches or two seconds have passed. Returns the screenshot."""
        expected = self.expected_picture(exe, bar_right, percent, status, flat)
        deadline = time.time() + 2.0
        while True:
            shot = self.screenshot(name)
            seen = self.window_picture(shot)
            count, box = images.differences(seen, expected, ignore=[QUIT_BUTTON])
            if count == 0:
                return shot
            if time.time() > deadline:
                raise Failure("%s: %d pixels differ from the expected picture (bar to %d, %r, "
                              "%r) within %s" % (name, count, bar_right, percent, status, box))
            time.sleep(0.2)

    # ----- the install folder -----

    def expect_files(self, client, version):
        """Every file of the client equals its `version` ("old", "new" or a dict of name to
        version), and no file of the patch is left over."""
        for name in sorted(set(client.old) | set(client.new)):
            want = version if isinstance(version, str) else version[name]
            data = client.old.get(name) if want == "old" else client.new.get(name)
            path = os.path.join(self.install_folder, name)
            if data is None:
                check(not os.path.exists(path), "%s should not exist" % name)
                continue
            check(os.path.exists(path), "%s is missing" % name)
            with open(path, "rb") as f:
                check(f.read() == data, "%s is not the %s version" % (name, want))

    def leftovers(self):
        return sorted(n for n in os.listdir(self.install_folder) if n.startswith(".temp_"))

    def expect_old_or_new(self, client):
        for name in sorted(set(client.old) | set(client.new)):
            path = os.path.join(self.install_folder, name)
            data = open(path, "rb").read() if os.path.exists(path) else None
            check(data in (client.old.get(name), client.new.get(name)),
                  "%s is neither the old nor the new version" % name)

    def cleanup(self):
        if self.program is not None:
            if self.program.running():
                self.env.inspect("thaw", CLASS)
                try:
                    self.screenshot("at-failure")
                except Exception:  # the screenshot is only a help for the reader
                    pass
            self.program.kill()


def freeze_at(case, name, size=0):
    """Starts an probe that stops the run's worker once the install folder holds
    `name` with at least `size` bytes. Start it before the program: it waits for the
    window, then polls the file without pause. Finish with frozen()."""
    return case.env.inspect_background("freeze", CLASS,
                                       winpath(os.path.join(case.install_folder, name)), size,
                                       WAIT_MS)


def frozen(case, freezer):
    rc, out = case.env.finish_inspect(freezer, WAIT_MS / 1000.0 + 30)
    check(rc == 0, "could not stop the run: %s" % out)
    time.sleep(0.5)  # let the last repaint reach the screen


def click_quit(case, window):
    left, top = window[0], window[1]
    case.env.xdotool("mousemove", left + QUIT_BUTTON[0] + 9, top + QUIT_BUTTON[1] + 8,
                     "click", "1")


def expect_partial_bar(case, shot, exe, status):
    """The bar ends somewhere inside its frame and the percentage matches its length."""
    seen = case.window_picture(shot)
    full = case.expected_picture(exe, BAR_RIGHT_FULL, "", "")
    empty = case.expected_picture(exe, -1, "", "")
    row = 196  # below the text
    right = 17
    while right < BAR_RIGHT_FULL and seen.pixel(right, row) == full.pixel(right, row) and \
            seen.pixel(right, row) != empty.pixel(right, row):
        right += 1
    check(17 < right < BAR_RIGHT_FULL, "no partial bar on the running window (ends at %d)" % right)
    # right = 17 + trunc(332 r): r lies in [(right-17)/332, (right-16)/332).
    low = (right - 17) * 100 // 332
    high = ((right - 16) * 100 - 1) // 332
    for percent in range(low, high + 1):
        expected = case.expected_picture(exe, right, "%d%%" % percent, status)
        count, _ = images.differences(seen, expected, ignore=[QUIT_BUTTON])
        if count == 0:
            return
    raise Failure("the running window (bar to %d) shows neither of %d%%..%d%% with status %r"
                  % (right, low, high, status))


def hold(case, name, trigger, delay_ms):
    """Another program keeps `name` open (sharing reads and writes, not deletion)."""
    holder = case.env.inspect_background(
        "hold", winpath(os.path.join(case.install_folder, name)),
        winpath(os.path.join(case.install_folder, trigger)) if trigger else "-", delay_ms,
        WAIT_MS)
    ready, _, _ = select.select([holder.stdout], [], [], 30)
    line = holder.stdout.readline().decode("latin-1") if ready else "(nothing in 30 s)"
    check(line.startswith("holding="), "the holder could not open %s: %r" % (name, line))
    return holder
