#!/usr/bin/env python3
"""What a person who cannot see the screen hears, with Orca, pressing real keys.

    tools/orca-check.py PROGRAM

PROGRAM is a built tavlino (build-qt6/tavlino). Starts its own desktop
(a11ydesktop.py) with a window manager, a pseudo-terminal as the device and
the program with no stored settings, then presses keys as X events with
xdotool and reads what Orca said from its debug log:

  Tab to Baud, Down         the rate, then the next one
  Tab to Einde, Down        "no line end", then \\n
  Return on the Baud box    opens the device; Tab to the input line
  version, Return           the device's three-line answer, the focus
                            staying in the input line
  Tab to the pane while the device streams a line every 100 ms,
  Ctrl+Home, Down, Down, Up the answer's lines one by one: the caret keeps
                            its place while the stream arrives
  Right                     the character at the caret

Prints each step with what Orca said and exits 1 when one was not heard.
"""

import os
import re
import subprocess
import sys
import threading
import time
import tty

from a11ydesktop import Desktop, wait_for

ANSWER = ["firmware 1.4.2 built Dec 8 2026", "board rev C", "ok"]
# The program says a reply that starts within 5 s of the send; the stream
# starts after that, so that it is not part of the reply.
STREAM_AFTER = 6


class Device:
    """Answers "version" with ANSWER, then streams a line every 100 ms."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        self.name = os.ttyname(self.slave)
        self.streaming = threading.Event()
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        received = b""
        while b"version" not in received:
            try:
                received += os.read(self.master, 1024)
            except OSError:
                return
        os.write(self.master, "".join(line + "\r\n" for line in ANSWER).encode())
        time.sleep(STREAM_AFTER)
        self.streaming.set()
        tick = 0
        while True:
            tick += 1
            try:
                os.write(self.master, f"tick {tick}\r\n".encode())
            except OSError:
                return
            time.sleep(0.1)


class Listener:
    def __init__(self, desktop):
        self.desktop = desktop
        self.read_to = 0

    def spoken(self):
        with open(self.desktop.orca_log, errors="replace") as log:
            log.seek(self.read_to)
            text = log.read()
        return re.findall(r"SPEECH OUTPUT: '(.*?)'\s*(?:\[|\{|$)", text, re.S)

    def step(self, keys, expected, seconds=10):
        """Presses the keys and waits until Orca has said every expected text."""
        if keys:
            self.read_to = os.path.getsize(self.desktop.orca_log)
        for key in keys:
            if key.startswith("type:"):
                subprocess.run(["xdotool", "type", "--delay", "60", key[5:]], env=self.desktop.env)
            else:
                # Held as a hand holds them: Orca may see the key after
                # xdotool has let go of Control, and then read Home as
                # Home alone.
                *modifiers, key = key.split("+")
                xdotool = ["xdotool"] + [a for m in modifiers for a in ("keydown", m)] + ["key", key]
                xdotool += ["sleep", "0.3"] if modifiers else []
                xdotool += [a for m in reversed(modifiers) for a in ("keyup", m)]
                subprocess.run(xdotool, env=self.desktop.env)
            time.sleep(0.3)
        # A character is heard alone; anything longer may come with more.
        says = lambda s, e: s.strip() == e if len(e) == 1 else e in s
        heard = lambda: all(any(says(s, e) for s in self.spoken()) for e in expected)
        wait_for(seconds, heard)
        time.sleep(0.5)
        said = [re.sub(r"\s*\n\s*", " / ", s) for s in self.spoken()
                if not re.fullmatch(r"(left |right )?(control|shift|tab|return|down|up|home) ?", s.strip().lower())
                and len(s.strip()) > 1]
        return heard(), said


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    program = os.path.abspath(sys.argv[1])
    desktop = Desktop(log_each_line=True)
    failed = False
    try:
        desktop.up()
        desktop.start(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(10, lambda: "window id" in subprocess.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=desktop.env,
                capture_output=True, text=True).stdout):
            sys.exit("the window manager did not start")
        device = Device()
        desktop.start([program], env=dict(desktop.env, QT_QPA_PLATFORM="xcb",
                                          XDG_CONFIG_HOME=f"{desktop.work}/settings"),
                      stderr=None if os.environ.get("KEEP_ORCA_LOG") else subprocess.DEVNULL)
        listener = Listener(desktop)
        window = subprocess.run(["xdotool", "search", "--sync", "--name", "^Tavlino$"],
                                env=desktop.env, capture_output=True, text=True, timeout=20).stdout.split()
        if not window:
            sys.exit("no window")
        subprocess.run(["xdotool", "windowactivate", "--sync", window[0]], env=desktop.env,
                       stderr=subprocess.DEVNULL)
        ok, said = listener.step([], ["Input"], 20)
        if not ok:
            sys.exit("Orca never heard the window: " + " | ".join(said))
        steps = [
            ("Tab to Com, the device's name typed", ["Tab", "Tab", "Tab", "Tab", "ctrl+a", "type:" + device.name], ["Com"]),
            ("Tab to Baud", ["Tab"], ["Baud", "1200"]),
            ("Down", ["Down"], ["2400"]),
            ("Tab to Einde", ["Tab"], ["Einde", "no line end"]),
            ("Down", ["Down"], ["\\n"]),
            ("Shift+Tab, Return: opened; Tab to the input line", ["shift+Tab", "Return", "Tab", "Tab", "Tab", "Tab"], ["Input"]),
            ("version, Return", ["type:version", "Return"], ANSWER),
        ]
        print(f"Orca on {program}:\n")
        print("| keys | expected | Orca said | |")
        print("|---|---|---|---|")

        def report(label, expected, ok, said):
            nonlocal failed
            failed |= not ok
            print(f"| {label} | {' / '.join(expected)} | {' // '.join(said)} | {'yes' if ok else 'NO'} |",
                  flush=True)

        for label, keys, expected in steps:
            ok, said = listener.step(keys, expected)
            report(label, expected, ok, said)
        if not device.streaming.wait(STREAM_AFTER + 5):
            sys.exit("the device never started streaming")
        time.sleep(1)
        for label, keys, expected in [
            ("Tab to the pane while the device streams", ["Tab", "Tab", "Tab", "Tab"], ["Output"]),
            ("Ctrl+Home", ["ctrl+Home"], [ANSWER[0]]),
            ("Down", ["Down"], [ANSWER[1]]),
            ("Down", ["Down"], [ANSWER[2]]),
            ("Up", ["Up"], [ANSWER[1]]),
            ("Right: a character", ["Right"], ["o"]),
        ]:
            ok, said = listener.step(keys, expected)
            report(label, expected, ok, said)
    finally:
        if os.environ.get("KEEP_ORCA_LOG"):
            subprocess.run(["cp", desktop.orca_log, os.environ["KEEP_ORCA_LOG"]])
        desktop.down()
    if failed:
        sys.exit("Orca did not say what a person needs to hear")


if __name__ == "__main__":
    main()
