#!/usr/bin/env python3
"""A real USB-serial adapter, its driver and udev: QEMU gives a Debian 12
guest an FTDI adapter (QEMU's usb-serial, 0403:6001, ftdi_sio), and the
guest runs the terminal suite's row that needs one:

  tools/usb-check.py BUILD_DIR [GUEST_DIR]

GUEST_DIR keeps the guest between runs (made there when missing; the suite
is written into it anew each run).

The row checks that the port list names the adapter from its own strings
and puts it first, that an ordinary user's stty can take the open port and
the window comes back at its own rate, and, as this script pulls the
adapter out through QEMU's monitor and plugs it back when the row asks,
that the list follows and the same adapter is opened again by itself. Then
it sets 7E2 with RTS/CTS, lowers DTR and sends a break, and reads the
driver's termios and lines back; this script checks in QEMU's trace of the
adapter that the frame and the flow control reached it as FTDI requests.

Needs mmdebstrap, qemu-system-x86 and e2fsprogs, and root (the guest's root
file system is made with mmdebstrap). Runs under software emulation; about
four minutes, most of it making the guest.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

ADAPTER_IDS = "0403:6001"
ADAPTER_PRODUCT = "QEMU USB SERIAL"
PACKAGES = ["linux-image-amd64", "udev", "kmod", "mount", "libqt5widgets5", "libqt5serialport5",
            "libqt5test5", "fonts-dejavu-core"]
# A real adapter keeps its serial number wherever it is plugged; QEMU's makes
# one from the port it is on unless it is given one.
ADAPTER = "usb-serial,id=ftdi,chardev=line,bus=xhci.0,serial=A10KTVLN"

GUEST_INIT = f"""#!/bin/sh
# PID 1 of the guest: the devices, udev, the row, and off.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts && mount -t devpts devpts /dev/pts
mount -t tmpfs run /run && mkdir -p /run/lock /run/user
mount -t tmpfs tmp /tmp
/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add
udevadm settle
cd /tmp
env XDG_RUNTIME_DIR=/run/user QT_QPA_PLATFORM=offscreen \\
    TAVLINO_USB_ADAPTER={ADAPTER_IDS} TAVLINO_USB_PRODUCT="{ADAPTER_PRODUCT}" \\
    /usr/local/bin/tst_terminal usbAdapterIsListedLentAndFollowed
echo "tavlino-usb-check: exit $?"
echo 1 > /proc/sys/kernel/sysrq
echo o > /proc/sysrq-trigger
sleep 60
"""


def make_guest(work):
    root = os.path.join(work, "root")
    subprocess.run(["mmdebstrap", "--quiet", "--variant=apt",
                    "--include=" + ",".join(PACKAGES), "bookworm", root], check=True)
    init = os.path.join(root, "usb-check-init")
    with open(init, "w") as f:
        f.write(GUEST_INIT)
    os.chmod(init, 0o755)
    image = os.path.join(work, "root.img")
    subprocess.run(["mkfs.ext4", "-q", "-d", root, image, "3G"], check=True)
    boot = os.path.join(root, "boot")
    kernel = sorted(n for n in os.listdir(boot) if n.startswith("vmlinuz-"))[-1]
    initrd = sorted(n for n in os.listdir(boot) if n.startswith("initrd.img-"))[-1]
    shutil.copy(os.path.join(boot, kernel), os.path.join(work, "vmlinuz"))
    shutil.copy(os.path.join(boot, initrd), os.path.join(work, "initrd.img"))
    shutil.rmtree(root)


def put_suite(image, suite):
    target = "/usr/local/bin/tst_terminal"
    subprocess.run(["debugfs", "-w", "-R", f"rm {target}", image], capture_output=True)
    subprocess.run(["debugfs", "-w", "-R", f"write {suite} {target}", image], check=True,
                   capture_output=True)
    subprocess.run(["debugfs", "-w", "-R", f"set_inode_field {target} mode 0100755", image],
                   check=True, capture_output=True)


def monitor(path, command):
    with socket.socket(socket.AF_UNIX) as s:
        s.connect(path)
        s.sendall(command.encode() + b"\n")
        time.sleep(0.5)


def reached_adapter(trace):
    """QEMU's trace of the adapter holds an FTDI SET_DATA for 7 data bits,
    even parity and 2 stop bits, and a SET_FLOW_CTRL for RTS/CTS."""
    data = [line for line in trace.splitlines() if "usb_serial_set_data" in line]
    flow = [line for line in trace.splitlines() if "usb_serial_set_flow_control" in line]
    return (any("parity E, data bits 7, stop bits 2" in line for line in data)
            and any(line.rstrip().endswith("flow control 1") for line in flow))


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    suite = os.path.join(sys.argv[1], "tests", "tst_terminal")
    with tempfile.TemporaryDirectory(prefix="tavlino-usb-") as temporary:
        work = sys.argv[2] if len(sys.argv) == 3 else temporary
        image = os.path.join(work, "root.img")
        kernel = os.path.join(work, "vmlinuz")
        initrd = os.path.join(work, "initrd.img")
        if not os.path.exists(initrd):
            os.makedirs(work, exist_ok=True)
            make_guest(work)
        put_suite(image, suite)
        monitor_path = os.path.join(temporary, "monitor")
        trace_path = os.path.join(temporary, "trace")
        qemu = subprocess.Popen(
            ["qemu-system-x86_64", "-m", "1024", "-smp", "2", "-display", "none",
             "-serial", "stdio", "-monitor", f"unix:{monitor_path},server,nowait",
             "-kernel", kernel, "-initrd", initrd,
             "-append", "console=ttyS0 root=/dev/vda rw init=/usb-check-init",
             "-drive", f"file={image},format=raw,if=virtio",
             "-device", "qemu-xhci,id=xhci", "-chardev", "ringbuf,id=line",
             "-device", ADAPTER, "-no-reboot",
             "-trace", "enable=usb_serial_set_*", "-D", trace_path],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True, errors="replace")
        result = None
        framed = False
        deadline = time.monotonic() + 900
        for line in qemu.stdout:
            print(line, end="", flush=True)
            if "tavlino-usb-check: pull" in line:
                monitor(monitor_path, "device_del ftdi")
            elif "tavlino-usb-check: plug" in line:
                monitor(monitor_path, "device_add " + ADAPTER)
            elif "tavlino-usb-check: framed" in line:
                framed = True
            elif "tavlino-usb-check: exit" in line:
                result = int(line.split()[-1])
                break
            if time.monotonic() > deadline:
                break
        qemu.kill()
        qemu.wait()
        with open(trace_path, errors="replace") as trace:
            adapter_saw = trace.read()
    if result != 0:
        sys.exit(f"usb-check: the guest's row {'did not finish' if result is None else 'failed'}")
    print(adapter_saw)
    if not framed or not reached_adapter(adapter_saw):
        sys.exit("usb-check: 7E2 with RTS/CTS did not reach the adapter")
    print("usb-check: listed, lent, pulled, plugged and reopened on a real USB-serial driver")


if __name__ == "__main__":
    main()
