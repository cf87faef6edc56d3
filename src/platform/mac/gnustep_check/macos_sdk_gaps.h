// What macOS's SDK declares and GNUstep lacks, for the syntax check of the .mm files under
// GNUstep only; a Mac build never reads this file.
#pragma once

#import <AppKit/AppKit.h>

APPKIT_EXPORT NSString* const NSWorkspaceVolumeURLKey;
