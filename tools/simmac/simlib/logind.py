"""A stand-in for systemd-logind on the simulated Mac's system bus (bus.py).

It owns org.freedesktop.login1 and answers Manager.Inhibit(what, who, why,
mode) as logind does: with a descriptor that holds the lock for as long as
any copy of it is open. It keeps the number of locks held in
/var/simmac/inhibitors, which `simmac sleep` waits on. It does not send
PrepareForSleep itself: `simmac sleep` and `simmac wake` do. Prints "ready"
once it owns its name; ends when the bus does.
"""
import os
import select
import socket
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from simlib import layout  # noqa: E402
from simlib.dbus_wire import (DESTINATION, ERROR, ERROR_NAME, INTERFACE, MEMBER, METHOD_CALL,  # noqa: E402
                              METHOD_RETURN, PATH, REPLY_SERIAL, SENDER, UNIX_FDS, connect, message, parse)

NAME = "org.freedesktop.login1"
MANAGER = "org.freedesktop.login1.Manager"


def publish(held):
    with open(layout.INHIBITORS + ".tmp", "w") as f:
        f.write("%d\n" % held)
    os.replace(layout.INHIBITORS + ".tmp", layout.INHIBITORS)


def main():
    bus = connect(layout.BUS_SOCKET)
    bus.sendall(message(METHOD_CALL, 2, {PATH: "/org/freedesktop/DBus", INTERFACE: "org.freedesktop.DBus",
                                         MEMBER: "RequestName", DESTINATION: "org.freedesktop.DBus"},
                        [("s", NAME), ("u", 4)]))    # 4: do not queue
    locks = set()      # our ends of the locks handed out
    publish(0)
    poller = select.poll()
    poller.register(bus, select.POLLIN)
    received, serial = b"", 2
    while True:
        for fd, _ in poller.poll():
            if fd in locks:    # every copy of the other end is closed: released
                poller.unregister(fd)
                os.close(fd)
                locks.remove(fd)
                publish(len(locks))
                continue
            data = bus.recv(65536)
            if not data:
                return 0
            received += data
            while (parsed := parse(received)) is not None:
                (kind, call_serial, fields, _), received = parsed
                if kind == METHOD_RETURN and fields.get(REPLY_SERIAL) == 2:
                    print("ready", flush=True)
                elif kind == ERROR and fields.get(REPLY_SERIAL) == 2:
                    sys.exit("logind stand-in: %s is taken" % NAME)
                elif kind == METHOD_CALL:
                    serial += 1
                    answer = {REPLY_SERIAL: call_serial, DESTINATION: fields[SENDER]}
                    if (fields.get(INTERFACE), fields.get(MEMBER)) != (MANAGER, "Inhibit"):
                        unknown = {**answer, ERROR_NAME: "org.freedesktop.DBus.Error.UnknownMethod"}
                        bus.sendall(message(ERROR, serial, unknown))
                        continue
                    ours, theirs = os.pipe()
                    locks.add(ours)
                    poller.register(ours, 0)           # hang-up only
                    publish(len(locks))                # before the answer: whoever has the lock sees it counted
                    bus.sendmsg([message(METHOD_RETURN, serial, {**answer, UNIX_FDS: 1}, [("h", 0)])],
                                [(socket.SOL_SOCKET, socket.SCM_RIGHTS, struct.pack("i", theirs))])
                    os.close(theirs)


if __name__ == "__main__":
    sys.exit(main())
