# What `cmake --install` and CPack ship. Every package carries the license,
# the changelog and the README; Unix packages the man page too.
#   Linux      .tar.gz (bin/, share/doc/picalc/, share/man/man1/) and a .deb,
#              each with picalc, picalc-check, picalc-record and picalc-compare
#              that lintian accepts (see picalc_cpack_config.cmake)
#   Windows    a flat .zip: picalc.exe, picalc-check.exe, picalc-record.exe and
#              picalc-compare.exe beside
#              README.txt, LICENSE.txt and
#              CHANGELOG.txt with CR LF line ends, for Notepad
#   wasm32     a .zip of picalc.wasm and picalc-compare.wasm, their Node
#              launchers and the static site
include(GNUInstallDirs)

# A package holds every program, and picalc-record and picalc-compare need
# nlohmann/json: without it there is no package to make.
if(NOT TARGET picalc-compare)
  return()
endif()

# The man page's date is its version's release date in the changelog, so the
# same version always builds the same page.
file(STRINGS CHANGELOG.md picalc_release REGEX "^## \\[${PROJECT_VERSION}\\] - ")
string(REGEX REPLACE ".* - " "" PICALC_DATE "${picalc_release}")
if(NOT PICALC_DATE)
  set(PICALC_DATE "unreleased")
endif()
configure_file(doc/picalc.1.in ${PROJECT_BINARY_DIR}/picalc.1 @ONLY)
configure_file(doc/picalc-check.1.in ${PROJECT_BINARY_DIR}/picalc-check.1 @ONLY)
configure_file(doc/picalc-record.1.in ${PROJECT_BINARY_DIR}/picalc-record.1 @ONLY)
configure_file(doc/picalc-compare.1.in ${PROJECT_BINARY_DIR}/picalc-compare.1 @ONLY)

# A plain-text copy for Windows: CR LF line ends, and a UTF-8 byte order mark
# so that Notepad shows "Størmer" and "×" right on every Windows version.
function(picalc_windows_text source destination)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  string(ASCII 239 187 191 byte_order_mark)
  file(WRITE ${destination} "${byte_order_mark}${text}")
endfunction()

# picalc_processor_name(VARIABLE FIELD): sets VARIABLE to the target
# processor's name in a package format ("debian", "rpm"), from the list of
# targets, targets.json.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/targets.json)
function(picalc_processor_name variable field)
  file(READ ${PROJECT_SOURCE_DIR}/targets.json targets)
  string(JSON count LENGTH "${targets}" linux)
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON name GET "${targets}" linux ${i} name)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL name)
      string(JSON value GET "${targets}" linux ${i} ${field})
      set(${variable} "${value}" PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" picalc_target)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "wasm32")
  set(picalc_target wasm32)
  install(TARGETS picalc picalc-compare RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/picalc.mjs ${PROJECT_BINARY_DIR}/picalc-compare.mjs README.md LICENSE CHANGELOG.md
    doc/record.schema.json DESTINATION .)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/web/ DESTINATION web)
elseif(WIN32)
  install(TARGETS picalc picalc-check picalc-record picalc-compare RUNTIME DESTINATION .)
  foreach(doc README.md:README.txt LICENSE:LICENSE.txt CHANGELOG.md:CHANGELOG.txt)
    string(REPLACE ":" ";" doc "${doc}")
    list(GET doc 0 source)
    list(GET doc 1 name)
    picalc_windows_text(${PROJECT_SOURCE_DIR}/${source} ${PROJECT_BINARY_DIR}/${name})
    install(FILES ${PROJECT_BINARY_DIR}/${name} DESTINATION .)
  endforeach()
  install(FILES doc/record.schema.json DESTINATION .)
