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

    def expected_partitions(self, attached, fstype_shown):
        """The NTFS partitions as Drivelark must find them: with FilesystemType
        shown, exactly the NTFS volumes; without it only what the partition
        type says (Windows_NTFS on MBR and whole disks: NTFS and exFAT alike;
        a GPT "Microsoft Basic Data" partition says nothing)."""
        out = []
        for d, p in self.volumes(attached):
            if fstype_shown:
                ntfs = p["fs"] == "ntfs"
            else:
                ntfs = "NTFS" in p["content"].upper()
            if ntfs:
                out.append({"deviceID": p["id"], "volumeName": p["name"] or "", "uuid": p["uuid"] or ""})
        return out

    def check_mounts_and_volumes(self, got, attached):
        want_types = {"ntfs": ("ntfs", True), "fat32": ("msdos", False), "exfat": ("exfat", False)}
        mounted = [(d, p) for d, p in self.volumes(attached) if p.get("mount_point")]
        self.assertEqual(len(mounted), sum(len(parts) for _, parts in DISKS))
        for d, p in mounted:
            mp = p["mount_point"]
            typ, ro = want_types[p["fs"]]
            self.assertEqual(got["mounts"].get(mp), {"type": typ, "readOnly": ro}, mp)
            self.assertEqual(got["devices"].get(mp), p["id"], mp)
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

    def test_listing_with_filesystem_type(self):
        attached = self.attach_all()
        got = self.read_probe()
        self.assertEqual(got["partitions"], self.expected_partitions(attached, fstype_shown=True))
        ids = [p["deviceID"] for p in got["partitions"]]
        fat, card = attached[0]["partitions"][1]["id"], attached[2]["partitions"][0]["id"]
        self.assertNotIn(fat, ids, "a FAT partition passed for NTFS")
        self.assertNotIn(card, ids, "the exFAT card (Content Windows_NTFS) passed for NTFS")
        self.assertIn(attached[3]["id"], ids, "the whole-disk NTFS volume is missing")
        no_uuid = attached[4]["partitions"][0]
        self.assertIn({"deviceID": no_uuid["id"], "volumeName": "No UUID", "uuid": ""}, got["partitions"])
        self.check_mounts_and_volumes(got, attached)
        # A '/' in a name is a ':' in its mount point.
        slash = attached[4]["partitions"][4]
        self.assertEqual(slash["mount_point"], "/Volumes/a:b")
        self.check_nothing_ran_from_a_name()

    def test_listing_without_filesystem_type(self):
        self.mac.set_fstype_shown(False)
        attached = self.attach_all()
        got = self.read_probe()
        self.assertEqual(got["partitions"], self.expected_partitions(attached, fstype_shown=False))
        ids = [p["deviceID"] for p in got["partitions"]]
        gpt_ntfs = attached[0]["partitions"][0]["id"]
        self.assertNotIn(gpt_ntfs, ids, "a GPT Microsoft Basic Data partition cannot be told from FAT")
        self.assertIn(attached[1]["partitions"][0]["id"], ids, "the MBR NTFS partition is missing")
        self.assertIn(attached[2]["partitions"][0]["id"], ids,
                      "without FilesystemType the exFAT card's Windows_NTFS reads as NTFS")
        self.assertIn(attached[3]["id"], ids, "the whole-disk NTFS volume is missing")
        self.check_mounts_and_volumes(got, attached)
        self.check_nothing_ran_from_a_name()

    def test_filesystem_type_left_out_for_one_disk(self):
        shown = self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Shown"}])
        hidden = self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Hidden"}], fstype_shown=False)
        got = self.read_probe()
        ids = [p["deviceID"] for p in got["partitions"]]
        self.assertEqual(ids, [shown["partitions"][0]["id"]])
        self.assertNotIn(hidden["partitions"][0]["id"], ids)

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
