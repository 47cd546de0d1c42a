"""The Wine end-to-end harness: one Xvfb display and one fresh Wine prefix per
test run (made by the session fixture), the tool started per case in a folder
of its own, and the test driver that works its windows with Win32 messages.

    python3 harness.py setup | teardown        (the ctest fixtures)
    python3 harness.py prefix                  (makes the prefix $WINEPREFIX, for run.sh)

Cases import App, Driver and the helpers below; the session is found through
CVELTRIX_E2E_DIR (set by ctest) and the exes through CVELTRIX_WINDOWS_BUILD_DIR.
"""
import ast
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "server"))

import test_server  # noqa: E402  (the local installer server)
from certificates import ThrowawayPki  # noqa: E402

SESSION_DIR = os.environ.get("CVELTRIX_E2E_DIR", os.path.join(tempfile.gettempdir(), "cveltrix-e2e"))
BUILD_DIR = os.environ.get("CVELTRIX_WINDOWS_BUILD_DIR", os.path.join(HERE, "..", "..", "build", "windows"))
TEST_PORT = int(os.environ.get("CVELTRIX_TEST_PORT", "47321"))
TLS_PORT = int(os.environ.get("CVELTRIX_TEST_TLS_PORT", str(TEST_PORT + 1)))
STATE_FILE = os.path.join(SESSION_DIR, "session.json")
TITLE = "Cveltrix Downloader"
FILE_NAME = test_server.SERVED_PATH.rsplit("/", 1)[1]
TEMP_NAME = FILE_NAME + "_temp"
EXES = {
    "product": os.path.join(BUILD_DIR, "bin", "Cveltrix.exe"),
    "local": os.path.join(BUILD_DIR, "test-local", "Cveltrix.exe"),
    "pinned": os.path.join(BUILD_DIR, "test-pinned", "Cveltrix.exe"),
    "https": os.path.join(BUILD_DIR, "test-https", "Cveltrix.exe"),
    "signed": os.path.join(BUILD_DIR, "test-signed", "Cveltrix.exe"),
    "query": os.path.join(BUILD_DIR, "test-query", "Cveltrix.exe"),
    "retrying": os.path.join(BUILD_DIR, "test-retrying", "Cveltrix.exe"),
}
# The query the "query" copy's URL carries (tests/windows.cmake).
TEST_QUERY = "build=3"
DRIVER = os.path.join(BUILD_DIR, "tests", "driver", "driver.exe")
IDYES, IDNO, IDOK, IDCANCEL = 6, 7, 1, 2
ROOT = os.path.join(HERE, "..", "..")


def _read(name):
    with open(os.path.join(ROOT, name), encoding="utf-8") as f:
        return f.read()


# The control numbers, as the resource script and the code know them.
IDS = {name: int(value, 0)
       for name, value in re.findall(r"^#define (\w+) (-?\w+)$", _read("resources/resource.h"), re.M)}
START, PROGRESS, PROXY, CANCEL, EXIT, PROGRESS_TEXT, LABEL = (
    IDS[name] for name in ("IDC_START", "IDC_PROGRESS", "IDC_PROXY", "IDC_CANCEL_DOWNLOAD", "IDC_EXIT",
                           "IDC_PROGRESS_TEXT", "IDC_DESCRIPTION"))


def _catalogue_messages():
    """{name: (English, Japanese)} of the catalogue's messages, e.g. "ServerUnreachable"."""
    entries = re.findall(r'CatalogueEntry\{msg::(\w+),\s*L("(?:[^"\\]|\\.)*"),\s*L("(?:[^"\\]|\\.)*")\}',
                         _read("core/catalogue.cpp"))
    return {name: (ast.literal_eval(english), ast.literal_eval(japanese)) for name, english, japanese in entries}


MESSAGES = _catalogue_messages()


def message(name, lang="en"):
    """The catalogue message `name` ("DownloadComplete", ...) as a box shows it."""
    return MESSAGES[name][lang != "en"]



