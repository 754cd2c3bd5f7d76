#!/usr/bin/env bash
# Shows that an independent reader (bsdtar, from libarchive-tools) lists and extracts the archives
# that the tests' RAR writer produces, exactly as written.
# Usage: check-with-bsdtar.sh EMULATOR RAR_SAMPLES_EXE WORK_FOLDER
set -u
emulator=$1 samples=$2 work=$3

rm -rf "$work" && mkdir -p "$work" || exit 1
windows_work="Z:$(printf '%s' "$work" | tr / '\\')"
if ! "$emulator" "$samples" "$windows_work"; then
  echo "rar_samples failed"
  exit 1
fi

expected_listing=$(cd "$work/expected" && find . -mindepth 1 | sed 's:^\./::' | LC_ALL=C sort)
status=0
for archive in rar4 rar5; do
  listing=$(bsdtar -tf "$work/$archive.rar" | sed 's:/$::' | LC_ALL=C sort)
  if [ "$listing" != "$expected_listing" ]; then
    printf '%s: bsdtar lists\n%s\ninstead of\n%s\n' "$archive" "$listing" "$expected_listing"
    status=1
  fi
  mkdir "$work/$archive"
  if ! (cd "$work/$archive" && bsdtar -xf "../$archive.rar"); then
    echo "$archive: bsdtar cannot extract it"
    status=1
  fi
  if ! diff -r "$work/expected" "$work/$archive"; then
    echo "$archive: what bsdtar extracted differs from what was written"
    status=1
  fi
done
[ $status = 0 ] && echo "bsdtar lists and extracts both archives as written"
exit $status
