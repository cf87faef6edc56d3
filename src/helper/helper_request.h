#pragma once

// The helper tool's command line, checked before anything runs as root. Anyone on the machine
// may start the tool through sudo with any arguments, so every argument must have the exact
// shape its subcommand expects.

#include <string>
#include <vector>

#include "helper/outcome.h"

namespace drivelark::helper {

enum class Subcommand { selftest, mount, fix, unmount, keepalive, flush };

struct Request {
    Subcommand subcommand = Subcommand::selftest;
    std::string device;      // mount, fix, keepalive, flush: a BSD name such as disk4s1
    std::string mountPoint;  // mount, unmount: /Volumes/<name>
    std::string volumeName;  // mount
    std::string volumeIdentity;  // mount, fix: what volumeIdentity gave for the volume decided for

    bool operator==(const Request&) const = default;
};

// Sets `request` from `arguments`, the command line after the program's own name; refuses
// arguments of any other shape.
Outcome parseRequest(const std::vector<std::string>& arguments, Request* request);

}  // namespace drivelark::helper
