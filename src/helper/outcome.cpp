#include "helper/outcome.h"

namespace drivelark::helper {

Outcome& Outcome::say(std::string_view line) {
    text += "drivelark-mount: ";
    text += line;
    text += '\n';
    return *this;
}

Outcome& Outcome::quote(std::string_view output) {
    if (output.empty()) return *this;
    text += output;
    if (output.back() != '\n') text += '\n';
    return *this;
}

Outcome refused(std::string_view reason) { return Outcome{kRefused, {}}.say(reason); }

Outcome failed(std::string_view reason) { return Outcome{kFailed, {}}.say(reason); }

std::string printable(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return result;
}

int statusAfterChild(int childStatus) { return childStatus == 0 ? kSucceeded : kFailed; }

}  // namespace drivelark::helper
