# Sourced by every CI job that installs packages: .ci/run for the host, and
# .ci/lib/debian_root.sh for the Debian roots.
#
# A Debian mirror can be out of step with itself for a while (an index whose
# size does not match its Release file while the mirror syncs), and apt's own
# Acquire::Retries retries a download but not an index that arrived whole and
# wrong. So every request here is tried again, and a failure is laid where it
# belongs:
#
# retrying WHAT COMMAND...: runs COMMAND up to $PICALC_APT_TRIES times (3),
#   $PICALC_APT_PAUSE seconds (20) apart; its status is the last try's.
# apt_update: apt-get update, retried; the indexes that still fail are named
#   and apt goes on with those that downloaded.
# install_core PACKAGE...: what the README's test command or several steps
#   need. If it cannot be installed, CI stops with one message that names
#   the failed index and the package, and says the mirror is at fault.
# install_for CHECK PACKAGE...: what one check alone needs. If it cannot be
#   installed, CI goes on; the check finds the package missing and says NOT
#   RUN with why_missing's reason (.ci/lib/logged.sh).
# install_each "CHECK|PACKAGE..." ...: install_for each check, in a single
#   apt-get call while every package can be had.

source "$(dirname "${BASH_SOURCE[0]}")/logged.sh"

apt_tries=${PICALC_APT_TRIES:-3}
apt_pause_seconds=${PICALC_APT_PAUSE:-20}
export DEBIAN_FRONTEND=noninteractive

# The wait between two tries; a test of this file may replace it.
apt_pause() {
  sleep "$apt_pause_seconds"
}

retrying() {
  local what=$1 try status
  shift
  for ((try = 1; ; try++)); do
    status=0
    "$@" || status=$?
    if [ "$status" -eq 0 ] || [ "$try" -ge "$apt_tries" ]; then
      return "$status"
    fi
    echo "   $what failed (try $try of $apt_tries, status $status); trying again in $apt_pause_seconds s" >&2
    apt_pause
  done
}

# The indexes that failed, each with apt's reason, from an apt-get update log.
failed_indexes() { # LOG
  awk '/^Err:[0-9]+ / { sub(/^Err:[0-9]+ /, ""); index_name = $0; getline; sub(/^ +/, "");
                        print index_name " (" $0 ")" }' "$1"
}

# One apt-get update; the indexes that failed go to $ci_state/failed-indexes.
update_once() {
  local log="$ci_state/apt-update.log" status=0
  apt-get update >"$log" 2>&1 || status=$?
  failed_indexes "$log" >"$ci_state/failed-indexes"
  if [ "$status" -ne 0 ] && [ ! -s "$ci_state/failed-indexes" ]; then
    grep -E '^(E|W): ' "$log" >"$ci_state/failed-indexes" || tail -n 3 "$log" >"$ci_state/failed-indexes"
  fi
  [ "$status" -eq 0 ] || sed 's/^/     failed: /' "$ci_state/failed-indexes" >&2
  return "$status"
}

apt_update() {
  mkdir -p "$ci_state"
  echo "   apt-get update"
  if retrying "apt-get update" update_once; then
    return 0
  fi
  echo "   apt-get update still fails after $apt_tries tries; going on with the indexes that downloaded"
}

# apt's own words for why an install failed.
apt_reason() { # LOG
  local errors
  errors=$(grep -E '^E: ' "$1" | head -n 3 | paste -sd ' ' -)
  echo "${errors:-$(tail -n 1 "$1")}"
}

# One apt-get install; before a second try, the indexes are fetched again,
# since a package that fails to download often belongs to a stale index.
install_once() { # LOG PACKAGE...
  local log=$1
  shift
  if [ -e "$log" ]; then
    update_once || true
  fi
  apt-get install -y -o Acquire::Retries=3 "$@" >"$log" 2>&1 && return 0
  local status=$?
  echo "     apt said: $(apt_reason "$log")" >&2
  return "$status"
}

installing() { # LOG PACKAGE...
  rm -f "$1"
  retrying "apt-get install $(echo "${@:2}")" install_once "$@"
}

install_core() {
  [ $# -gt 0 ] || return 0
  mkdir -p "$ci_state"
  echo "== installing what the tests need: $*"
  local log="$ci_state/install-core.log" package culprits=()
  installing "$log" "$@" && return 0
  # Which of them apt cannot find or resolve at all; when every one can be
  # resolved, a download failed, and apt's words name it.
  for package in "$@"; do
    apt-get install -s "$package" >/dev/null 2>&1 || culprits+=("$package")
  done
  [ ${#culprits[@]} -gt 0 ] || culprits=("$@")
  {
    echo "CI STOPPED: the package mirror is at fault, not this change. After $apt_tries tries apt could not install ${culprits[*]}, which the tests need."
    if [ -s "$ci_state/failed-indexes" ]; then
      echo "  index that failed to download: $(joined "$ci_state/failed-indexes")"
    else
      echo "  every index downloaded; a package download failed"
    fi
    echo "  apt said: $(apt_reason "$log") (whole log: $log)"
  } >&2
  exit 1
}

install_for() {
  local check=$1 package log
  shift
  mkdir -p "$ci_state/missing"
  echo "== installing for $check: $*"
  log="$ci_state/install-$(echo "$*" | tr -c 'a-zA-Z0-9.\n-' '_').log"
  installing "$log" "$@" && return 0
  for package in "$@"; do
    {
      echo -n "$* could not be installed: $(apt_reason "$log")"
      [ ! -s "$ci_state/failed-indexes" ] || echo -n "; failed index: $(head -n 1 "$ci_state/failed-indexes")"
      echo
    } >"$ci_state/missing/$package"
  done
  echo "   $(cat "$ci_state/missing/$1"): that check will be NOT RUN"
  return 1
}

install_each() {
  local check packages=() check_packages
  for check in "$@"; do
    read -ra check_packages <<<"${check#*|}"
    packages+=("${check_packages[@]}")
  done
  [ ${#packages[@]} -gt 0 ] || return 0
  mkdir -p "$ci_state"
  echo "== installing what single checks need: ${packages[*]}"
  install_once "$ci_state/install-checks.log" "${packages[@]}" && return 0
  echo "   installing them one check at a time"
  for check in "$@"; do
    read -ra check_packages <<<"${check#*|}"
    install_for "${check%%|*}" "${check_packages[@]}" || true
  done
}
