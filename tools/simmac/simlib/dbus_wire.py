"""Just enough of the D-Bus wire protocol for the logind stand-in and the
self-tests: a connection authenticated as its uid with descriptor passing,
and little-endian messages whose header fields and arguments are strings,
object paths, signatures, uint32s or descriptors (an index into those sent
beside the message)."""
import os
import socket
import struct

METHOD_CALL, METHOD_RETURN, ERROR, SIGNAL = 1, 2, 3, 4
PATH, INTERFACE, MEMBER, ERROR_NAME, REPLY_SERIAL, DESTINATION, SENDER, SIGNATURE, UNIX_FDS = range(1, 10)
_FIELD_TYPES = {PATH: "o", INTERFACE: "s", MEMBER: "s", ERROR_NAME: "s", REPLY_SERIAL: "u", DESTINATION: "s",
                SENDER: "s", SIGNATURE: "g", UNIX_FDS: "u"}
_HEADER = struct.Struct("<cBBBIII")    # byte order, type, flags, version, body length, serial, fields' length


def _pad(data, size):
    return data + b"\0" * (-len(data) % size)


def _append(data, kind, value):
    """data with a value of type kind after it, aligned as the protocol wants
    (data starts at an offset that is a multiple of 8)."""
    if kind in "uh":
        return _pad(data, 4) + struct.pack("<I", value)
    raw = value.encode()
    if kind == "g":
        return data + bytes([len(raw)]) + raw + b"\0"
    return _pad(data, 4) + struct.pack("<I", len(raw)) + raw + b"\0"


def message(kind, serial, fields, args=()):
    """A message. fields: {code: value}; args: [(type, value)]."""
    body = b""
    for arg_type, value in args:
        body = _append(body, arg_type, value)
    if args:
        fields = {**fields, SIGNATURE: "".join(arg_type for arg_type, _ in args)}
    array = b""
    for code, value in fields.items():
        array = _append(_pad(array, 8) + bytes([code, 1]) + _FIELD_TYPES[code].encode() + b"\0",
                        _FIELD_TYPES[code], value)
    return _pad(_HEADER.pack(b"l", kind, 0, 1, len(body), serial, len(array)) + array, 8) + body


def parse(data):
    """((type, serial, fields, body), rest) for the first message of data, or
    None while it is incomplete."""
    if len(data) < _HEADER.size:
        return None
    order, kind, _, _, body_length, serial, array_length = _HEADER.unpack_from(data)
    if order != b"l":
        raise ValueError("a big-endian message")
    start = _HEADER.size + array_length + (-array_length % 8)
    if len(data) < start + body_length:
        return None
    fields, at = {}, _HEADER.size
    while at < _HEADER.size + array_length:
        at += -at % 8
        code, field_type = data[at], chr(data[at + 2])
        at += 4
        if field_type == "u":
            fields[code] = struct.unpack_from("<I", data, at)[0]
            at += 4
        elif field_type == "g":
            fields[code] = data[at + 1:at + 1 + data[at]].decode()
            at += data[at] + 2
        else:
            at += -at % 4
            size = struct.unpack_from("<I", data, at)[0]
            fields[code] = data[at + 4:at + 4 + size].decode()
            at += size + 5
    return (kind, serial, fields, data[start:start + body_length]), data[start + body_length:]


def connect(path):
    """A connection to the bus at path, authenticated, with descriptor passing;
    Hello is sent (serial 1), its answer left to read."""
    bus = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    bus.connect(path)
    for line, answer in ((b"\0AUTH EXTERNAL %s\r\n" % str(os.getuid()).encode().hex().encode(), b"OK "),
                         (b"NEGOTIATE_UNIX_FD\r\n", b"AGREE_UNIX_FD")):
        bus.sendall(line)
        if not bus.recv(4096).startswith(answer):
            raise ConnectionError("the bus at %s refused %r" % (path, line.strip()))
    bus.sendall(b"BEGIN\r\n" + message(METHOD_CALL, 1, {PATH: "/org/freedesktop/DBus", MEMBER: "Hello",
                                                         INTERFACE: "org.freedesktop.DBus",
                                                         DESTINATION: "org.freedesktop.DBus"}))
    return bus
