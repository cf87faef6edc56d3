#include <gtest/gtest.h>

#include "mount/root_commands.h"

namespace drivelark {
namespace {

// Reads an AppleScript string literal back as AppleScript does.
std::string decodeAppleScriptLiteral(const std::string& script) {
    const std::string prefix = "do shell script \"";
    const std::string suffix = "\" with administrator privileges";
    EXPECT_EQ(script.substr(0, prefix.size()), prefix);
    EXPECT_EQ(script.substr(script.size() - suffix.size()), suffix);
    std::string literal = script.substr(prefix.size(), script.size() - prefix.size() - suffix.size());
    std::string decoded;
    for (size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] == '\\' && i + 1 < literal.size()) {
            decoded += literal[++i];
        } else {
            EXPECT_NE(literal[i], '"') << "unescaped quote ends the literal early";
            decoded += literal[i];
        }
    }
    return decoded;
}

TEST(RootCommandsTest, ShellQuoting) {
    EXPECT_EQ(shellQuoted("disk4s1"), "'disk4s1'");
    EXPECT_EQ(shellQuoted("Bob's"), "'Bob'\\''s'");
    EXPECT_EQ(shellQuoted(""), "''");
    EXPECT_EQ(shellQuoted("$(touch /tmp/owned); `id` \"x\" \\"), "'$(touch /tmp/owned); `id` \"x\" \\'");
}

TEST(RootCommandsTest, AdministratorScriptHandsTheShellExactlyTheCommand) {
    EXPECT_EQ(administratorScript("echo \"a\\b\""), "do shell script \"echo \\\"a\\\\b\\\"\" with administrator privileges");
    for (const std::string& command : {std::string("/bin/mkdir -p '/Volumes/Bob'\\''s \"Disk\"'"),
                                      std::string("printf 'a\\nb' ; echo $HOME 数据\nsecond line"),
                                      std::string("\\\\\"\"\\"), std::string("")}) {
        EXPECT_EQ(decodeAppleScriptLiteral(administratorScript(command)), command);
    }
}

TEST(RootCommandsTest, RemountCommand) {
    EXPECT_EQ(remountCommand("disk4s1", "/Volumes/Data", "Data", "/usr/local/bin/ntfs-3g"),
              "/usr/sbin/diskutil unmount force 'disk4s1' || /usr/sbin/diskutil unmount 'disk4s1' ; "
              "/usr/sbin/diskutil unmount force '/Volumes/Data' ; "
              "/bin/mkdir -p '/Volumes/Data' ; "
              "dd if=/dev/zero of=/dev/rdisk4s1 bs=1 count=0 2>/dev/null || { echo __WRITE_DENIED__ >&2; exit 1; } ; "
              "out=$('/usr/local/bin/ntfs-3g' '/dev/disk4s1' '/Volumes/Data' -o volname='Data',local,noowners,noatime "
              "2>&1) ; status=$? ; "
              "case \"$out\" in *read-only*) /usr/sbin/diskutil unmount force '/Volumes/Data' >/dev/null 2>&1 ; "
              "status=1 ;; esac ; "
              "printf '%s\\n' \"$out\" >&2 ; exit $status");
    std::string hostile = remountCommand("disk5s2", "/Volumes/Bob's $(x)", "Bob's $(x)", "/Apps/D'lark.app/ntfs-3g");
    EXPECT_NE(hostile.find("/bin/mkdir -p '/Volumes/Bob'\\''s $(x)'"), std::string::npos);
    EXPECT_NE(hostile.find("-o volname='Bob'\\''s $(x)',local,noowners,noatime"), std::string::npos);
    EXPECT_NE(hostile.find("out=$('/Apps/D'\\''lark.app/ntfs-3g' '/dev/disk5s2'"), std::string::npos);
}

TEST(RootCommandsTest, RepairCommand) {
    EXPECT_EQ(repairCommand("disk4s1", "/usr/local/bin/ntfsfix", "/usr/local/bin/ntfs-3g.probe"),
              "dd if=/dev/zero of=/dev/rdisk4s1 bs=1 count=0 2>/dev/null || { echo __WRITE_DENIED__ >&2; exit 1; }; "
              "! /sbin/mount | /usr/bin/grep -q '^/dev/disk4s1 on ' || "
              "{ echo 'disk4s1 is mounted: not repairing it under the mount'; exit 1; }; "
              "case \"$('/usr/local/bin/ntfs-3g.probe' --readwrite '/dev/disk4s1' 2>&1)\" in *hibernated*) "
              "echo 'Windows is hibernated, refused to repair: resume Windows and shut it down fully first'; "
              "exit 1 ;; esac; "
              "'/usr/local/bin/ntfsfix' -d '/dev/disk4s1' 2>&1");
}

}  // namespace
}  // namespace drivelark
