"""A virtual desktop on which the built program is driven from outside, as a user would.

Use (system Python, /usr/bin/python3, for pyatspi):

    import sys; sys.path.insert(0, "<checkout>/tests/e2e")
    from desktop import Desktop, ProgramFolder

    with Desktop() as desk:                  # Xvfb, D-Bus session, openbox, trayer
        folder = ProgramFolder(desk.root)    # bin/ with the program and its log, work/ with
        folder.install(program_path)         # Fotoshuttle.ini, in/ and out/
        folder.write_ini()
        program = desk.start(folder)         # started in work/, accessibility on
        desk.close_box(program, "フォルダ監視開始")
        desk.wait_for_icon(program)
        desk.choose_tray_item(program, "ダイアログを開く")
        desk.exit_program(program)           # 終了 -> はい (Yes), waits for the process to end

Also: desk.boxes(program) lists open message boxes as (title, texts, buttons), read through
accessibility; desk.answer(program, text, yes=True) answers a Yes/No box, close_box an OK box;
desk.open_tray_menu(program) gives the menu's texts; desk.tool_tip(program) hovers the icon;
desk.stop_tray_host() / start_tray_host(); desk.visible_windows("Fotoshuttle");
desk.screenshot(path); program.messages() is what the program printed for its boxes;
desk.start(folder, NAME=value) adds to the program's environment. missing_tools() names
what the machine lacks (scripts/install-deps installs it).

Leaving the block kills everything the desktop started (the program included), found by a
marker in their environment, and removes the temporary folder. desk.leftover_processes()
tells whether anything survived. Every wait polls with a generous time-out (WAIT_SECONDS,
scaled by $FOTOSHUTTLE_E2E_TIME_SCALE) so a loaded machine slows the tests, not fails them.
"""

import ctypes
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"
TIME_SCALE = float(os.environ.get("FOTOSHUTTLE_E2E_TIME_SCALE", "1"))
WAIT_SECONDS = 30 * TIME_SCALE
MARKER = "FOTOSHUTTLE_E2E_SESSION"
TOOLS = ["Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "xprop", "xdpyinfo", "dbus-daemon",
         "xdg-open"]

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    # A helper must not outlive a test that was killed by a time-out.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def wait_for(predicate, what, timeout=None, interval=0.1):
    """Polls predicate until it returns something true; that value is returned."""
    deadline = time.monotonic() + (timeout if timeout is not None else WAIT_SECONDS)
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


def missing_tools():
    return [tool for tool in TOOLS if shutil.which(tool) is None] + (
        [] if _has_pyatspi() else ["python3-pyatspi"])


def _has_pyatspi():
    return subprocess.run([PYTHON, "-c", "import pyatspi"], capture_output=True).returncode == 0


class ProgramFolder:
    """The program's own folders: a copy of the program with its log, a working folder with
    Fotoshuttle.ini, and the input and output folders."""

    def __init__(self, root, bin_dir=None, work=None, src=None, dst=None):
        self.bin = bin_dir or os.path.join(root, "bin")
        self.work = work or os.path.join(root, "work")
        self.src = src or os.path.join(root, "in")
        self.dst = dst or os.path.join(root, "out")
        for folder in (self.bin, self.work, self.src, self.dst):
            os.makedirs(folder, exist_ok=True)
        self.exe = os.path.join(self.bin, "fotoshuttle")
        self.log = os.path.join(self.bin, "Fotoshuttle_log.txt")
        self.ini = os.path.join(self.work, "Fotoshuttle.ini")

    def install(self, program, name="fotoshuttle", with_log=True):
        self.exe = os.path.join(self.bin, name)
        shutil.copy2(program, self.exe)
        if with_log and not os.path.exists(self.log):
            open(self.log, "w").close()
        return self.exe

    def write_ini(self, **values):
        """Writes [ProgramData] with working defaults; a value of None leaves the key out."""
        settings = {"src_folder": self.src, "dst_folder": self.dst,
                    "duration": "1000", "delaytime": "1000"}
        settings.update(values)
        lines = ["[ProgramData]"] + [f"{k}={v}" for k, v in settings.items() if v is not None]
        with open(self.ini, "w", encoding="utf-8") as ini:
            ini.write("\n".join(lines) + "\n")


