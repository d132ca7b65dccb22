#!/usr/bin/env bash
# Builds the Debian package build/orvex-tng-suite_VERSION_ARCH.deb (CPack's
# DEB generator, library dependencies from dpkg-shlibdeps) from the plain
# build and checks it with lintian, which must find no error; with
# --install also installs it (as root, through apt).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
# The package always uses the system's shared C++ runtime and Debian's
# hardening flags.
cmake -S . -B build -DTNG_STATIC_RUNTIME=OFF -DTNG_HARDEN=ON >/dev/null
cmake --build build -j "$(nproc)"
(cd build && cpack -G DEB >/dev/null)
deb=$(find build -maxdepth 1 -name '*.deb' -printf '%T@ %p\n' | sort -rn | head -n 1 | cut -d' ' -f2-)
status=0
lintian --fail-on error "$deb" >build/lintian.log 2>&1 || status=$?
grep -v '^running with root privileges' build/lintian.log || true
[ "$status" -eq 0 ] || { echo "package: lintian finds errors in $deb" >&2; exit 1; }
echo "package: $deb"
if [ "${1:-}" = --install ]; then
  apt-get install -y --no-install-recommends "./$deb"
fi
