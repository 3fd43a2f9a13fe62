"""The Wine side of the end-to-end tests: a virtual X display, a Wine prefix of our own,
and helpers to run the program and the probe in them, look at the registry and take
screenshots. Every wait has a timeout; nothing here blocks without one.

The environment is made once per suite (setup) and shared by the cases through a small
JSON file in the work folder; teardown ends the X server and the Wine server and removes
the prefix, keeping the cases' artifacts (screenshots, logs, install folders).
"""

import json
import os
import shutil
import signal
import subprocess
import time

SKIP = 77  # ctest's skip code: no Windows build to test
CLASS = "MR_ManualPatch"
SCREEN = (1600, 1200)


class Failure(Exception):
    """A check of a case failed."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def convert_tool():
    # /usr/local/bin/convert may be a stand-in; the real ImageMagick has these names.
    for name in ("/usr/bin/convert-im6.q16", "/usr/bin/convert"):
        if os.path.exists(name):
            return name
    raise Failure("ImageMagick's convert is not installed")


class WineEnv:
    def __init__(self, work, windows_build):
        self.work = os.path.abspath(work)
        self.windows_build = os.path.abspath(windows_build)
        self.exe = os.path.join(self.windows_build, "src", "app", "MRManualPatch.exe")
        self.probe = os.path.join(self.windows_build, "src", "app", "probe",
                                      "mrprobe.exe")
        self.prefix = os.path.join(self.work, "prefix")
        self.state_file = os.path.join(self.work, "env.json")
        self.state = {}

    # ----- environment -----

    def built(self):
        return os.path.exists(self.exe) and os.path.exists(self.probe)

    def env(self):
        e = dict(os.environ)
        e.update({
            "WINEPREFIX": self.prefix,
            "WINEDEBUG": "-all",
            # No Mono or Gecko download prompts while the prefix is made.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LANG": "C", "LC_ALL": "C",  # system default language 1033
        })
        if "display" in self.state:
            e["DISPLAY"] = ":%d" % self.state["display"]
        return e

    def setup(self):
        self.teardown(quiet=True)
        os.makedirs(self.work, exist_ok=True)
        log = open(os.path.join(self.work, "xvfb.log"), "wb")
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             "%dx%dx24" % SCREEN, "-nolisten", "tcp", "-ac"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, pass_fds=(write_end,),
            start_new_session=True)
        os.close(write_end)
        display = self._read_display(read_end, xvfb)
        self.state = {"display": display, "xvfb_pid": xvfb.pid}
        self._save()
        shutil.rmtree(self.prefix, ignore_errors=True)
        # A persistent server keeps every later wine call fast; its output goes to a file
        # so that it holds no pipe of the test runner open.
        server_log = open(os.path.join(self.work, "wineserver.log"), "wb")
        subprocess.Popen(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                         stdout=server_log, stderr=server_log, start_new_session=True).wait(30)
        started = time.time()
        self.run_logged(["wineboot", "-i"], "wineboot.log", timeout=240)
        self.state["wineboot_seconds"] = round(time.time() - started, 1)
        self._save()
        self._check_text_is_drawn()

    def _check_text_is_drawn(self):
        """The pictures compare texts only if the prefix has fonts to draw them with."""
        import images  # noqa: E402 (needs this module first)
        pictures = []
        for text in ("", "100%"):
            out = os.path.join(self.work, "font-check-%d.bmp" % len(text))
            rc, lines = self.inspect("render", winpath(self.exe), winpath(out), -1, text, "")
            if rc != 0:
                raise Failure("the probe cannot draw: %s" % lines)
            pictures.append(images.load(out))
        count, _ = images.differences(pictures[0], pictures[1])
        if count == 0:
            raise Failure("text draws no pixels in this Wine prefix: install fonts-wine")

    def _read_display(self, fd, xvfb):
        deadline = time.time() + 30
        data = b""
        os.set_blocking(fd, False)
        while time.time() < deadline and not data.endswith(b"\n"):
            try:
                chunk = os.read(fd, 64)
                if chunk:
                    data += chunk
                    continue
            except BlockingIOError:
                pass
            if xvfb.poll() is not None:
                break
            time.sleep(0.05)
        os.close(fd)
        if not data.strip():
            raise Failure("Xvfb did not start (see xvfb.log)")
        return int(data.strip())

    def load(self):
        if not os.path.exists(self.state_file):
            raise Failure("the Wine environment is not set up (run setup first)")
        with open(self.state_file) as f:
            self.state = json.load(f)
        try:
            os.kill(self.state["xvfb_pid"], 0)
        except OSError:
            raise Failure("the X server of the Wine environment is gone")

    def _save(self):
        with open(self.state_file, "w") as f:
            json.dump(self.state, f)

    def teardown(self, quiet=False):
        if os.path.exists(self.state_file):
            with open(self.state_file) as f:
                self.state = json.load(f)
        if os.path.isdir(self.prefix):
            subprocess.run(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        pid = self.state.get("xvfb_pid")
        if pid:
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
        shutil.rmtree(self.prefix, ignore_errors=True)
        if os.path.exists(self.state_file):
            os.remove(self.state_file)
        self.state = {}

    # ----- running things -----

    def run_logged(self, args, log_name, timeout):
        with open(os.path.join(self.work, log_name), "ab") as log:
            p = subprocess.run(args, env=self.env(), stdin=subprocess.DEVNULL, stdout=log,
                               stderr=log, timeout=timeout)
        return p.returncode

    def wine(self, args, timeout=60):
        """Runs a Windows program to its end; returns (exit code, standard output)."""
        p = subprocess.run(["wine"] + args, env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout)
        return p.returncode, p.stdout.decode("latin-1").replace("\r\n", "\n")

    def inspect(self, *args, timeout_ms=15000):
        """Runs mrprobe; returns (exit code, output lines)."""
        rc, out = self.wine([self.probe] + [str(a) for a in args],
                            timeout=timeout_ms / 1000.0 + 30)
        return rc, out.splitlines()

    def inspect_background(self, *args):
        """Starts mrprobe and returns at once; finish it with finish_inspect."""
        return subprocess.Popen(["wine", self.probe] + [str(a) for a in args],
                                env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def finish_inspect(self, process, timeout):
        try:
            out, _ = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise Failure("the probe did not finish within %d s" % timeout)
        return process.returncode, out.decode("latin-1").replace("\r\n", "\n").splitlines()

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=True)

    def reg_set(self, key, value, data):
        rc, _ = self.wine(["reg", "add", "HKLM\\" + key, "/v", value, "/t", "REG_SZ", "/d", data,
                           "/f", "/reg:32"])
        check(rc == 0, "reg add failed")

    def reg_delete(self, key):
        # Missing already is fine.
        self.wine(["reg", "delete", "HKLM\\" + key, "/f", "/reg:32"])

    def reg_query(self, key, view):
        rc, out = self.wine(["reg", "query", "HKLM\\" + key, "/reg:%d" % view])
        return rc, out

    def screenshot(self, path):
        subprocess.run(["import", "-display", ":%d" % self.state["display"], "-window", "root",
                        path], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                       check=True)
        return path


def winpath(path):
    """The Windows name of a local path: Wine maps the root folder to drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Program:
    """MRManualPatch.exe running under Wine, standard output redirected to a file."""

    def __init__(self, env, exe, folder, locale=None):
        self.env = env
        self.stdout_path = os.path.join(folder, "stdout.txt")
        self._out = open(self.stdout_path, "wb")
        variables = env.env()
        if locale:
            # Wine takes the system default language from the locale.
            variables["LANG"] = variables["LC_ALL"] = locale
        self._process = subprocess.Popen(["wine", exe], env=variables, cwd=folder,
                                         stdin=subprocess.DEVNULL, stdout=self._out,
                                         stderr=subprocess.DEVNULL)

    def wait(self, timeout):
        """The exit code, or a failure when the program does not end in time."""
        try:
            return self._process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %d s" % timeout)

    def running(self):
        return self._process.poll() is None

    def kill(self):
        if self._process.poll() is None:
            self._process.kill()
            self._process.wait(30)
        self._out.close()

    def trace(self):
        self._out.flush()
        with open(self.stdout_path, "rb") as f:
            return f.read().decode("latin-1").replace("\r\n", "\n").splitlines()


