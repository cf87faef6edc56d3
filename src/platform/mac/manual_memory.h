#pragma once

// Put before every Objective-C++ file of the macOS layer by the build (-include). Those files
// retain and release by hand, which ARC does not allow: a build that turns ARC on stops here.

#if __has_feature(objc_arc)
#error "The macOS layer manages Objective-C memory by hand: compile it with -fno-objc-arc"
#endif
