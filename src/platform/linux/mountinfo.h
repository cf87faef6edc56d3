#pragma once

// Reading the kernel's mount table (/proc/self/mountinfo). Stateless and safe on any thread.

#include <set>
#include <string>
#include <string_view>

namespace drivelark {

// The mount points of `mountinfo` that lie directly in `folder` ("/Volumes/X", not "/Volumes"
// itself nor "/Volumes/X/Y"), with the kernel's escapes of blank, tab, newline and backslash
// (\040 \011 \012 \134) undone.
std::set<std::string> mountPointsIn(std::string_view mountinfo, std::string_view folder);

}  // namespace drivelark