else()
  install(TARGETS picalc picalc-check picalc-record picalc-compare RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The record JSON's schema, for whoever builds on picalc-record --json.
  install(FILES README.md LICENSE CHANGELOG.md doc/record.schema.json DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Where the README's links to doc/ lead, beside it.
  file(GLOB picalc_documents ${PROJECT_SOURCE_DIR}/doc/*.md)
  install(FILES ${picalc_documents} DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc)
  install(FILES ${PROJECT_BINARY_DIR}/picalc.1 ${PROJECT_BINARY_DIR}/picalc-check.1
    ${PROJECT_BINARY_DIR}/picalc-record.1 ${PROJECT_BINARY_DIR}/picalc-compare.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME picalc)
set(CPACK_PACKAGE_VENDOR "the picalc developers")
set(CPACK_PACKAGE_CONTACT "picalc developers <maintainers@users.noreply.c-seed-80c46a4c.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The extended description of the .deb and the .rpm.
set(picalc_description "picalc measures a computer's processor with three fixed workloads on one
thread: the decimal digits of pi by integer long division (9999 places by
default, from Gauss's or Størmer's arctangent formula), a trapezoid-rule
table of the integral of |sin x| computed with about 134 million sine calls,
and two square-root loops of 45 million steps each. It prints what each
workload computed and the total elapsed time, which is the score.

Everything it prints but the time is the same on every machine, compiler
and platform, including two verification codes, so runs on different
computers can be checked and compared.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Package names carry the target, not the build machine.
set(CPACK_PACKAGE_FILE_NAME "picalc-${PROJECT_VERSION}-${picalc_target}")

if(WIN32 OR picalc_target STREQUAL "wasm32")
  set(CPACK_GENERATOR ZIP)
elseif(PICALC_STATIC)
  # The RPM holds the static programs too, so one package installs on every
  # RPM distribution of its processor, old or new, whatever its C library.
  set(CPACK_GENERATOR "TGZ;RPM")
  set(CPACK_RPM_PACKAGE_RELEASE 1)
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT) # picalc-VERSION-RELEASE.ARCH.rpm
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  set(CPACK_RPM_PACKAGE_URL "${PROJECT_HOMEPAGE_URL}")
  # rpmlint wants a summary under 80 characters.
  set(CPACK_RPM_PACKAGE_SUMMARY "Console CPU benchmark: pi digits, a sine integral and square-root loops")
  # rpmbuild's own stripping would rewrite the x86 programs (its strip knows
  # no other processor), so they would no longer be the tarball's; CPack has
  # stripped them, and picalc_staging.cmake compresses the man pages.
  set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}
%define __os_install_post %{nil}")
  set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
  set(CPACK_RPM_PACKAGE_DESCRIPTION "${picalc_description}")
  # The license goes where Fedora's guidelines put it, marked as one. The
  # folders that hold the files belong to the system's filesystem package.
  set(CPACK_RPM_USER_FILELIST "%license /usr/share/licenses/picalc/LICENSE")
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/licenses /usr/share/man /usr/share/man/man1)
  # Written by picalc_staging.cmake, dated like the .deb's changelog.
  set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_BINARY_DIR}/rpm-changelog)
  # RPM's names for the target processors.
  picalc_processor_name(CPACK_RPM_PACKAGE_ARCHITECTURE rpm)
else()
  set(CPACK_GENERATOR "TGZ;DEB")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Paragraphs are set apart by a line of "." in a Debian description.
  string(REPLACE "\n\n" "\n.\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${picalc_description}")
  # A Debian revision: the .deb carries Debian's own changelog beside the
  # project's CHANGELOG.md, which it ships as the upstream changelog.gz.
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  if(CMAKE_CROSSCOMPILING)
    # dpkg-shlibdeps knows only the build machine's libraries; the cross
    # libraries' own records, under the toolchain's root, name them with
    # an architecture ("libc6:arm64", "libgcc-s1-arm64-cross"), which
    # picalc_cpack_config.cmake turns into the target's package names.
    set(CPACK_PICALC_CROSS_LIBRARIES "${CMAKE_FIND_ROOT_PATH}/lib")
    set(CPACK_PICALC_BINARIES
      "${PROJECT_BINARY_DIR}/picalc;${PROJECT_BINARY_DIR}/picalc-check;${PROJECT_BINARY_DIR}/picalc-record;${PROJECT_BINARY_DIR}/picalc-compare")
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  # Debian's names for the target processors.
  picalc_processor_name(CPACK_DEBIAN_PACKAGE_ARCHITECTURE debian)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/picalc_cpack_config.cmake)
endif()
if(NOT CPACK_GENERATOR STREQUAL "ZIP")
  # The .rpm's and the .deb's changelogs are dated with the release.
  set(CPACK_PICALC_DATE "${PICALC_DATE}")
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/picalc_staging.cmake)
endif()
include(CPack)
