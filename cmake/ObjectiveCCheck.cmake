# A syntax and type check of every Objective-C++ file of the macOS layer, against GNUstep's AppKit
# headers (Debian's libgnustep-gui-dev), since AppKit itself exists on a Mac only. The kit's
# appkit_gaps.h and our own src/platform/mac/gnustep_check/ declare what macOS has and GNUstep lacks
# (AppKit's newer parts, IOKit's power management, ServiceManagement); CoreFoundation's headers are
# the kit's.

execute_process(COMMAND gcc -print-file-name=include OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)
set(gaps ${PROJECT_SOURCE_DIR}/src/platform/mac/gnustep_check)
get_target_property(cf_includes CoreFoundationKit INTERFACE_INCLUDE_DIRECTORIES)
list(TRANSFORM cf_includes PREPEND -isystem)
# GNUstep is built on GCC's Objective-C runtime, whose <objc/objc.h> lives in GCC's own folder.
set(objc_check_flags -fsyntax-only -x objective-c++ -std=c++20 -stdlib=libc++ -Wall -Wextra -Werror -fno-objc-arc
    -fobjc-runtime=gnustep-2.0 -fblocks -fobjc-exceptions
    -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_GUI_LIBRARY=1 -DGNU_RUNTIME=1
    -I${gaps} -I/usr/include/GNUstep -idirafter ${gcc_include} -I${PROJECT_SOURCE_DIR}/src
    ${cf_includes}
    -include ${DRIVELARK_CF_KIT}/compat/gnustep/appkit_gaps.h -include ${gaps}/macos_sdk_gaps.h
    -include ${PROJECT_SOURCE_DIR}/src/platform/mac/manual_memory.h)

file(GLOB objc_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/mac/*.mm)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/objc-check)
set(objc_checked)
foreach(source ${objc_sources})
  get_filename_component(name ${source} NAME)
  set(stamp ${CMAKE_BINARY_DIR}/objc-check/${name}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_CXX_COMPILER} ${objc_check_flags} -MD -MF ${stamp}.d -MT ${stamp} ${source}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${source} DEPFILE ${stamp}.d
    COMMENT "Checking ${name} against GNUstep's AppKit" VERBATIM)
  list(APPEND objc_checked ${stamp})
endforeach()
add_custom_target(objc_check ALL DEPENDS ${objc_checked})
