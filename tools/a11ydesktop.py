"""A desktop of its own for screen-reader checks: Xvfb, a session bus, the
accessibility bus and Orca, whose speech goes only to its debug log (no
speech server). Everything it starts it stops again by process id.
"""

import os
import signal
import subprocess
import sys
import tempfile
import time

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK
    except (OSError, IndexError):
        return None


def children_of(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    if int(stat.read().rsplit(")", 1)[1].split()[1]) == pid:
                        found.append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    return found


def descendants(pid):
    result = [pid]
    for child in children_of(pid):
        result += descendants(child)
    return result


def wait_for(seconds, check):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(0.1)
    return False


# Orca, with its debug log opened line-buffered.
ORCA_LOGGING_EACH_LINE = """
import builtins, runpy, sys
log = sys.argv[sys.argv.index("--debug-file") + 1]
plain_open = builtins.open
def line_buffered(file, mode="r", buffering=-1, *args, **kwargs):
    if file == log and "w" in mode:
        buffering = 1
    return plain_open(file, mode, buffering, *args, **kwargs)
builtins.open = line_buffered
sys.argv[0] = "/usr/bin/orca"
runpy.run_path("/usr/bin/orca", run_name="__main__")
"""


class Desktop:
    def __init__(self, log_each_line=False):
        # Orca writes its log through a buffer of 8 KiB, so what it said last
        # may wait there for more; a check that waits for a word needs each
        # line written at once, which costs Orca time a measurement must not
        # include.
        self.log_each_line = log_each_line
        self.work = tempfile.mkdtemp(prefix="tavlino-sr-")
        self.procs = []
        env = {k: v for k, v in os.environ.items()
               if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "AT_SPI_BUS_ADDRESS",
                            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "DBUS_SESSION_BUS_ADDRESS")}
        env.update(XDG_RUNTIME_DIR=self.work, XDG_CONFIG_HOME=f"{self.work}/config",
                   HOME=self.work, GSETTINGS_BACKEND="memory",
                   # No speech server: Orca writes what it would say to its log.
                   SPEECHD_ADDRESS=f"unix_socket:{self.work}/no-speech-server")
        self.env = env

    def start(self, args, **kwargs):
        kwargs.setdefault("env", self.env)
        proc = subprocess.Popen(args, **kwargs)
        self.procs.append(proc)
        return proc

    def bus(self, *args):
        return subprocess.run(["dbus-send", "--session", "--print-reply", "--reply-timeout=2000"]
                              + list(args), env=self.env, capture_output=True, text=True).stdout

    def up(self):
        read_end, write_end = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                    "-nolisten", "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as display:
            self.env["DISPLAY"] = ":" + display.readline().strip()
        with open(f"{self.work}/session.conf", "w") as conf:
            conf.write(f"""<busconfig><type>session</type>
  <listen>unix:path={self.work}/bus</listen><auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/>
  <allow own="*"/></policy></busconfig>""")
        self.start(["dbus-daemon", f"--config-file={self.work}/session.conf", "--nofork"])
        self.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={self.work}/bus"
        wait_for(10, lambda: os.path.exists(f"{self.work}/bus"))
        self.launcher = self.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(10, lambda: "true" in self.bus(
                "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus")):
            sys.exit("the accessibility bus did not come up")
        self.bus("--dest=org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                 "string:org.a11y.Status", "string:ScreenReaderEnabled", "variant:boolean:true")
        self.orca_log = f"{self.work}/orca.log"
        orca = ["/usr/bin/python3", "-c", ORCA_LOGGING_EACH_LINE] if self.log_each_line else ["orca"]
        self.orca = self.start(orca + ["--debug-file", self.orca_log, "-u", f"{self.work}/orca"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Orca is ready once it has registered for events on the bus.
        if not wait_for(30, lambda: os.path.exists(self.orca_log)
                        and os.path.getsize(self.orca_log) > 10000):
            sys.exit("Orca did not start")
        time.sleep(3)

    def bus_daemons(self):
        return descendants(self.launcher.pid)

    def down(self):
        for proc in reversed(self.procs):
            try:
                for pid in descendants(proc.pid)[1:]:
                    os.kill(pid, signal.SIGTERM)
                proc.terminate()
                proc.wait(5)
            except (OSError, subprocess.TimeoutExpired):
                proc.kill()
        subprocess.run(["rm", "-rf", self.work])
