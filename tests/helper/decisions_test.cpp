// The decisions behind the helper tool's work: what a boot sector, the list of running programs
// and ntfs-3g.probe's exit mean, what of other programs' output may reach the caller, and which
// tools it trusts: only the copies in its own folder.

#include <gtest/gtest.h>

#include "helper/boot_sector.h"
#include "helper/ntfs_device.h"
#include "helper/trusted_tools.h"
#include "helper_scene.h"

using namespace drivelark;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;

TEST(BootSectorTest, OnlyNtfsWithTheSignatureIsRecognised) {
    EXPECT_TRUE(isNtfsBootSector(kNtfsBootSector + "more of the device"));
    auto changed = [](size_t at, std::string s) { return std::string(kNtfsBootSector).replace(at, s.size(), s); };
    for (const std::string& other : {changed(3, "EXFAT   "), changed(3, "ntfs    "), changed(511, std::string(1, '\0')),
                                     changed(510, "\xAA\x55"), kNtfsBootSector.substr(0, 511), std::string()})
        EXPECT_FALSE(isNtfsBootSector(other));
}

// ps prints one line per process; an argument with a line break continues it on lines of its own.
TEST(ProcessListTest, BelievedOnlyWithTheToolsOwnLineOnceAndNoProcessTwice) {
    const std::string own = " 4242   321     0 /Library/PrivilegedHelperTools/x/drivelark-mount fix disk4s1\n";
    const std::vector<std::pair<std::string, std::optional<size_t>>> cases = {  // listing, processes believed
        {own + "  700     1   501 /usr/bin/vi caf\xE9.txt\n  701 1 501\n", 3},  // raw bytes; no arguments
        {own + "  702     1   501 /bin/echo a\nb\n  12 1 0 forged\n", 3},           // a line break in arguments
        {"    1     0     0 /sbin/launchd\n", std::nullopt}, {own + "  7 1 0 a\n" + own, std::nullopt},
    };
    for (const auto& [listing, count] : cases) {
        std::optional<std::vector<Process>> processes = parseProcessList(listing, kOwnPid);
        EXPECT_EQ(processes ? std::optional(processes->size()) : std::nullopt, count) << listing;
    }
    EXPECT_EQ(parseProcessList(cases[0].first, kOwnPid)->at(1), (Process{700, 1, 501, "/usr/bin/vi caf\xE9.txt"}));
}

TEST(ProcessListTest, Ntfs3gIsKnownByItsDeviceAndMountPointAndOthersByWhatTheyName) {
    // Of disk4s1 and /Volumes/Data: S serves the device, R is a root ntfs-3g for the place, N names the place.
    const std::string data = "/usr/local/bin/ntfs-3g /dev/disk4s1 /Volumes/Data -o volname=",
                      tail = ",local,noowners,noatime";
    const std::vector<std::tuple<std::string, unsigned, std::string>> cases = {
        {data + "Data" + tail, 0, "SRN"}, {data + "Data" + tail, 501, "SN"}, {data + "a -o volname=b" + tail, 0, "SN"},
        {"/Applications/My Apps/Drivelark.app/Contents/MacOS/ntfs-3g /dev/disk4s1 /Volumes/Data -o volname=Data" + tail,
         0, "SRN"},
        {"/usr/local/bin/ntfs-3g /dev/disk5s1 /Volumes/Data 1 -o volname=Data 1" + tail, 0, ""},
        {"ntfs-3g -o ro /dev/rdisk4s1 /Volumes/X", 0, "S"}, {"ntfs-3g /dev/disk4s10 /Volumes/X", 0, ""},
        {"/usr/local/bin/ntfs-3g.probe --readwrite /dev/disk4s1", 0, ""}, {"/usr/bin/less /dev/disk4s1", 0, ""},
        {"/usr/local/bin/sshfs host: /Volumes/Data", 501, "N"}, {"cat /Volumes/Data/notes.txt", 501, "N"},
        {"cat /Volumes/Database /Volumes/Data.txt", 501, ""},
    };
    for (const auto& [arguments, owner, holds] : cases) {
        const Process p{42, 1, owner, arguments};
        const bool s = ntfs3gServing({p}, "disk4s1") == 42, r = isRootNtfs3gFor(p, "/Volumes/Data");
        EXPECT_EQ(std::string(s ? "S" : "") + (r ? "R" : "") + (namesMountPoint(p, "/Volumes/Data") ? "N" : ""), holds)
            << arguments;
    }
}