class Program:
    """One started process of the program, with its standard error kept in a file."""

    def __init__(self, process, stderr_path, folder):
        self.process = process
        self.pid = process.pid
        self.stderr_path = stderr_path
        self.folder = folder

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=None):
        try:
            return self.process.wait(timeout if timeout is not None else WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"program {self.pid} did not end")

    def messages(self):
        """The message-box texts the program printed on standard error, in order."""
        with open(self.stderr_path, encoding="utf-8", errors="replace") as err:
            return [line.rstrip("\n").split(": ", 1)[1] for line in err
                    if line.startswith(os.path.basename(self.process.args[0]) + ": ")]


class Desktop:
    """An X server with a window manager, a tray host and a D-Bus session of its own."""

    def __init__(self, width=1280, height=800, keep_root=False):
        self.size = (width, height)
        self.keep_root = keep_root
        self.root = tempfile.mkdtemp(prefix="fotoshuttle-e2e-")
        self.logs = os.path.join(self.root, "logs")
        self.runtime = os.path.join(self.root, "runtime")
        os.makedirs(self.logs)
        os.makedirs(self.runtime, mode=0o700)
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("DBUS_", "XDG_SESSION", "WAYLAND", "QT_"))
                    and k not in ("DISPLAY", "XAUTHORITY", "SESSION_MANAGER")}
        self.env.update({MARKER: self.root, "XDG_RUNTIME_DIR": self.runtime,
                         "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        self.helpers = {}
        self.programs = []
        self.display = None

    # -- session ------------------------------------------------------------------------------

    def __enter__(self):
        # A test run that is asked to stop still tidies up (a SIGKILL cannot be caught; the
        # helpers then die with this process, only the temporary folder stays).
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
        try:
            self._start_session()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _spawn(self, name, argv, pass_fds=(), env=None, cwd=None, stderr_path=None):
        log = open(stderr_path or os.path.join(self.logs, name + ".log"), "ab")
        process = subprocess.Popen(argv, env=env or self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                                   stdout=log, stderr=log, pass_fds=pass_fds,
                                   start_new_session=True, preexec_fn=_die_with_parent)
        log.close()
        return process

    def _read_line_from(self, spawn):
        """Starts a helper that reports readiness by writing one line to a descriptor."""
        read_end, write_end = os.pipe()
        try:
            process = spawn(write_end)
            os.close(write_end)
            write_end = None
            text = b""
            deadline = time.monotonic() + WAIT_SECONDS
            while not text.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([read_end], [], [], 0.2)
                if ready:
                    chunk = os.read(read_end, 256)
                    if not chunk:
                        break
                    text += chunk
            return process, text.decode().strip() if text.endswith(b"\n") else None
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def _start_session(self):
        self._start_x_server()
        wait_for(lambda: self.run(["xdpyinfo"], check=False).returncode == 0, "the X server")

        self.helpers["dbus"], address = self._read_line_from(
            lambda fd: self._spawn("dbus", ["dbus-daemon", "--session", "--nofork",
                                            f"--print-address={fd}"], pass_fds=(fd,)))
        if address is None:
            raise AssertionError("the D-Bus session did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

        self.helpers["openbox"] = self._spawn("openbox", ["openbox"])
        wait_for(lambda: self._helper_alive("openbox") and "window id" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False).stdout,
                 "the window manager")
        self.start_tray_host()

    def _start_x_server(self):
        # Xvfb picks a free display number and writes it once it accepts clients; without
        # -noreset it would reset after the first client leaves and refuse the next for a while.
        width, height = self.size
        self.helpers["xvfb"], number = self._read_line_from(
            lambda fd: self._spawn("xvfb", ["Xvfb", "-displayfd", str(fd), "-screen", "0",
                                            f"{width}x{height}x24", "-nolisten", "tcp",
                                            "-noreset"], pass_fds=(fd,)))
        if number is None:
            raise AssertionError("Xvfb did not start")
        self.display = ":" + number
        self.env["DISPLAY"] = self.display

    def _helper_alive(self, name):
        if self.helpers[name].poll() is None:
            return True
        with open(os.path.join(self.logs, name + ".log"), errors="replace") as log:
            raise AssertionError(f"{name} ended with status {self.helpers[name].returncode}: "
                                 + log.read()[-2000:])

    def start_tray_host(self):
        self.helpers["trayer"] = self._spawn(
            "trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                       "--height", "24", "--SetDockType", "true", "--transparent", "false"])
        wait_for(lambda: self._helper_alive("trayer") and self._panel_window() is not None,
                 "the tray host")

    def stop_tray_host(self):
        self._kill(self.helpers.pop("trayer"))
        wait_for(lambda: self._panel_window() is None, "the tray host to go")

    def close(self):
        for program in self.programs:
            self._kill(program.process)
        for name in ("trayer", "openbox", "dbus", "xvfb"):
            if name in self.helpers:
                self._kill(self.helpers.pop(name))
        # Whatever they started in turn (the accessibility bus and registry) carries the marker.
        for pid in self.leftover_processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        wait_for(lambda: not self.leftover_processes(), "the desktop's processes to end",
                 timeout=10)
        if not self.keep_root:
            shutil.rmtree(self.root, ignore_errors=True)

    @staticmethod
    def _kill(process):
        if process.poll() is None:
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                process.wait()

    def leftover_processes(self):
        """Processes still alive that this desktop started (directly or not)."""
        found = []
        needle = f"{MARKER}={self.root}\0".encode()
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    if needle in environ.read() + b"\0":
                        with open(f"/proc/{entry}/stat") as stat:
                            if stat.read().split(")")[-1].split()[0] != "Z":
                                found.append(int(entry))
            except OSError:
                continue
        return found

    def run(self, argv, check=True, timeout=None):
        result = subprocess.run(argv, env=self.env, capture_output=True, text=True,
                                timeout=timeout or WAIT_SECONDS)
        if check and result.returncode != 0:
            raise AssertionError(f"{argv} failed: {result.stderr.strip()}")
        return result

    def screenshot(self, path):
        self.run(["import", "-window", "root", path])

    # -- the program --------------------------------------------------------------------------

    def start(self, folder, exe=None, cwd=None, accessible=True, **environment):
        env = dict(self.env, QT_QPA_PLATFORM="xcb", **environment)
        if accessible:
            env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        stderr_path = os.path.join(self.logs, f"program-{len(self.programs)}.stderr")
        process = self._spawn("program", [exe or folder.exe], env=env, cwd=cwd or folder.work,
                              stderr_path=stderr_path)
        program = Program(process, stderr_path, folder)
        self.programs.append(program)
        return program

    # -- accessibility ------------------------------------------------------------------------

    def _a11y(self, *args):
        try:
            return subprocess.run([PYTHON, os.path.join(HERE, "a11y.py"), *map(str, args)],
                                  env=self.env, capture_output=True, text=True, timeout=20)
        except subprocess.TimeoutExpired:
            return None

    def accessible_tree(self, program):
        result = self._a11y("tree", program.pid)
        if result is None or result.returncode != 0:
            return None
        return json.loads(result.stdout)

    @staticmethod
    def _nodes(node):
        yield node
        for child in node["children"]:
            yield from Desktop._nodes(child)

    def boxes(self, program):
        """Open message boxes as (title, texts, buttons)."""
        tree = self.accessible_tree(program)
        if tree is None:
            return []
        found = []
        for window in tree["children"]:
            if window["role"] == "alert" and window["showing"]:
                nodes = list(self._nodes(window))
                found.append((window["name"],
                              [n["name"] for n in nodes if n["role"] == "label" and n["name"]],
                              [n["name"] for n in nodes if n["role"] == "push button"]))
        return found

    def wait_for_box(self, program, text, timeout=None):
        def shown():
            for box in self.boxes(program):
                if text in box[1]:
                    return box
            if not program.running():
                raise AssertionError(f"program ended without showing {text!r}")
            return None
        return wait_for(shown, f"the box {text!r}", timeout, interval=0.3)

    def press_in_box(self, program, button, text):
        wait_for(lambda: self._a11y("press", program.pid, button, text).returncode == 0,
                 f"pressing {button!r} in {text!r}", interval=0.3)
        wait_for(lambda: not program.running()
                 or all(text not in box[1] for box in self.boxes(program)),
                 f"the box {text!r} to close", interval=0.3)

    def press_button(self, program, button):
        """Presses a button of the program's dialog (or of any box) by its text."""
        wait_for(lambda: self._a11y("press", program.pid, button).returncode == 0,
                 f"pressing {button!r}", interval=0.3)

    def close_box(self, program, text):
        """Waits for the box with this text and closes it with its OK button."""
        box = self.wait_for_box(program, text)
        self.press_in_box(program, "OK", text)
        return box

    # -- windows and the tray -----------------------------------------------------------------

    def _tree_lines(self):
        return self.run(["xwininfo", "-root", "-tree"], check=False).stdout.splitlines()

    def _panel_window(self):
        for line in self._tree_lines():
            if '"panel": ("panel" "trayer")' in line:
                return line.split()[0]
        return None

    def _panel_children(self):
        lines = self._tree_lines()
        for index, line in enumerate(lines):
            if '"panel": ("panel" "trayer")' in line:
                indent = len(line) - len(line.lstrip())
                children = []
                for below in lines[index + 1:]:
                    if below.strip() and len(below) - len(below.lstrip()) <= indent:
                        break
                    match = re.match(r"\s*(0x[0-9a-f]+) .*\s(\d+)x(\d+)\+", below)
                    if match:
                        children.append((match.group(1), int(match.group(2)),
                                         int(match.group(3))))
                return children
        return []

    def tray_is_empty(self):
        """True when the tray host shows no icon at all, whoever's."""
        return all(width <= 1 or height <= 1 for _, width, height in self._panel_children())

    def window_pid(self, window):
        match = re.search(r"= (\d+)", self.run(["xprop", "-id", window, "_NET_WM_PID"],
                                                check=False).stdout)
        return int(match.group(1)) if match else None

    def tray_icon(self, program):
        """The window of the program's icon docked in the tray host, or None."""
        for window, width, height in self._panel_children():
            if width > 1 and height > 1 and self.window_pid(window) == program.pid:
                return window
        return None

    def wait_for_icon(self, program, timeout=None):
        return wait_for(lambda: self.tray_icon(program), "the tray icon", timeout)

    def tool_tip(self, program):
        """Hovers over the icon and returns the tool tip that appears."""
        icon = self.wait_for_icon(program)
        self.run(["xdotool", "mousemove", "--window", icon, "8", "8"])
        self.run(["xdotool", "mousemove_relative", "--", "2", "2"])

        def shown():
            tree = self.accessible_tree(program)
            if tree is None:
                return None
            for node in self._nodes(tree):
                if node["role"] == "tool tip" and node["showing"] and node["name"]:
                    return node["name"]
            return None
        text = wait_for(shown, "the tool tip", interval=0.3)
        self.run(["xdotool", "mousemove", "0", "400"])
        return text

    def open_tray_menu(self, program):
        """Right-clicks the icon and selects the first item with the Down key; returns the
        menu's texts and the index of the selected item."""
        icon = self.wait_for_icon(program)
        time.sleep(0.6)  # two right clicks closer than this may count as a double click
        self.run(["xdotool", "mousemove", "--window", icon, "11", "11", "click", "3"])

        def selected():
            result = self._a11y("focus", program.pid, "xdotool", "key", "Down")
            if result is None or result.returncode != 0:
                return None
            found = json.loads(result.stdout)
            return found["items"], found["items"].index(found["item"])
        return wait_for(selected, "the tray menu", interval=0.3)

    def choose_tray_item(self, program, text):
        items, selected = self.open_tray_menu(program)
        if text not in items:
            raise AssertionError(f"{text!r} is not in the tray menu {items}")
        target = items.index(text)
        keys = ["Down"] * (target - selected) + ["Up"] * (selected - target) + ["Return"]
        self.run(["xdotool", "key", "--delay", "80", *keys])

    def click_icon(self, program, button, repeat=1):
        icon = self.wait_for_icon(program)
        time.sleep(0.6)
        self.run(["xdotool", "mousemove", "--window", icon, "11", "11",
                  "click", "--repeat", str(repeat), "--delay", "100", str(button)])

    def program_windows(self, program):
        """The program's mapped top-level windows (the icon included)."""
        result = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(program.pid)],
                          check=False)
        return sorted(result.stdout.split())

    def x_socket(self):
        return f"/tmp/.X11-unix/X{self.display[1:]}"

    def visible_windows(self, title):
        result = self.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                          check=False)
        return result.stdout.split()

    def answer(self, program, text, yes):
        """Answers the Yes/No box with this text (the buttons' texts follow Qt's language)."""
        _, _, buttons = self.wait_for_box(program, text)
        wanted = {"Yes", "はい"} if yes else {"No", "いいえ"}
        # Translated buttons carry their access key: "はい(Y)".
        chosen = [button for button in buttons
                  if re.sub(r"\(&?\w\)$", "", button.replace("&", "")) in wanted]
        if not chosen:
            raise AssertionError(f"no {'Yes' if yes else 'No'} button among {buttons}")
        self.press_in_box(program, chosen[0], text)

    def exit_program(self, program):
        """終了 -> はい (Yes); returns the exit status."""
        self.choose_tray_item(program, "終了")
        self.answer(program, "終了します。よいですか？", yes=True)
        return program.wait_exit()
