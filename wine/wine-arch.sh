#!/bin/sh
# Can this machine run the 32-bit program? Found out by trying: Wine's
# 32-bit loader is started. Some kernels run no 32-bit code at all (Linux
# 6.7 and later with ia32_emulation off); there only the 64-bit program
# runs. TOKVIN_ARCH=x64 makes any machine answer as such a kernel would.
#
# Exit 0: it can. Exit 1: it cannot, and stdout says how that was found out.
if [ "${TOKVIN_ARCH:-}" = x64 ]; then
    echo "TOKVIN_ARCH=x64 asks to act as on a kernel that runs no 32-bit code"
    exit 1
fi
loader=/usr/lib/wine/wine
if [ ! -x "$loader" ]; then
    echo "this Wine runs 64-bit programs only (its 32-bit part, Debian package wine32:i386, is not installed)"
    exit 1
fi
if out=$("$loader" --version 2>&1); then
    exit 0
fi
why=$(printf '%s' "$out" | tail -n 1)
if dmesg 2>/dev/null | grep -q '32-bit emulation disabled'; then
    why="$why; the kernel log says: 32-bit emulation disabled"
fi
echo "this kernel runs no 32-bit code: Wine's 32-bit loader $loader did not start (${why:-no output})"
exit 1
