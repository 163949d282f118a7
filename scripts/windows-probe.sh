#!/bin/sh
# Decides which Windows test suite this machine runs, by trying:
#   windows-probe.sh        prints i686 or x86_64 on stdout
# and says in one line on stderr what it found, which suite runs and why.
#
# The editor's module is 32-bit, and its suite runs under 32-bit Wine
# wherever the machine can run 32-bit x86 programs. Not every x86-64
# kernel can (a kernel without IA-32 emulation refuses them with "Exec
# format error"), so the probe runs two 32-bit programs: first a static
# i386 program of its own, which needs nothing installed, then (after
# installing 32-bit Wine, which only then is of use) Wine's 32-bit loader.
# Where either fails, or 32-bit Wine cannot be installed, the x86-64 suite
# runs under wine64 instead, and the 32-bit module is only built and
# checked statically.
#
# WINDOWS_ARCH=i686 or WINDOWS_ARCH=x86_64 skips the probe and picks that
# suite; i686 on a machine that cannot run it then fails in the tests.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/windows-probe
loader32=/usr/lib/wine/wine

say() {
    echo "test-windows: $*" >&2
}
x86_64_suite="running the x86-64 suite under wine64; the i686 suite is NOT run, the 32-bit module is only built and checked statically"

case ${WINDOWS_ARCH:-} in
    i686)
        say "WINDOWS_ARCH=i686 given, 32-bit programs not tried: running the i686 suite under 32-bit Wine"
        echo i686
        exit 0
        ;;
    x86_64)
        say "WINDOWS_ARCH=x86_64 given, 32-bit programs not tried: $x86_64_suite"
        echo x86_64
        exit 0
        ;;
    "") ;;
    *)
        say "WINDOWS_ARCH must be i686, x86_64 or empty (probe), not '$WINDOWS_ARCH'"
        exit 2
        ;;
esac

# Runs a program; on failure sets `why` to the last line it (or the shell
# starting it) wrote, and its exit status.
try() {
    if output=$("$@" 2>&1); then
        return 0
    else
        status=$?
    fi
    why="$(echo "$output" | tail -n 1) (exit status $status)"
    return 1
}

# A static i386 Linux program: write(1, "ok\n", 3), then exit(0).
mkdir -p "$work"
cat > "$work/probe32.s" <<'ASM'
        .text
        .globl _start
_start:
        movl    $4, %eax
        movl    $1, %ebx
        movl    $message, %ecx
        movl    $3, %edx
        int     $0x80
        movl    $1, %eax
        xorl    %ebx, %ebx
        int     $0x80
        .data
message:
        .ascii  "ok\n"
ASM
if ! as --32 -o "$work/probe32.o" "$work/probe32.s" ||
   ! ld -m elf_i386 -o "$work/probe32" "$work/probe32.o"; then
    say "cannot assemble the 32-bit test program (binutils missing?)"
    exit 1
fi

if ! try "$work/probe32" || [ "$output" != ok ]; then
    [ -n "${why:-}" ] || why="it printed '$output' instead of 'ok'"
    say "this machine cannot run 32-bit x86 programs (a static i386 program: $why): $x86_64_suite"
    echo x86_64
    exit 0
fi

# 32-bit programs run: the i686 suite needs 32-bit Wine, so install it
# and try its loader. Its i386 packages must match the amd64 ones version
# for version, so a Debian mirror in mid-sync can keep it out while
# everything 64-bit installs: the x86-64 suite then runs instead.
log=$work/install-wine32.log
if ! "$root/scripts/install-windows-deps.sh" wine32 > "$log" 2>&1; then
    cat "$log" >&2
    say "32-bit Wine could not be installed ($(tail -n 1 "$log")): $x86_64_suite"
    echo x86_64
    exit 0
fi
cat "$log" >&2
if ! try "$loader32" --version; then
    say "this machine runs a static i386 program, but Wine's 32-bit loader $loader32 does not start ($why): $x86_64_suite"
    echo x86_64
    exit 0
fi
say "this machine runs 32-bit x86 programs (a static i386 program and Wine's 32-bit loader, $output): running the i686 suite under 32-bit Wine"
echo i686
