#!/usr/bin/env bash
# Builds the packages: the Debian package of the console program (native preset).
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target ardex ardex_package_files
(cd build/native && cpack)
ls build/native/package/*.deb
