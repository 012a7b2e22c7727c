cmake_policy(VERSION 3.20)
# Run by cpack after the staging install, before each package is made. The
# .deb gets what Debian policy asks of a package: the changelog and the man
# page compressed with gzip -9n (no name, no timestamp), and a copyright
# file in the machine-readable format, made from LICENSE.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${usr}/share/doc/picalc")

# Debian's changelog of the package: one entry per Debian revision, dated
# with the release date in CHANGELOG.md.
execute_process(COMMAND date -R -u -d "${CPACK_PICALC_DATE}"
  OUTPUT_VARIABLE release_date OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "no release date for ${CPACK_PACKAGE_VERSION} in CHANGELOG.md")
endif()
file(WRITE "${doc}/changelog.Debian"
  "picalc (${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium\n"
  "\n"
  "  * Release ${CPACK_PACKAGE_VERSION}; its changes are in changelog.gz.\n"
  "\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${release_date}\n")

file(RENAME "${doc}/CHANGELOG.md" "${doc}/changelog")
foreach(file "${doc}/changelog" "${doc}/changelog.Debian" "${usr}/share/man/man1/picalc.1"
    "${usr}/share/man/man1/picalc-check.1" "${usr}/share/man/man1/picalc-record.1"
    "${usr}/share/man/man1/picalc-compare.1")
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip failed on ${file}")
  endif()
endforeach()

file(STRINGS "${doc}/LICENSE" license)
list(FIND license "" blank)
list(GET license 2 notice) # "Copyright (c) YEAR HOLDER"
string(REGEX REPLACE "^Copyright \\(c\\) " "" notice "${notice}")
list(SUBLIST license 4 -1 terms)
set(body "")
foreach(line IN LISTS terms)
  if(line STREQUAL "")
    string(APPEND body " .\n")
  else()
    string(APPEND body " ${line}\n")
  endif()
endforeach()
file(WRITE "${doc}/copyright"
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: picalc\n"
  "\n"
  "Files: *\n"
  "Copyright: ${notice}\n"
  "License: Expat\n"
  "${body}")

# picalc is published by its developers, not uploaded to Debian, so its first
# Debian changelog entry has no ITP bug to close.
file(WRITE "${usr}/share/lintian/overrides/picalc"
  "picalc: initial-upload-closes-no-bugs [usr/share/doc/picalc/changelog.Debian.gz:1]\n")
