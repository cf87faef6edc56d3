#include "helper/outcome.h"

#include "foundation/text.h"

namespace drivelark::helper {

namespace {

std::string printableKeeping(std::string_view text, std::string_view kept) {
    std::string result;
    while (!text.empty()) {
        char32_t character;
        size_t length = utf8CharacterAt(text, 0, character);
        unsigned char c = static_cast<unsigned char>(text.front());
        bool control = length == 1 && (c < 0x20 || c == 0x7F) && kept.find(text.front()) == std::string_view::npos;
        if (length == 0 || control) {
            result += '?';
            length = 1;
        } else {
            result.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return result;
}

}  // namespace

Outcome& Outcome::say(std::string_view line) {
    text += "drivelark-mount: ";
    text += printable(line);
    text += '\n';
    return *this;
}

Outcome& Outcome::mark(std::string_view marker) {
    text += marker;
    text += '\n';
    return *this;
}

Outcome& Outcome::quote(std::string_view output) {
    std::string lines = printableKeeping(output, "\n\t");
    if (lines.empty()) return *this;
    if (lines.back() != '\n') lines += '\n';
    // Markers begin with "__": a quoted line that does (after blanks) loses its first underscore.
    for (size_t start = 0; start < lines.size(); start = lines.find('\n', start) + 1) {
        size_t first = lines.find_first_not_of(" \t", start);
        if (lines.compare(first, 2, "__") == 0) lines[first] = '?';
    }
    text += lines;
    return *this;
}

Outcome& Outcome::quote(const ProgramRun& run, std::string_view path) {
    if (!run.launch.ok()) return say(run.launch.toString());
    quote(run.output);
    if (run.timedOut) say(std::string(path) + " did not finish in time and was stopped");
    return *this;
}

Outcome refused(std::string_view reason) { return Outcome{kRefused, {}}.say(reason); }

Outcome failed(std::string_view reason) { return Outcome{kFailed, {}}.say(reason); }

std::string printable(std::string_view text) { return printableKeeping(text, {}); }

bool succeeded(const ProgramRun& run) { return run.launch.ok() && !run.timedOut && run.status == 0; }

}  // namespace drivelark::helper
