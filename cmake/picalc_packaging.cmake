# `cmake --install` puts picalc and its README in the usual places; CPack makes
# a .tar.gz and a .deb on Linux and a .zip on Windows.
include(GNUInstallDirs)
install(TARGETS picalc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME picalc)
set(CPACK_PACKAGE_VENDOR "picalc developers")
set(CPACK_PACKAGE_CONTACT "picalc developers <maintainers@users.noreply.c-seed-80c46a4c.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

# Package names carry the target, not the build machine.
string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" picalc_target)
set(CPACK_PACKAGE_FILE_NAME "picalc-${PROJECT_VERSION}-${picalc_target}")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR "TGZ;DEB")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  endif()
endif()
include(CPack)
