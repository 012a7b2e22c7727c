cmake_policy(VERSION 3.20)
# Run by cpack after the staging install, before each package is made. Both
# kinds compress the man pages with gzip -9n (no name, no timestamp).
#   .rpm  the license moves to /usr/share/licenses/picalc, and the package's
#         changelog gets its one entry
#   .deb  what Debian policy asks of a package: the changelog compressed as
#         the man pages are, and a copyright file in the machine-readable
#         format, made from LICENSE
if(NOT CPACK_GENERATOR MATCHES "^(DEB|RPM)$")
  return()
endif()
set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${usr}/share/doc/picalc")

# release_date(FORMAT VARIABLE): the release date in CHANGELOG.md, in date(1)'s
# FORMAT; a version without one has no package.
function(release_date format variable)
  execute_process(COMMAND date -u -d "${CPACK_PICALC_DATE}" "${format}"
    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "no release date for ${CPACK_PACKAGE_VERSION} in CHANGELOG.md")
  endif()
  set(${variable} "${date}" PARENT_SCOPE)
endfunction()

function(compress)
  foreach(file IN LISTS ARGN)
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip failed on ${file}")
    endif()
  endforeach()
endfunction()
file(GLOB man_pages "${usr}/share/man/man1/*.1")
compress(${man_pages})

if(CPACK_GENERATOR STREQUAL "RPM")
  file(MAKE_DIRECTORY "${usr}/share/licenses/picalc")
  file(RENAME "${doc}/LICENSE" "${usr}/share/licenses/picalc/LICENSE")
  release_date("+%a %b %d %Y" release_date)
  file(WRITE "${CPACK_RPM_CHANGELOG_FILE}"
    "* ${release_date} ${CPACK_PACKAGE_CONTACT} - ${CPACK_PACKAGE_VERSION}-${CPACK_RPM_PACKAGE_RELEASE}\n"
    "- Release ${CPACK_PACKAGE_VERSION}; its changes are in /usr/share/doc/picalc/CHANGELOG.md.\n")
  return()
endif()

# Debian's changelog of the package: one entry per Debian revision, dated
# with the release date in CHANGELOG.md.
release_date("-R" release_date)
file(WRITE "${doc}/changelog.Debian"
  "picalc (${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium\n"
  "\n"
  "  * Release ${CPACK_PACKAGE_VERSION}; its changes are in changelog.gz.\n"
  "\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${release_date}\n")

file(RENAME "${doc}/CHANGELOG.md" "${doc}/changelog")
compress("${doc}/changelog" "${doc}/changelog.Debian")

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
