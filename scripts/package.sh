#!/usr/bin/env bash
# Builds the packages: the Debian package of the console program (native preset) and the
# Windows installer Cryptelle.msi (windows preset).
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target ardex ardex_package_files
(cd build/native && cpack)
cmake --preset windows >/dev/null
cmake --build --preset windows --target cryptelle_msi
ls build/native/package/*.deb build/windows/installer/Cryptelle.msi
