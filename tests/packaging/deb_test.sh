#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack, listed, checked by lintian, unpacked
# into a scratch root, and the unpacked ardex round-trips the sample folder.
# Usage: deb_test.sh BUILD_DIR SAMPLE_FOLDER
set -u
build=$1 sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $1"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/ardex_*.deb) || fail "no package"

listing=$(dpkg-deb -c "$deb" | awk '{print $1, $6}')
for want in "-rwxr-xr-x ./usr/bin/ardex" "-rw-r--r-- ./usr/share/man/man1/ardex.1.gz" \
            "-rw-r--r-- ./usr/share/doc/ardex/copyright" "-rw-r--r-- ./usr/share/doc/ardex/changelog.gz"; do
  grep -qxF -- "$want" <<<"$listing" || fail "the package lacks: $want"
done
[ "$(dpkg-deb -f "$deb" Package)" = ardex ] || fail "package name"

lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1
if grep -E '^[EW]: ' "$work/lintian.log"; then fail "lintian"; fi

root=$work/root
dpkg-deb -x "$deb" "$root" || fail "unpack"
zcat "$root/usr/share/man/man1/ardex.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "man page"
ardex=$root/usr/bin/ardex
"$ardex" -I"$work/s.img" -E"$sample" -P"package test" -C1 </dev/null >"$work/e.log" || { cat "$work/e.log"; fail "encrypt"; }
mkdir "$work/restored"
"$ardex" -I"$work/s.img" -D"$work/restored" -P"package test" </dev/null >"$work/d.log" || { cat "$work/d.log"; fail "decrypt"; }
# Restore mode 1 puts each stored path below the target folder.
restored=$work/restored$(cd "$sample" && pwd -P)
diff -r "$sample" "$restored" || fail "restored tree differs"
echo "package OK: $(basename "$deb")"
