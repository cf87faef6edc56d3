#include <gtest/gtest.h>

#include "foundation/command_runner.h"
#include "mount/root_commands.h"

namespace drivelark {
namespace {

// What a real shell makes of a quoted operand: exactly the text, as one word.
TEST(ShellQuotingTest, RealShellSeesOneUnchangedWord) {
    for (const std::string& text : {std::string("Bob's Disk"), std::string("'"), std::string("''\\''"),
                                   std::string("$(touch /tmp/owned) `id` ${HOME} $HOME"), std::string("a;b|c&d>e<f"),
                                   std::string("\"quoted\" \\back\\slash"), std::string("line\nbreak\ttab"),
                                   std::string("数据 盘 -o ro,allow_other"), std::string(""), std::string("*?[a]")}) {
        CommandResult result = runCommand("/bin/sh", {"-c", "printf '[%s]' " + shellQuoted(text) + "; printf '%s' $#",
                                                      "sh"});
        EXPECT_EQ(result.out, "[" + text + "]0") << text;
    }
}

}  // namespace
}  // namespace drivelark