def wait_until(condition, timeout=20.0, interval=0.05, what="condition"):
    """Polls until condition() returns something true; returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


# ---- the session: Xvfb and the Wine prefix ----------------------------------

def _free_display():
    for number in range(90, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
            return number
    raise RuntimeError("no free X display number")


def _quiet(command, env, timeout=120):
    # Never a pipe: wine's helper processes would inherit it and keep it open.
    subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=timeout, check=False)


def setup_session():
    for tool in ("wine", "wineserver", "Xvfb", "import"):
        if not shutil.which(tool):
            raise SystemExit(f"{tool} is missing: run tools/setup.sh")
    teardown_session()
    # A fresh prefix, home and app folders for every run.
    shutil.rmtree(SESSION_DIR, ignore_errors=True)
    os.makedirs(SESSION_DIR)
    home = os.path.join(SESSION_DIR, "home")
    os.makedirs(os.path.join(home, "Desktop"))
    display = _free_display()
    # Wide enough for the main window at 200 % scaling.
    xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    state = {"display": f":{display}", "xvfb_pid": xvfb.pid, "home": home,
             "prefix": os.path.join(SESSION_DIR, "prefix"), "shots": os.path.join(SESSION_DIR, "screenshots")}
    os.makedirs(state["shots"])
    with open(STATE_FILE, "w") as f:
        json.dump(state, f)
    wait_until(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"), 10, what="Xvfb")
    env = session_env(state)
    started = time.monotonic()
    prepare_prefix(env)
    # One server for the whole run: no start-up per case, no exit racing the next start.
    _quiet(["wineserver", "-p"], env)
    print(f"Wine prefix ready in {time.monotonic() - started:.1f} s at {state['prefix']}, display {state['display']}")


WINE_FONTS = "/usr/share/wine/fonts"
# The dialogs name Windows' Japanese UI fonts; IPA's proportional Gothic has
# their metrics and draws the underscore inside the line.
FONT_REPLACEMENTS = {"MS UI Gothic": "IPAPGothic", "ＭＳ Ｐゴシック": "IPAPGothic"}
PREFIX_SETTINGS = [
    # Without a window manager every closing window would stall about 2 s.
    (r"HKEY_CURRENT_USER\Software\Wine\X11 Driver", {"Managed": "N"}),
    (r"HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements", FONT_REPLACEMENTS),
]


def prepare_prefix(env):
    """Makes the Wine prefix named in env: the tool and its dialogs look as
    on Windows. Used by the test session and by run.sh."""
    _quiet(["wineboot", "-i"], env)
    # Debian's Wine never loads its own fonts from the data folder, so the
    # caption buttons (Marlett) would show letters; a prefix loads what its
    # Fonts folder holds.
    fonts = os.path.join(env["WINEPREFIX"], "drive_c", "windows", "Fonts")
    for name in os.listdir(WINE_FONTS):
        shutil.copy(os.path.join(WINE_FONTS, name), fonts)
    settings = os.path.join(env["WINEPREFIX"], "cveltrix-settings.reg")
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in PREFIX_SETTINGS:
        lines += [f"[{key}]", *(f'"{name}"="{value}"' for name, value in values.items()), ""]
    with open(settings, "w", encoding="utf-16") as f:
        f.write("\r\n".join(lines))
    _quiet(["wine", "regedit", "/S", settings], env)
    _quiet(["wineserver", "-w"], env)


def teardown_session():
    state = load_session(required=False)
    if not state:
        return
    _quiet(["wineserver", "-k"], session_env(state), timeout=30)
    try:
        os.kill(state["xvfb_pid"], signal.SIGTERM)
    except ProcessLookupError:
        pass
    os.remove(STATE_FILE)


def load_session(required=True):
    try:
        with open(STATE_FILE) as f:
            return json.load(f)
    except FileNotFoundError:
        if required:
            raise AssertionError(f"no Wine session in {SESSION_DIR}: the e2e_session fixture did not run")
        return None


def session_env(state, lang="en_US.UTF-8", wine_debug="-all"):
    env = dict(os.environ)
    env.update(WINEPREFIX=state["prefix"], HOME=state["home"], DISPLAY=state["display"], WINEDEBUG=wine_debug,
               LANG=lang, LC_ALL=lang)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def set_dpi(dpi):
    """Display scaling for the tools started from now on (96 is 100 %)."""
    _quiet(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
            str(dpi), "/f"], session_env(load_session()))


def wine_path(path):
    """How a Windows program names a file of this machine (Wine's Z: drive)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def desktop():
    return os.path.join(load_session()["home"], "Desktop")


def screenshot(name):
    state = load_session()
    path = os.path.join(state["shots"], name + ".png")
    subprocess.run(["import", "-window", "root", path], env=session_env(state), check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    print(f"screenshot: {path}")
    return path


# ---- the driver ------------------------------------------------------------

class Driver:
    def __init__(self, state):
        self.state = state
        self.env = session_env(state)

    def run(self, *args, check=True):
        # The driver always says something, even when it fails; a run that
        # printed nothing at all never got to start (seen rarely on a loaded
        # machine), so it is tried again.
        for _ in range(3):
            returncode, text, errors = self._run_once(args)
            if returncode == 0 or text or errors:
                break
        if check and returncode != 0:
            raise AssertionError(f"driver {' '.join(map(str, args))} exited {returncode}: {text} {errors[-2000:]}")
        return text

    def _run_once(self, args):
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(["wine", DRIVER, *map(str, args)], env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=60)
            out.seek(0)
            text = out.read().decode("utf-8").strip()
            err.seek(0)
            return done.returncode, text, err.read().decode("utf-8", "replace").strip()

    def json(self, *args):
        return json.loads(self.run(*args))


class Window:
    """A snapshot of a dialog as the driver saw it."""

    def __init__(self, data):
        self.data = data
        self.controls = {c["id"]: c for c in data["controls"]}

    def __getitem__(self, control_id):
        return self.controls[control_id]

    def text(self, control_id):
        return self.controls[control_id]["text"]

    def enabled(self, control_id):
        return self.controls[control_id]["enabled"]

    @property
    def title(self):
        return self.data["title"]

    @property
    def focus(self):
        return self.data["focus"]

    @property
    def popups(self):
        return self.data.get("popups", [])


# ---- the tool --------------------------------------------------------------

class App:
    """The tool under test, in a fresh folder of its own (its temp file is made
    beside the exe), started under Wine in the given language; Wine's own
    messages (wine_debug channels) go to wine_log."""

    def __init__(self, kind="local", lang="en_US.UTF-8", wine_debug="-all", beside=None):
        self.state = load_session()
        self.driver = Driver(self.state)
        # beside: a second copy started from the folder of the App `beside`.
        self.beside = beside
        if beside:
            self.folder, self.exe = beside.folder, beside.exe
        else:
            self.folder = tempfile.mkdtemp(prefix="app-", dir=SESSION_DIR)
            self.exe = os.path.join(self.folder, "Cveltrix.exe")
            shutil.copy(EXES[kind], self.exe)
        self.lang = lang
        self.wine_debug = wine_debug
        self.process = None

    @property
    def temp_path(self):
        return os.path.join(self.folder, TEMP_NAME)

    @property
    def wine_log(self):
        return os.path.join(self.folder, "wine-beside.log" if self.beside else "wine.log")

    def leftovers(self):
        """What the tool has left beside its exe (the temp file, its validator)."""
        return sorted(set(os.listdir(self.folder)) - {"Cveltrix.exe", "wine.log", "wine-beside.log"})

    def try_write(self, path):
        """A second Wine process writes one byte into `path`: "written" or "denied, error N"."""
        return self.driver.run("try-write", wine_path(path))

    def start(self):
        others = self.driver.json("main-windows") if self.beside else []
        self.log = open(self.wine_log, "wb")
        self.process = subprocess.Popen(["wine", self.exe], env=session_env(self.state, self.lang, self.wine_debug),
                                        stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        if self.beside:
            self.beside.pin(others)
            self.pin(wait_until(lambda: [w for w in self.driver.json("main-windows") if w not in others], 20, 0.1,
                                "the second copy's main window"))
        self.driver.run("wait-main", 20000)
        return self

    def pin(self, windows):
        """From now on the driver works this copy's main window (the one in
        `windows`), wherever other copies show theirs."""
        (window,) = windows
        self.driver.env["CVELTRIX_DRIVER_MAIN"] = str(window)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)
        if self.process:
            self.log.close()
        # Wait until the window is really gone, so the next case finds only its own.
        wait_until(lambda: self.driver.run("state", check=False).startswith("error"), 20, what="window gone")

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # What the user sees.
    def window(self):
        return Window(self.driver.json("state"))

    def dialog(self, title):
        return Window(self.driver.json("dialog", title))

    def popup(self, timeout=30.0, what="a message box"):
        """Waits for the one popup owned by the main window and returns it."""
        def single():
            popups = self.window().popups
            return popups[0] if len(popups) == 1 else None
        return wait_until(single, timeout, 0.1, what)

    def message(self, timeout=30.0):
        """Waits for a message box; returns (text, icon)."""
        box = self.popup(timeout)
        return box["message"], box["icon"]

    def answer(self, button, timeout=30.0):
        """Waits for a popup, presses `button` on it, and waits until it is gone;
        returns the popup as it was."""
        box = self.popup(timeout)
        self.driver.run("answer", button)
        wait_until(lambda: self._gone(box), 20, 0.1, "popup closed")
        return box

    def _gone(self, box):
        # An answer that ends the tool (Yes to Exit) takes the main window
        # with the box.
        state = self.driver.run("state", check=False)
        if state == "error: no main window":
            return True
        return all(p["hwnd"] != box["hwnd"] for p in Window(json.loads(state)).popups)

    def click(self, control_id):
        self.driver.run("click", control_id)

    def wait_idle(self, timeout=60.0):
        def idle():
            w = self.window()
            return w if (w.enabled(START) and not w.enabled(CANCEL) and not w.popups) else None
        return wait_until(idle, timeout, 0.1, "the idle window")

    def exited(self, timeout=20.0):
        wait_until(lambda: self.process.poll() is not None, timeout, what="the process to end")
        return True


PICKER = "Browse for Folder"  # the folder picker's title under Wine


class DownloadCase(unittest.TestCase):
    """A case that downloads: nothing on the desktop before it or after it."""

    def setUp(self):
        self.saved = os.path.join(desktop(), FILE_NAME)
        self.clear_desktop()
        self.addCleanup(self.clear_desktop)

    def clear_desktop(self):
        for leftover in os.listdir(desktop()):
            path = os.path.join(desktop(), leftover)
            (os.rmdir if os.path.isdir(path) else os.remove)(path)

    def save_to_desktop(self, app, timeout=60.0):
        """Message 8, then the picker (at the desktop) accepted; returns the idle window."""
        box = app.answer(IDOK, timeout)
        self.assertEqual((box["message"], box["icon"]), (message("DownloadComplete"), "information"))
        self.assertEqual(app.answer(IDOK)["title"], PICKER)
        return app.wait_idle()

    def decline_save(self, app):
        """Message 8, then the picker cancelled: message 15; returns the idle window."""
        app.answer(IDOK)
        app.answer(IDCANCEL)
        self.assertEqual(app.answer(IDOK)["message"], message("NoFolderChosen"))
        return app.wait_idle()

    def expect_failure(self, app, *names):
        """The run ends with one of the named messages, a warning, and the window is idle again."""
        text, icon = app.message(timeout=60)
        self.assertIn(text, [message(name) for name in names])
        self.assertEqual(icon, "warning")
        app.answer(IDOK)
        self.assertTrue(app.wait_idle().enabled(PROXY))

    def write_temp(self, app, data):
        with open(app.temp_path, "wb") as f:
            f.write(data)

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()


def trusted_pki():
    """The session's throwaway certificates, with their root trusted in the
    session's Wine prefix (once for the whole session)."""
    pki = ThrowawayPki(os.path.join(SESSION_DIR, "tls"))
    trusted = os.path.join(pki.folder, "trusted")
    if not os.path.exists(trusted):
        Driver(load_session()).run("trust-root", "Z:" + pki.root_der.replace("/", "\\"))
        open(trusted, "w").close()
    return pki


def server(content=None, **options):
    """The local installer server on the port the test copies of the tool fetch from."""
    return test_server.InstallerServer(content or test_server.GeneratedContent(300_000), port=TEST_PORT, **options)


def requests_seen(srv):
    """(method, Range header) of every request the server saw, in order."""
    return [(entry["method"], test_server.header(entry, "Range")) for entry in srv.requests()]


def body_bytes_sent(srv):
    """Body bytes the server sent, over every request: one copy of what was asked for is the least."""
    return sum(entry["body_bytes"] for entry in srv.requests())


if __name__ == "__main__":
    action = sys.argv[1] if len(sys.argv) > 1 else ""
    if action == "setup":
        setup_session()
    elif action == "prefix":
        prepare_prefix(dict(os.environ))
    elif action == "teardown":
        teardown_session()
    else:
        raise SystemExit("usage: harness.py setup | teardown | prefix")