TEST(ProbeVerdictTest, ByExitStatusAndOnlyTheFastRestartLineTellsFourteensApart) {
    using enum ProbeVerdict;
    const std::string dirty = "The disk contains an unclean file system (0, 0).\n";
    const std::vector<std::pair<ProgramRun, ProbeVerdict>> cases = {
        {exited(0), mountable}, {exited(15, dirty), unclean}, {exited(12), notNtfs}, {exited(13), corrupt},
        {exited(14, dirty + "Metadata kept in Windows cache, refused to mount.\n"), fastRestart},
        {exited(14, "Windows is hibernated, refused to mount.\n"), hibernated},
        {exited(14, "\xFF\xFE garbled\n"), hibernated},
        {exited(14, "label: Metadata kept in Windows cache\n"), hibernated},
        {exited(16), unknown}, {exited(128 + 9), unknown}, {timedOut(), unknown}, {notStarted("no probe"), unknown},
    };
    for (const auto& [run, verdict] : cases) EXPECT_EQ(probeVerdict(run), verdict) << run.status << run.output;
}

// Other programs' output reaches the caller as it was, tabs and all, but for what could break a
// line or the UTF-8 (the fuzz target helper_outputs holds every output to that).
TEST(OutcomeTest, QuotedTextStaysAsItWasButForControlCharactersAndBytesThatAreNotUtf8) {
    EXPECT_EQ(Outcome().quote("caf\xC3\xA9 \xF0\x9F\x92\xBE\r\x1B[2J\t\xE9 \xC3\n\n").text,
              "caf\xC3\xA9 \xF0\x9F\x92\xBE??[2J\t? ?\n\n");
}

// With sudo, only tools in a folder that nobody but root can change; a root shell's administrator
// may run the copy in the user's bundle, never through a link.
TEST(TrustedToolsTest, OnlyAToolAndAFolderThatNobodyButRootCanChange) {
    const FileInfo link{.isSymbolicLink = true};
    // What changes, to what (or the errno value its lstat fails with), trusted:
    const std::vector<std::tuple<std::string, std::variant<FileInfo, int>, std::string>> cases = {
        {kNtfs3g, regularFile(0, 0555), "SR"}, {kNtfs3g, regularFile(0, 04755), "SR"},  // S with sudo, R from root
        {kToolFolder, directory(0, 0711), "SR"}, {kToolFolder, directory(501, 0755), "R"},
        {kToolFolder, directory(0, 0775), "R"}, {kToolFolder, directory(0, 01777), "R"},
        {kToolFolder, regularFile(), ""}, {kToolFolder, link, ""}, {kToolFolder, EACCES, ""},
        {kNtfs3g, regularFile(501, 0755), "R"}, {kNtfs3g, regularFile(0, 0775), "R"}, {kNtfs3g, link, ""},
        {kNtfs3g, regularFile(0, 0757), "R"}, {kNtfs3g, directory(), ""}, {kNtfs3g, ENOENT, ""},
    };
    for (const auto& [path, info, trusted] : cases) {
        for (const char by : {'S', 'R'}) {
            HelperMachine machine;
            if (const FileInfo* file = std::get_if<FileInfo>(&info)) machine.files[path] = *file;
            else machine.failing[{"lstat", path}] = std::get<int>(info);
            machine.bySudo = by == 'S';
            std::string tool;
            Outcome outcome = trustedTool(machine, "ntfs-3g", &tool);
            EXPECT_EQ(outcome.ok() ? by : '-', trusted.find(by) != std::string::npos ? by : '-') << path << trusted;
            const bool namesIt = outcome.status == kRefused && outcome.text.find(path) != std::string::npos;
            EXPECT_TRUE(outcome.ok() ? tool == kNtfs3g : namesIt) << outcome.text;
        }
    }
    HelperMachine machine;
    machine.folder.reset();
    std::string tool;
    EXPECT_FALSE(trustedTool(machine, "ntfsfix", &tool).ok());
}
