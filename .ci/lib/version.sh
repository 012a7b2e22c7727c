# Sourced from the project's root: sets version to what
# `project(picalc VERSION ...)` in CMakeLists.txt gives, the one place it is
# set.
version=$(sed -n 's/^project(picalc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
