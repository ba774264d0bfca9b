#!/usr/bin/env python3
"""Plays the device side of a pseudo-terminal for the Windows tests under Wine.

    ptybridge.py PORT COMn

Opens a pty, links $WINEPREFIX/dosdevices/comN to its slave so that the
Windows program can open COMn, connects to the test on 127.0.0.1:PORT, sends
the slave's path and a newline, then passes bytes both ways between the pty's
master and the connection. When the test closes the connection the master
is closed, as an unplugged adapter would be, and the link removed.
"""
import os
import pty
import select
import socket
import sys
import time
import tty


def main():
    port, com = int(sys.argv[1]), sys.argv[2].lower()
    master, slave = pty.openpty()
    tty.setraw(slave)
    name = os.ttyname(slave)
    os.close(slave)
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    link = os.path.join(prefix, "dosdevices", com)
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(name, link)
    test = socket.create_connection(("127.0.0.1", port))
    try:
        test.sendall(name.encode() + b"\n")
        while True:
            readable, _, _ = select.select([master, test], [], [])
            if test in readable:
                data = test.recv(65536)
                if not data:
                    break
                os.write(master, data)
            if master in readable:
                try:
                    test.sendall(os.read(master, 65536))
                except OSError:
                    # No one has the slave open (yet, or any more).
                    time.sleep(0.005)
    finally:
        os.close(master)
        if os.path.lexists(link):
            os.unlink(link)


if __name__ == "__main__":
    main()
