#!/bin/sh
# Installs the Debian packages named on the command line that are missing.
# Only root can install; anyone else gets told what is missing.
set -eu
missing=""
for pkg in "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages:$missing (run as root, or install them with apt-get)" >&2
  exit 1
fi
echo "installing:$missing"
# Another install running at the same time holds the dpkg lock: wait for it.
lock="-o DPkg::Lock::Timeout=600"
apt-get $lock update -qq
DEBIAN_FRONTEND=noninteractive apt-get $lock install -y -qq $missing
