"""Puts an unmounted NTFS image into a state that Windows leaves behind.

  dirty      the volume's dirty flag ($Volume, $VOLUME_INFORMATION, bit 0x0001)
  unclean    a version 1.1 $LogFile restart area that is not marked clean
             (Windows crashed); ntfs-3g empties it and mounts read-write
  faststart  the same with a version 2.0 restart area (fast start);
             ntfs-3g falls back to read-only
  hibernated /hiberfil.sys beginning with "HIBR" (see images.make_hibernated)

NTFS records carry "multi-sector fix-ups": the last two bytes of every 512-byte
sector are moved into an array and replaced by a sequence number, so a
record must be un-fixed before editing and fixed again before writing.
"""
import struct

ATTR_DATA = 0x80
ATTR_VOLUME_INFORMATION = 0x70
MFT_LOGFILE = 2
MFT_VOLUME = 3


def _unfix(buf):
    off, count = struct.unpack_from("<HH", buf, 4)
    for i in range(1, count):
        buf[i * 512 - 2:i * 512] = buf[off + 2 * i:off + 2 * i + 2]


def _fix(buf, usn):
    off, count = struct.unpack_from("<HH", buf, 4)
    struct.pack_into("<H", buf, off, usn)
    for i in range(1, count):
        buf[off + 2 * i:off + 2 * i + 2] = buf[i * 512 - 2:i * 512]
        struct.pack_into("<H", buf, i * 512 - 2, usn)


class _Volume:
    def __init__(self, f):
        self.f = f
        boot = self.read(0, 512)
        self.cluster = struct.unpack_from("<H", boot, 11)[0] * boot[13]
        mft_lcn, mirr_lcn = struct.unpack_from("<qq", boot, 0x30)
        self.mft = mft_lcn * self.cluster
        self.mirr = mirr_lcn * self.cluster
        c = struct.unpack_from("<b", boot, 0x40)[0]
        self.record_size = self.cluster * c if c > 0 else 1 << -c

    def read(self, off, n):
        self.f.seek(off)
        return bytearray(self.f.read(n))

    def write(self, off, data):
        self.f.seek(off)
        self.f.write(data)

    def record(self, number):
        r = self.read(self.mft + number * self.record_size, self.record_size)
        _unfix(r)
        return r

    @staticmethod
    def find_attribute(rec, atype):
        p = struct.unpack_from("<H", rec, 0x14)[0]
        while True:
            t, length = struct.unpack_from("<II", rec, p)
            if t == atype:
                return p
            if t == 0xFFFFFFFF or length == 0:
                raise ValueError("attribute 0x%x not found" % atype)
            p += length


def set_dirty(f):
    v = _Volume(f)
    rec = v.record(MFT_VOLUME)
    p = v.find_attribute(rec, ATTR_VOLUME_INFORMATION)
    value = p + struct.unpack_from("<H", rec, p + 0x14)[0]   # resident value offset
    flags = value + 10
    struct.pack_into("<H", rec, flags, struct.unpack_from("<H", rec, flags)[0] | 0x0001)
    usn_off = struct.unpack_from("<H", rec, 4)[0]
    _fix(rec, struct.unpack_from("<H", rec, usn_off)[0] % 0xFFFE + 1)
    # $MFT and its mirror must agree, or ntfs-3g calls the volume corrupt.
    v.write(v.mft + MFT_VOLUME * v.record_size, rec)
    v.write(v.mirr + MFT_VOLUME * v.record_size, rec)


def set_journal(f, major, minor):
    """Two restart pages at the start of $LogFile, not marked clean."""
    v = _Volume(f)
    rec = v.record(MFT_LOGFILE)
    p = v.find_attribute(rec, ATTR_DATA)
    size = struct.unpack_from("<q", rec, p + 0x30)[0]
    run = p + struct.unpack_from("<H", rec, p + 0x20)[0]
    header = rec[run]
    len_size, off_size = header & 15, header >> 4
    lcn = int.from_bytes(rec[run + 1 + len_size:run + 1 + len_size + off_size], "little", signed=True)

    page = bytearray(4096)
    # restart page header: magic, usa offset/count, chkdsk lsn, sizes, restart area offset, version
    struct.pack_into("<4sHHqIIHhh", page, 0, b"RSTR", 0x1E, 9, 0, 4096, 4096, 0x30, minor, major)
    # restart area: current lsn, log clients 1, client free list none, client in use list 0,
    # flags 0 (so not "volume is clean"), seq number bits, area length, client array offset,
    # file size, last lsn data length, record header length, log page data offset, revision
    struct.pack_into("<qHHHHIHHqIHHI", page, 0x30, 0x100000, 1, 0xFFFF, 0, 0,
                     67 - size.bit_length(), 0xD0, 0x30, size, 0, 0x30, 0x40, 1)
    # the one log client record: oldest and restart lsn, prev/next client, sequence, name
    struct.pack_into("<qqHHH6xI", page, 0x60, 0x100000, 0x100000, 0xFFFF, 0xFFFF, 1, 8)
    page[0x80:0x88] = "NTFS".encode("utf-16-le")
    _fix(page, 1)
    v.write(lcn * v.cluster, page)
    v.write(lcn * v.cluster + 4096, page)


def apply(image, what):
    with open(image, "r+b") as f:
        if what == "dirty":
            set_dirty(f)
        elif what == "unclean":
            set_journal(f, 1, 1)
        elif what == "faststart":
            set_journal(f, 2, 0)
        else:
            raise ValueError("unknown NTFS state %r" % what)
