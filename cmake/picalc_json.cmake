# nlohmann/json, header only, from Debian's nlohmann-json3-dev: the one JSON
# writer and reader of picalc-record and picalc-compare. Cross and
# WebAssembly compilers must not see the build machine's /usr/include, where
# its C library's headers are too, so they reach the JSON headers through a
# folder of the build tree that holds a link to them alone. Found, it is the
# target picalc_json; not found, the programs that need it are left out and
# picalc itself still builds.
find_path(PICALC_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp
  PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(PICALC_NLOHMANN_JSON_INCLUDE)
  set(picalc_json_include ${PROJECT_BINARY_DIR}/json-include)
  file(MAKE_DIRECTORY ${picalc_json_include})
  if(NOT EXISTS ${picalc_json_include}/nlohmann)
    file(CREATE_LINK ${PICALC_NLOHMANN_JSON_INCLUDE}/nlohmann ${picalc_json_include}/nlohmann
      SYMBOLIC)
  endif()
  add_library(picalc_json INTERFACE)
  target_include_directories(picalc_json SYSTEM INTERFACE ${picalc_json_include})
  # Its std::filesystem conversions are of no use here, and WASI's libc++
  # has no <filesystem>.
  target_compile_definitions(picalc_json INTERFACE JSON_HAS_FILESYSTEM=0
    JSON_HAS_EXPERIMENTAL_FILESYSTEM=0)
else()
  message(STATUS "picalc: picalc-record and picalc-compare are off: nlohmann/json was not "
    "found (on Debian, nlohmann-json3-dev provides it)")
endif()
