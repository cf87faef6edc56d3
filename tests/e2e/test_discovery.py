"""What Drivelark's discovery code reads back from the simulated Mac
(through tests/discovery_probe, run inside as the console user) is exactly
what was attached: the NTFS partitions, the mount table, the device behind
each mount and the volumes of the menu.
"""
import json
import os

import e2e_support as e2e

HOSTILE = "$(touch /tmp/owned); `touch /tmp/owned2` x"

# The disks of the main scenario, attached in this order (disk4, disk5, ...).
DISKS = [
    ("gpt", [{"fs": "ntfs", "name": "Data"}, {"fs": "fat32", "name": "STICK"}]),
    ("mbr", [{"fs": "ntfs", "name": "Win NTFS"}]),
    ("mbr", [{"fs": "exfat", "name": "CARD"}]),             # Content reads Windows_NTFS
    ("none", [{"fs": "ntfs", "name": "Whole"}]),
    ("gpt", [{"fs": "ntfs", "name": "No UUID", "uuid": None},
             {"fs": "ntfs", "name": "My Passport"},
             {"fs": "ntfs", "name": "Bob's \"Disk\""},
             {"fs": "ntfs", "name": "a,b"},
             {"fs": "ntfs", "name": "a/b"},
             {"fs": "ntfs", "name": "资料盘"},
             {"fs": "ntfs", "name": "back\\slash"},
             {"fs": "ntfs", "name": HOSTILE}]),
]


class Discovery(e2e.SimMacTestCase):
    def setUp(self):
        super().setUp()
        self.probe = e2e.build_file("tests/discovery_probe")

    def attach_all(self, disks=DISKS, **kw):
        attached = []
        for scheme, parts in disks:
            attached.append(self.mac.attach(scheme=scheme, partitions=parts, **kw))
        return attached

    def read_probe(self):
        r = self.run_in([self.probe], timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr)
        return json.loads(r.stdout)

    @staticmethod
    def volumes(attached):
        """(disk, partition) of every attached volume, in listing order."""
        return [(d, p) for d in attached for p in d["partitions"]]

    def expected_partitions(self, attached):
        return [{"deviceID": p["id"], "volumeName": p["name"] or "", "uuid": p["uuid"] or ""}
                for d, p in self.volumes(attached) if p["fs"] == "ntfs"]

    def check_mounts_and_volumes(self, got, attached):
        want_types = {"ntfs": ("ntfs", True), "fat32": ("msdos", False), "exfat": ("exfat", False)}
        mounted = [(d, p) for d, p in self.volumes(attached) if p.get("mount_point")]
        self.assertEqual(len(mounted), sum(len(parts) for _, parts in DISKS))
        for d, p in mounted:
            mp = p["mount_point"]
            typ, ro = want_types[p["fs"]]
            self.assertEqual(got["mounts"].get(mp), {"type": typ, "readOnly": ro}, mp)
            self.assertEqual(got["devices"].get(mp), "/dev/" + p["id"], mp)
        # The system's own mounts are there too, and nothing under /Volumes
        # that was not attached.
        self.assertEqual(got["mounts"]["/"], {"type": "apfs", "readOnly": True})
        self.assertEqual(got["mounts"]["/dev"], {"type": "devfs", "readOnly": False})
        self.assertEqual(sorted(m for m in got["mounts"] if m.startswith("/Volumes/")),
                         sorted(p["mount_point"] for _, p in mounted))
        self.assertEqual(sorted(got["devices"]), sorted(p["mount_point"] for _, p in mounted))
        want_volumes = sorted((p["id"], p["mount_point"], p["name"] or "", "ntfsReadOnly")
                              for _, p in mounted if p["fs"] == "ntfs")
        self.assertEqual(sorted((v["deviceID"], v["mountPoint"], v["name"], v["kind"]) for v in got["volumes"]),
                         want_volumes)

    def check_nothing_ran_from_a_name(self):
        for name in ("/tmp/owned", "/tmp/owned2"):
            self.assertFalse(os.path.exists(self.mac.host_path(name)), name + " exists inside")
            self.assertFalse(os.path.exists(name), name + " exists on the host")
        # Discovery only reads: diskutil and mount ran, nothing else (no shell).
        for e in self.mac.audit():
            self.assertIn(os.path.basename(e["prog"]), ("diskutil", "mount"), e)

    def test_ntfs_is_found_with_and_without_the_file_system_in_the_listing(self):
        attached = self.attach_all()
        # A real Mac's listing names only partition types, which NTFS shares with exFAT and FAT:
        # the file system of each such volume is asked of the disk utility.
        got = self.read_probe()
        self.assertEqual(got["partitions"], self.expected_partitions(attached))
        shared = [p["id"] for _, p in self.volumes(attached) if p["content"] in ("Windows_NTFS", "Microsoft Basic Data")]
        asked = [e["argv"][2] for e in self.mac.audit("diskutil")
                 if e["argv"][:2] == ["info", "-plist"] and not e["argv"][2].startswith("/")]
        self.assertEqual(sorted(asked), sorted(shared))
        self.check_mounts_and_volumes(got, attached)
        # A '/' in a name is a ':' in its mount point.
        self.assertEqual(attached[4]["partitions"][4]["mount_point"], "/Volumes/a:b")

        self.mac.set_fstype_shown(True)
        got = self.read_probe()
        self.assertEqual(got["partitions"], self.expected_partitions(attached))
        asked_again = [e for e in self.mac.audit("diskutil")
                       if e["argv"][:2] == ["info", "-plist"] and not e["argv"][2].startswith("/")]
        self.assertEqual(len(asked_again), len(asked), "the listing said it all, yet volumes were described")
        self.check_nothing_ran_from_a_name()

    def test_unmounted_partition_and_detach(self):
        d = self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Later", "mount": False},
                                                      {"fs": "ntfs", "name": "Now"}])
        got = self.read_probe()
        self.assertEqual([p["deviceID"] for p in got["partitions"]], [p["id"] for p in d["partitions"]])
        self.assertNotIn("/Volumes/Later", got["mounts"])
        self.assertEqual([v["mountPoint"] for v in got["volumes"]], ["/Volumes/Now"])
        self.mac.detach(d["id"])
        got = self.read_probe()
        self.assertEqual(got["partitions"], [])
        self.assertEqual(got["volumes"], [])
        self.assertEqual([m for m in got["mounts"] if m.startswith("/Volumes/")], [])


if __name__ == "__main__":
    e2e.main()
