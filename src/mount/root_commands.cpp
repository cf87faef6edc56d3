#include "mount/root_commands.h"

namespace drivelark {

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string shellCommandLine(const std::string& program, const std::vector<std::string>& arguments) {
    std::string line = shellQuoted(program);
    for (const std::string& argument : arguments) line += " " + shellQuoted(argument);
    return line;
}

std::vector<std::string> administratorScriptArguments(const std::string& command) {
    return {"-e", "on run argv", "-e", "do shell script (item 1 of argv) with administrator privileges",
            "-e", "end run", command};
}

}  // namespace drivelark
