# Sourced by scripts/release, image/build and the CI jobs: what picalc is
# built for, read from targets.json at the top of the tree (the one list of
# targets: triple, Debian, RPM and OCI names, qemu, what uname says), and
# two facts that several jobs need, each found in one place.
#
# linux_targets FIELD...: a line per Linux target, its FIELDs joined by "|",
#   in the table's order; windows_targets FIELD... the same for Windows.
# max_digit_count: the largest count picalc accepts, read from the C++ that
#   states it; one more is refused at once, before any work.
# i386_runs_natively: whether this kernel runs 32-bit x86 programs. Asked
#   once, of a static i686 program, and kept in PICALC_I386_NATIVE (yes or
#   no) for the jobs started after.

picalc_targets_file="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/targets.json"

picalc_targets() { # KIND FIELD...
  local kind=$1
  shift
  local fields
  fields=$(printf '.%s,' "$@")
  jq -r --arg kind "$kind" ".[\$kind][] | [${fields%,}] | map(. // \"\" | tostring) | join(\"|\")" \
    "$picalc_targets_file"
}
linux_targets() { picalc_targets linux "$@"; }
windows_targets() { picalc_targets windows "$@"; }

max_digit_count() {
  cmake -P "$(dirname "$picalc_targets_file")/cmake/picalc_limits.cmake"
}

i386_runs_natively() {
  if [ -z "${PICALC_I386_NATIVE:-}" ]; then
    local probe
    probe=$(mktemp)
    PICALC_I386_NATIVE=no
    if echo 'int main() { return 0; }' | i686-linux-gnu-g++ -static -x c++ - -o "$probe" 2>/dev/null &&
      "$probe" 2>/dev/null; then
      PICALC_I386_NATIVE=yes
    fi
    rm -f "$probe"
    export PICALC_I386_NATIVE
  fi
  [ "$PICALC_I386_NATIVE" = yes ]
}

# built_objects DIR TARGET...: the object files of TARGETs in the build in
# DIR, one a line, from the lists the build writes (objects/TARGET.txt),
# under DIR as this shell sees it: a build made in a Debian root lists them
# under the root's own path.
built_objects() {
  local dir=$1 target built object
  shift
  for target in "$@"; do
    if [ ! -f "$dir/objects/$target.txt" ]; then
      echo "FAIL: $dir/objects/$target.txt is missing: is $dir a build of this tree?" >&2
      return 1
    fi
    built=""
    while IFS= read -r object; do
      if [ -z "$built" ]; then
        built=$object
      else
        echo "$dir/${object#"$built"/}"
      fi
    done <"$dir/objects/$target.txt"
  done
}
