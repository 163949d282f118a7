#!/bin/bash
# The install scripts against a Debian mirror in mid-sync, played by
# stand-ins for apt-get, dpkg, dpkg-query and id on PATH, so that nothing
# is installed and apt's configuration is never touched:
# - install-deps.sh goes on past a failed `apt-get update`, retries a
#   failed install, and fails with apt's message when it never succeeds;
# - install-windows-deps.sh removes the i386 architecture it added when
#   32-bit Wine does not install;
# - the Windows probe then picks the x86-64 suite and says why (on a
#   machine that runs 32-bit programs; elsewhere it never gets that far).
#   install_deps_test.sh SOURCE_DIR WORKDIR
# shellcheck source-path=SCRIPTDIR source=../support/preamble.sh
. "$(dirname "$0")/../support/preamble.sh"
set -o pipefail
root=$1
work_folder "$2"
mkdir "$work/bin"
calls=$work/calls

# apt-get: `update` fails or passes by FAKE_UPDATE; `install` fails until
# its FAKE_INSTALL_PASSES_AT-th call (never when 0), like apt with a
# broken index.
cat > "$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >> "$FAKE_CALLS"
case " $* " in
  *" update "*)
    [ "$FAKE_UPDATE" = ok ] && exit 0
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  *" install "*)
    n=$(grep -c ' install ' "$FAKE_CALLS")
    [ "$FAKE_INSTALL_PASSES_AT" -ne 0 ] && [ "$n" -ge "$FAKE_INSTALL_PASSES_AT" ] && exit 0
    echo "Some packages could not be installed."
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
esac
EOF
# dpkg-query: nothing is installed. dpkg: no foreign architecture.
cat > "$work/bin/dpkg-query" <<'EOF'
#!/bin/sh
exit 1
EOF
cat > "$work/bin/dpkg" <<'EOF'
#!/bin/sh
echo "dpkg $*" >> "$FAKE_CALLS"
EOF
printf '#!/bin/sh\necho 0\n' > "$work/bin/id"
chmod +x "$work/bin/"*

export FAKE_CALLS=$calls PATH=$work/bin:$PATH DEVIDORIV_APT_PAUSE=0 DEVIDORIV_APT_TRIES=3

# name | script and arguments | update | install passes at | exit status |
#   apt-get install calls | what the output must hold
cases=(
  "update fails, install works|install-deps.sh pkg-a pkg-b|fail|1|0|1|warning: apt-get update failed (E: Failed to fetch"
  "install works at the third try|install-deps.sh pkg-a|ok|3|0|3|trying again in 0 s (2 of 3)"
  "install never works|install-deps.sh pkg-a|fail|0|1|3|E: Unable to correct problems, you have held broken packages."
  "32-bit Wine never installs|install-windows-deps.sh wine32|fail|0|1|3|could not install: wine wine32:i386"
  "the 64-bit Windows tools install|install-windows-deps.sh x86_64 wine64|fail|1|0|1|--no-install-recommends"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name command update passes_at want_status want_installs want_text <<< "$row"
  : > "$calls"
  status=0
  FAKE_UPDATE=$update FAKE_INSTALL_PASSES_AT=$passes_at \
    "$root"/scripts/$command > "$work/out" 2>&1 || status=$?
  [ "$status" -eq "$want_status" ] || fail "$name: exit status $status, not $want_status"
  installs=$(grep -c ' install ' "$calls" || true)
  [ "$installs" -eq "$want_installs" ] ||
    fail "$name: $installs install attempts, not $want_installs"
  grep -qF -- "$want_text" "$work/out" "$calls" || fail "$name: no '$want_text' in: $(cat "$work/out")"
done

# A failed 32-bit Wine install takes the i386 architecture away again.
: > "$calls"
FAKE_UPDATE=fail FAKE_INSTALL_PASSES_AT=0 "$root/scripts/install-windows-deps.sh" wine32 \
  > "$work/out" 2>&1 && fail "install-windows-deps.sh wine32 passed without 32-bit Wine"
grep -qx 'dpkg --add-architecture i386' "$calls" || fail "i386 was not added for 32-bit Wine"
grep -qx 'dpkg --remove-architecture i386' "$calls" || fail "i386 stayed after the failed install"

# The probe, as make test-windows runs it.
: > "$calls"
FAKE_UPDATE=fail FAKE_INSTALL_PASSES_AT=0 "$root/scripts/windows-probe.sh" \
  > "$work/probe.out" 2> "$work/probe.err" || fail "the probe failed: $(cat "$work/probe.err")"
suite=$(cat "$work/probe.out")
if grep -qF 'cannot run 32-bit x86 programs' "$work/probe.err"; then
  [ "$suite" = x86_64 ] || fail "the probe picked '$suite' on a machine without 32-bit programs"
  cat "$work/probe.err"
  skip "this machine cannot run 32-bit programs, so the probe never tries to install 32-bit Wine"
fi
[ "$suite" = x86_64 ] || fail "the probe picked '$suite' without 32-bit Wine"
want="test-windows: 32-bit Wine could not be installed (E: Unable to correct problems, you have held broken packages.): running the x86-64 suite under wine64; the i686 suite is NOT run"
grep -qF "$want" "$work/probe.err" || fail "the probe did not say why: $(cat "$work/probe.err")"
echo "PASS: $(tail -n 1 "$work/probe.err")"
