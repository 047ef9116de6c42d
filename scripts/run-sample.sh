#!/usr/bin/env bash
# The main job: builds Ardex (native preset), encrypts the sample folder into an image,
# decrypts the image into a fresh folder and compares the result with the original.
set -u
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1

echo "== building Ardex (preset native, build/native)"
if ! { cmake --preset native >/dev/null && cmake --build --preset native --target ardex; }; then
  echo "Sample run FAILED: the build failed"
  exit 1
fi
ardex=$PWD/build/native/ardex/ardex
sample=$PWD/samples/documents
password="sample password"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image=$work/documents.img
restored=$work/restored
mkdir -p "$restored"

run() {
  printf "\$ ardex"; printf " %q" "$@"; echo
  "$ardex" "$@" </dev/null | tee "$work/said"
}

fail() {
  echo "Sample run FAILED: $1"
  exit 1
}

echo "== encrypting $sample"
run -I"$image" -E"$sample" -P"$password" -C1
grep -qx "Encrypt finished" "$work/said" && [ -s "$image" ] || fail "Ardex did not encrypt the sample folder"
echo "image: $(stat -c %s "$image") bytes"

echo "== decrypting into $restored"
run -I"$image" -D"$restored" -P"$password"
grep -qx "Decrypt finished" "$work/said" || fail "Ardex did not decrypt the image"

# The image keeps full paths; the restore puts them below the target without the drive.
copy=$restored$sample
[ -d "$copy" ] || fail "no restored folder at $copy"
echo "== comparing $sample with $copy"
diff -r "$sample" "$copy" || fail "the restored files differ from the sample"
echo "Sample run OK: $(find "$sample" -type f | wc -l) files encrypted, restored and identical"
