#!/usr/bin/env python3
"""The browser driver of the end-to-end tests: one headless Chromium session, driven through
WebDriver, that takes one command a line from a FIFO and answers each with one line on another:
"ok", "ok VALUE" or "error TEXT". tests/web/lib_browser.sh starts it for a test and talks to it.

Commands:
  open URL                     opens the page in a viewport of 1024 x 768 CSS pixels, one device pixel
                               each, the size of the desktop tests' X screen; answers once the page's
                               own script has run, before its program has loaded
  shot FILE                    writes a PNG of the viewport, as the user sees it
  key NAME, keydown NAME, keyup NAME
                               a key by its xdotool name (BackSpace, Return, KP_0, period, a ...)
  mousemove_relative [--] DX DY
                               moves the mouse by DX, DY pixels; a locked pointer reports it as motion
  click [1]                    clicks the middle of the page with the left button
  state                        "STATE FLAVOUR LOCK SCREEN": the page's data-state and data-flavour,
                               "locked" or "unlocked" (the pointer), "fullscreen" or "windowed"
  log FILE                     writes the console's messages so far into FILE
  quit                         ends the session; so does the end of the commands
Pages are refused fullscreen (see Session). While a page is open the driver writes, once the page
has left its running state, "0" or another exit status of the program (the page ended) or
"failed: MESSAGE" (it stopped) into the file named by --ended, as the desktop tests' wrapper records
the program's exit status.
"""
import argparse
import shutil
import signal
import sys
import tempfile
import threading

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

WIDTH, HEIGHT = 1024, 768
# How often the page's state is read for the end of the program, seconds.
STATE_POLL = 0.1

# xdotool's names of the keys the tests press, as WebDriver's key values; a single letter or digit
# stands for itself.
KEYS = {
    "BackSpace": Keys.BACKSPACE, "Delete": Keys.DELETE, "Return": Keys.RETURN, "Escape": Keys.ESCAPE,
    "space": Keys.SPACE, "period": ".", "minus": "-",
    "Left": Keys.LEFT, "Right": Keys.RIGHT, "Up": Keys.UP, "Down": Keys.DOWN,
    **{f"KP_{d}": getattr(Keys, f"NUMPAD{d}") for d in range(10)},
}

# The program's exit status, which the page does not keep: its handler of the program's end is
# wrapped once the page has defined it.
KEEP_EXIT_STATUS = """
const shown = window.Module && Module.onExit;
if (shown) Module.onExit = code => { window.kelvraExitStatus = code; shown(code); };
"""
REFUSE_FULLSCREEN = """
Element.prototype.requestFullscreen = function () {
  return Promise.reject(new DOMException('no fullscreen in the tests', 'NotAllowedError'));
};
"""
PAGE_STATE = """
const b = document.body;
return [b.dataset.state || 'none', b.dataset.flavour || 'none',
        document.pointerLockElement ? 'locked' : 'unlocked',
        document.fullscreenElement ? 'fullscreen' : 'windowed',
        String(window.kelvraExitStatus), (document.getElementById('status') || {}).textContent || ''];
"""


class Failure(Exception):
    pass