def parse_window(lines):
    """mrprobe window output -> dict with rects as tuples and a list of children."""
    info = {"children": []}
    for line in lines:
        if line.startswith("child "):
            child = dict(kv.split("=", 1) for kv in line[len("child "):].split(" ", 5))
            child["rect"] = tuple(int(v) for v in child["rect"].split(","))
            info["children"].append(child)
            continue
        for part in line.split(" "):
            if "=" in part:
                k, v = part.split("=", 1)
                info.setdefault(k, v)
        if line.startswith("title="):
            info["title"] = line[len("title="):]
    for k in ("window", "client"):
        if k in info:
            info[k] = tuple(int(v) for v in info[k].split(","))
    return info


def parse_dialogs(lines):
    """mrprobe dialogs output -> list of dicts: caption, rect, statics, buttons."""
    dialogs = []
    for line in lines:
        if line.startswith("dialog="):
            head, caption = line.split(" caption=", 1)
            dialogs.append({"caption": caption.replace("\\n", "\n"), "statics": [],
                            "buttons": []})
        elif line.startswith("child ") and dialogs:
            child = dict(kv.split("=", 1) for kv in line[len("child "):].split(" ", 5))
            text = child["text"].replace("\\n", "\n")
            if child["class"] == "Button" and child["visible"] == "1":
                dialogs[-1]["buttons"].append(text.replace("&", ""))
            elif child["class"] == "Static" and child["visible"] == "1" and text:
                dialogs[-1]["statics"].append(text)
    return dialogs
