"""Another local user who tries to take the key grabber's place (run as that user, from its standard input).

It connects first, three times, to every loopback listener that appears: one connection stays silent, one
answers as a grabber would ("grabbed" and three presses), one answers "held". Each opens with every token-like
word it finds on the command lines and in the environments it can read, looking again and again for a second
(the grabber starts after the listener). It ends when its standard input is
closed (it reads nothing from it) and prints what it did as JSON.
"""
import json
import os
import re
import select
import socket
import sys
import time

TOKEN = re.compile(rb"(?<![0-9a-f])[0-9a-f]{32}(?![0-9a-f])")


def listeners():
    ports = set()
    with open("/proc/net/tcp") as f:
        for line in f.read().splitlines()[1:]:
            fields = line.split()
            if fields[3] == "0A" and fields[1].startswith("0100007F:"):
                ports.add(int(fields[1].split(":")[1], 16))
    return ports


def tokens():
    found = set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        for name in ("cmdline", "environ"):
            try:
                with open("/proc/%s/%s" % (pid, name), "rb") as f:
                    found.update(m.decode() for m in TOKEN.findall(f.read()))
            except OSError:
                pass
    return found


def main():
    done = {"connections": 0, "tokens": [], "answers": 0, "ports": 0}
    seen = listeners()
    links = []  # (socket, role): 0 silent, 1 grabbed and presses, 2 held
    unsent = []  # (socket, when connected): no greeting yet
    print("watching", flush=True)
    while not select.select([sys.stdin], [], [], 0)[0]:
        for port in listeners() - seen:
            seen.add(port)
            done["ports"] += 1
            for role in range(3):
                try:
                    s = socket.create_connection(("127.0.0.1", port), timeout=0.5)
                except OSError:
                    continue
                done["connections"] += 1
                s.setblocking(False)
                links.append((s, role))
                if role:
                    unsent.append((s, time.monotonic()))
        if unsent:
            words = sorted(tokens())
            late = [u for u in unsent if time.monotonic() - u[1] > 1.0]
            for s, _ in (unsent if words else late):
                greeting = "".join("ready %s %d\n" % (w, os.getpid()) for w in words or ["0" * 32])
                done["tokens"] += words
                try:
                    s.sendall(greeting.encode())
                except OSError:
                    pass
            unsent = [] if words else [u for u in unsent if u not in late]
        for s, role in links:
            if not role:
                continue
            try:
                data = s.recv(4096)
            except (BlockingIOError, OSError):
                continue
            for line in data.decode(errors="replace").splitlines():
                w = line.split()
                if len(w) < 2:
                    continue
                if w[0] == "grab":
                    answer = ("grabbed %s\n" % w[1] + "press %s\n" % w[1] * 3) if role == 1 else "held %s\n" % w[1]
                else:
                    answer = "released %s\n" % w[1]
                try:
                    s.sendall(answer.encode())
                    done["answers"] += 1
                except OSError:
                    pass
    print(json.dumps(done), flush=True)


main()
