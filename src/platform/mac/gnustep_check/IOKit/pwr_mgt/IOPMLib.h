// Stands for the macOS SDK header of this name in the GNUstep check; see macos_sdk_gaps.h.
#pragma once

#include "macos_sdk_gaps.h"
