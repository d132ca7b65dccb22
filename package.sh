#!/usr/bin/env bash
# Builds the Debian package build/orvex-tng-suite_VERSION_ARCH.deb (CPack's
# DEB generator, library dependencies from dpkg-shlibdeps) from the plain
# build; with --install also installs it (as root, through apt).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
# The package always uses the system's shared C++ runtime.
cmake -S . -B build -DTNG_STATIC_RUNTIME=OFF >/dev/null
cmake --build build -j "$(nproc)"
(cd build && cpack -G DEB >/dev/null)
deb=$(ls -t build/*.deb | head -n 1)
echo "package: $deb"
if [ "${1:-}" = --install ]; then
  apt-get install -y --no-install-recommends "./$deb"
fi
