# Read by cpack before each generator runs: the dependencies of a cross-built
# .deb, computed from its binaries by dpkg-shlibdeps with the cross libraries'
# records, under the names the target's own packages have.
if(NOT CPACK_GENERATOR STREQUAL "DEB" OR NOT CPACK_PICALC_CROSS_LIBRARIES)
  return()
endif()
set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(TOUCH "${work}/debian/control")
execute_process(
  COMMAND dpkg-shlibdeps "-l${CPACK_PICALC_CROSS_LIBRARIES}" -O ${CPACK_PICALC_BINARIES}
  WORKING_DIRECTORY "${work}"
  OUTPUT_VARIABLE substvars ERROR_VARIABLE errors RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "dpkg-shlibdeps failed on ${CPACK_PICALC_BINARIES}:\n${errors}")
endif()
string(REGEX REPLACE "^shlibs:Depends=" "" depends "${substvars}")
string(STRIP "${depends}" depends)
string(REGEX REPLACE "-[a-z0-9]+-cross( |,|$)" "\\1" depends "${depends}")
string(REGEX REPLACE ":[a-z0-9]+( |,|$)" "\\1" depends "${depends}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
message(STATUS "picalc: Depends: ${depends}")
