# Sourced by .ci/run: every CMake build of a CI run compiles through ccache,
# so that an object is compiled once for its source, compiler and flags:
# once for a target's static and dynamic builds, and once across runs on one
# machine while the source is unchanged. CMake reads the launcher from the
# environment when it configures a build folder.
#
# The cache lives in $PICALC_CCACHE_DIR (default /var/cache/picalc-ci/ccache),
# beside the Debian roots. ccache_start sets it up and zeroes its counts;
# ccache_report prints how many compilations it answered in this run.
#
# Paths are rewritten relative to each build folder (CCACHE_BASEDIR), so the
# folders build-cross-NAME and build-cross-NAME-static, and clones in other
# places, compile with the same command lines. The processor's name and
# flags are part of every key: -march=native means other code on another
# processor, and a virtual machine's disk can move to another host.
ccache_dir=${PICALC_CCACHE_DIR:-/var/cache/picalc-ci/ccache}

ccache_start() {
  if ! command -v ccache >/dev/null; then
    not_run "the compiler cache" "$(why_missing ccache)"
    return 0
  fi
  mkdir -p "$ccache_dir"
  local processor
  processor=$(mktemp "$ccache_dir/processor.XXXXXX")
  grep -m 2 -E '^(model name|flags)[[:space:]]*:' /proc/cpuinfo >"$processor" || true
  mv -f "$processor" "$ccache_dir/processor.txt"
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_DIR=$ccache_dir CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
  export CCACHE_EXTRAFILES=$ccache_dir/processor.txt CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-4G}
  ccache --zero-stats >/dev/null
}

# ccache_root_cache NAME: a cache for a Debian root's own ccache, whose
# version differs from this machine's: a folder beside the cache, with the
# processor file, for ccache_root_environment to be mounted at /ccache.
ccache_root_cache() {
  [ -n "${CCACHE_DIR:-}" ] || return 0
  mkdir -p "$CCACHE_DIR-$1"
  cp "$CCACHE_DIR/processor.txt" "$CCACHE_DIR-$1/processor.txt"
  echo "$CCACHE_DIR-$1"
}

# The environment for in_root's builds, with ccache_root_cache's folder at
# /ccache and the tree at /work; nothing without a cache.
ccache_root_environment() {
  [ -n "${CCACHE_DIR:-}" ] || return 0
  echo "CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=/ccache CCACHE_BASEDIR=/work CCACHE_NOHASHDIR=true" \
    "CCACHE_EXTRAFILES=/ccache/processor.txt CCACHE_MAXSIZE=$CCACHE_MAXSIZE"
}

ccache_report() {
  [ -n "${CCACHE_DIR:-}" ] || return 0
  # --print-stats is ccache's machine-readable form: a name and a number a
  # line.
  ccache --print-stats | awk -F'\t' '
    $1 ~ /^(direct|preprocessed)_cache_hit$/ { hits += $2 }
    $1 == "cache_miss" { misses = $2 }
    END { printf "   compiler cache: %d compilations answered from the cache, %d compiled\n", hits, misses }'
}
