#!/bin/sh
# Installs the Debian packages named on the command line that are missing.
#   install-deps.sh [--no-install-recommends] PACKAGE ...
# A package may name its architecture (wine32:i386). Only root can
# install; anyone else gets told what is missing.
#
# Debian's archive is now and then in the middle of a sync: an index then
# fails to download ("File has unexpected size ... Mirror sync in
# progress?") while the packages themselves still install from the indexes
# that did arrive, or from those of an earlier update. So a failed
# `apt-get update` is a warning, and the install is what decides: it is
# tried DEVIDORIV_APT_TRIES times (3), DEVIDORIV_APT_PAUSE seconds apart
# (20), each time after a fresh update, since a sync settles in minutes. A
# package that still cannot be installed is an error, with apt's message;
# its last line is the last line this script writes.
set -eu

recommends=""
if [ "${1:-}" = "--no-install-recommends" ]; then
  recommends=$1
  shift
fi

missing=""
for pkg in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages:$missing (run as root, or install them with apt-get)" >&2
  exit 1
fi

tries=${DEVIDORIV_APT_TRIES:-3}
pause=${DEVIDORIV_APT_PAUSE:-20}
# Another install running at the same time holds the dpkg lock: wait for it.
lock="-o DPkg::Lock::Timeout=600"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# apt-get update; on failure one line on standard error, and on we go.
update() {
  if ! apt-get $lock update -qq > "$log" 2>&1; then
    reason=$(grep '^E:' "$log" | head -n 1 || true)
    echo "install-deps: warning: apt-get update failed (${reason:-$(tail -n 1 "$log")}); installing from the indexes there are" >&2
  fi
}

echo "installing:$missing"
try=1
while :; do
  update
  # shellcheck disable=SC2086
  if DEBIAN_FRONTEND=noninteractive apt-get $lock install -y -qq $recommends $missing \
       > "$log" 2>&1; then
    exit 0
  fi
  [ "$try" -ge "$tries" ] && break
  echo "install-deps: the install failed ($(tail -n 1 "$log")); trying again in $pause s ($try of $tries)" >&2
  sleep "$pause"
  try=$((try + 1))
done
echo "install-deps: could not install:$missing; apt-get said:" >&2
cat "$log" >&2
exit 1
