# Apple's CoreFoundation and libdispatch for the mac-on-linux build: built once from the vendored
# kit into the build folder with the kit's own build.sh, then used as the target CoreFoundationKit.

get_filename_component(kit_beside_checkout ${PROJECT_SOURCE_DIR}/../shared/vendor/corefoundation-libdispatch ABSOLUTE)
set(DRIVELARK_CF_KIT ${kit_beside_checkout} CACHE PATH "The vendored CoreFoundation and libdispatch kit (tarball, build.sh, compat/)")
if(NOT EXISTS ${DRIVELARK_CF_KIT}/build.sh)
  message(FATAL_ERROR "No CoreFoundation and libdispatch kit at ${DRIVELARK_CF_KIT}")
endif()

set(kit_prefix ${CMAKE_BINARY_DIR}/corefoundation-libdispatch)
if(NOT EXISTS ${kit_prefix}/lib/libCoreFoundation.so)
  message(STATUS "Building CoreFoundation and libdispatch from ${DRIVELARK_CF_KIT} into ${kit_prefix}")
  file(GLOB kit_tarball ${DRIVELARK_CF_KIT}/*.tar.xz)
  execute_process(COMMAND ${DRIVELARK_CF_KIT}/build.sh ${kit_tarball} ${kit_prefix} ${kit_prefix}.work
                  RESULT_VARIABLE kit_failed)
  if(kit_failed)
    message(FATAL_ERROR "Building the kit failed; its logs are in ${kit_prefix}.work")
  endif()
  file(REMOVE_RECURSE ${kit_prefix}.work)
endif()

add_library(CoreFoundationKit INTERFACE)
# compat/ stands in for macOS's <sys/qos.h>, which <dispatch/dispatch.h> includes.
target_include_directories(CoreFoundationKit SYSTEM INTERFACE ${kit_prefix}/include ${DRIVELARK_CF_KIT}/compat)
foreach(library CoreFoundation dispatch BlocksRuntime)
  add_library(${library} SHARED IMPORTED)
  set_target_properties(${library} PROPERTIES IMPORTED_LOCATION ${kit_prefix}/lib/lib${library}.so)
  target_link_libraries(CoreFoundationKit INTERFACE ${library})
endforeach()
