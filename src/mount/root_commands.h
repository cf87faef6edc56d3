#pragma once

// The command line run as root behind the administrator prompt, and the quoting that makes every
// operand reach its program as exactly one word.

#include <string>
#include <vector>

namespace drivelark {

// `text` in single quotes, each embedded single quote written as '\''.
std::string shellQuoted(const std::string& text);

// One shell command line that runs `program` with `arguments`, every word quoted.
std::string shellCommandLine(const std::string& program, const std::vector<std::string>& arguments);

// osascript's arguments that run the shell `command` as root after the administrator password
// prompt. The command reaches the script as an argument of its run handler, so no text of a
// volume is ever AppleScript source. It must not begin with "-", which osascript would take for
// an option; a quoted path begins with a quote.
std::vector<std::string> administratorScriptArguments(const std::string& command);

}  // namespace drivelark