class Session:
    def __init__(self, ended_file, chromium, chromedriver):
        options = Options()
        options.binary_location = chromium
        self.profile = tempfile.mkdtemp(prefix="kelvra-chromium.")
        # WebGL through SwiftShader, Chromium's own software renderer: no GPU and no display needed.
        for argument in ("--headless=new", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                         "--no-sandbox", "--no-first-run", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync", "--disable-quic",
                         f"--user-data-dir={self.profile}", f"--window-size={WIDTH},{HEIGHT}"):
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        # Loading a page returns once its own script has run, not when the program has loaded: the
        # steps wait for what they expect on the screen, and the first prompt's time can be read.
        options.page_load_strategy = "eager"
        self.driver = webdriver.Chrome(service=Service(chromedriver), options=options)
        # The page takes its viewport as the screen: make it the desktop tests' screen, whatever
        # the headless window's own frame takes off it.
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                    {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": False})
        # Pages are refused fullscreen, as where a browser does not allow it: headless Chromium's
        # window in fullscreen moves a pointer of its own, at a place of its own, between any two
        # moves sent to it, and under a locked pointer the jumps to it and back cancel every motion
        # (in about half of the runs here).
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": REFUSE_FULLSCREEN})
        self.lock = threading.Lock()
        self.console = []
        self.ended_file = ended_file
        self.watching = False
        self.done = threading.Event()
        threading.Thread(target=self.watch, daemon=True).start()

    def page_state(self):
        return self.driver.execute_script(PAGE_STATE)

    # Writes the ended file once the page leaves its running state.
    def watch(self):
        while not self.done.wait(STATE_POLL):
            with self.lock:
                if not self.watching:
                    continue
                try:
                    state, _, _, _, status, text = self.page_state()
                except WebDriverException:
                    continue
                if state in ("ended", "failed"):
                    with open(self.ended_file, "w") as f:
                        f.write((status if state == "ended" else f"failed: {text}") + "\n")
                    self.watching = False

    def open(self, url):
        self.driver.get(url)
        self.driver.execute_script(KEEP_EXIT_STATUS)
        self.watching = True

    def shot(self, path):
        png = self.driver.get_screenshot_as_png()
        with open(path, "wb") as f:
            f.write(png)

    def key_value(self, name):
        if name in KEYS:
            return KEYS[name]
        if len(name) == 1 and name.isalnum():
            return name.lower()
        raise Failure(f"no key named {name}")

    def key(self, action, name):
        key = self.key_value(name)
        chain = ActionChains(self.driver)
        if action in ("key", "keydown"):
            chain.key_down(key)
        if action in ("key", "keyup"):
            chain.key_up(key)
        chain.perform()

    # One pointer move of exactly (dx, dy), taking no time: WebDriver's default move lasts 250 ms.
    def move(self, dx, dy):
        chain = ActionBuilder(self.driver, duration=0)
        chain.pointer_action.move_by(dx, dy)
        chain.perform()

    def click(self):
        canvas = self.driver.find_element(By.TAG_NAME, "canvas")
        ActionChains(self.driver, duration=0).move_to_element(canvas).click().perform()

    def log(self, path):
        self.console += [f"{e.get('level', '')} {e.get('message', '')}" for e in self.driver.get_log("browser")]
        with open(path, "w") as f:
            f.write("".join(line + "\n" for line in self.console))

    def run(self, words):
        command, arguments = words[0], words[1:]
        if command == "open" and len(arguments) == 1:
            self.open(arguments[0])
        elif command == "shot" and len(arguments) == 1:
            self.shot(arguments[0])
        elif command in ("key", "keydown", "keyup") and len(arguments) == 1:
            self.key(command, arguments[0])
        elif command == "mousemove_relative":
            if arguments[:1] == ["--"]:
                arguments = arguments[1:]
            if len(arguments) != 2:
                raise Failure("mousemove_relative takes DX DY")
            self.move(int(arguments[0]), int(arguments[1]))
        elif command == "click" and arguments in ([], ["1"]):
            self.click()
        elif command == "state" and not arguments:
            return " ".join(self.page_state()[:4])
        elif command == "log" and len(arguments) == 1:
            self.log(arguments[0])
        else:
            raise Failure(f"no command {' '.join(words)}")
        return ""

    def close(self):
        self.done.set()
        with self.lock:
            try:
                self.driver.quit()
            finally:
                shutil.rmtree(self.profile, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description="The end-to-end tests' browser driver.")
    parser.add_argument("commands", help="FIFO the commands come from, one a line")
    parser.add_argument("replies", help="FIFO each command's answer goes to")
    parser.add_argument("--ended", required=True, help="file written when the page's program has ended")
    parser.add_argument("--chromium", default=shutil.which("chromium") or "chromium")
    parser.add_argument("--chromedriver", default=shutil.which("chromedriver") or "chromedriver")
    args = parser.parse_args()
    # Ended from outside, the driver still ends its browser.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    session = Session(args.ended, args.chromium, args.chromedriver)
    try:
        with open(args.commands) as commands, open(args.replies, "w") as replies:
            for line in commands:
                words = line.split()
                if not words:
                    continue
                if words == ["quit"]:
                    break
                try:
                    with session.lock:
                        value = session.run(words)
                    reply = f"ok {value}".rstrip()
                except (Failure, WebDriverException, OSError, ValueError) as e:
                    reply = "error " + " ".join(str(e).split())[:500]
                replies.write(reply + "\n")
                replies.flush()
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
