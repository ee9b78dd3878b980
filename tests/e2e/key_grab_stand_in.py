"""A stand-in for the key grabber that Snapvik starts in its place (it has the token, so it is let in) and that
then misbehaves on its link:
  key_grab_stand_in.py MODE REPORT CUE PORT [PID]
It greets as the grabber does, answers the first grab "grabbed" and waits until CUE (a named pipe) is opened
and closed by the test. Then, by MODE:
  silent   half a line, then nothing (the link kept open);
  garbled  a line no grabber sends;
  flood    press lines of that grab, a megabyte at once and then on, until Snapvik closes the link (64 MB at
           most).
It writes REPORT (JSON: its pid, the bytes it sent, whether Snapvik closed the link) once the link is closed.
"""
import json
import os
import socket
import sys

FLOOD_MOST = 64 << 20


def main():
    mode, report, cue, port = sys.argv[1:5]
    link = socket.create_connection(("127.0.0.1", int(port)))
    link.sendall(("ready %s %d\n" % (os.environ["SNAPVIK_KEYGRAB_TOKEN"], os.getpid())).encode())
    pending = b""
    while b"\n" not in pending:
        got = link.recv(4096)
        if not got:
            return
        pending += got
    words = pending.split(b"\n")[0].split()
    serial = words[1].decode()
    link.sendall(("grabbed %s\n" % serial).encode())
    with open(cue) as f:
        f.read()
    sent, closed = 0, False
    link.settimeout(60)
    try:
        if mode == "silent":
            link.sendall(b"press")
        elif mode == "garbled":
            link.sendall(b"pr\xffss \x00" + serial.encode() + b"\n")
        else:
            chunk = ("press %s\n" % serial).encode() * 8192
            link.sendall(chunk * ((1 << 20) // len(chunk) + 1))
            sent = (1 << 20) // len(chunk) * len(chunk) + len(chunk)
            while sent < FLOOD_MOST:
                link.sendall(chunk)
                sent += len(chunk)
        while link.recv(4096):
            pass
        closed = True
    except socket.timeout:
        pass
    except OSError:
        closed = True
    finally:
        with open(report + ".part", "w") as f:
            json.dump({"pid": os.getpid(), "sent": sent, "closed": closed}, f)
        os.rename(report + ".part", report)


main()
