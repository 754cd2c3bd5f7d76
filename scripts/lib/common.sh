# Shared by scripts/test, scripts/demo and scripts/bench: installing what the project needs,
# building, and the Wine prefix with its virtual display. Source it; it defines functions only.

VOG_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Debian packages the project needs to build and to run its tests, demo and benchmarks (clang-14 with
# its libFuzzer runtime and llvm-14's symbolizer for the natively built fuzz target, scripts/fuzz).
VOG_PACKAGES=(cmake ninja-build googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine64 libwine-dev fonts-wine xvfb x11-utils xdotool imagemagick libarchive-tools msitools wixl osslsigncode openssl
  clang-14 libclang-rt-14-dev llvm-14 fuse3 python3-fusepy)

vog_say() { printf '%s\n' "== $*" >&2; }

vog_install_packages() {
  local missing=() pkg
  for pkg in "${VOG_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" != 0 ]; then
    vog_say "missing packages: ${missing[*]} (run as root, or install them with apt-get)"
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  vog_say "updating the package lists for ${#missing[@]} missing packages"
  apt-get update -qq || return 1
  vog_say "installing ${missing[*]} (a few minutes on a new machine)"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# vog_build PRESET [targets...]: configure once, then build incrementally: everything, or only the
# targets named (and what they need).
vog_build() {
  local preset=$1; shift
  vog_say "building the $preset preset${*:+ (targets: $*)}"
  cmake --preset "$preset" -DVOG_WERROR=ON >/dev/null || return 1
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --target "$@" || return 1
  else
    cmake --build --preset "$preset" || return 1
  fi
}

# The Wine prefix lives inside the build tree (never ~/.wine). A second run reuses it.
vog_prefix_setup() {
  local build=$1
  export WINEPREFIX=$build/wineprefix
  export VOG_WINEPREFIX=$WINEPREFIX
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree="
  # A drive letter for removable-media tests: M: points at a folder that is missing until a test
  # makes it. The link must exist before the wineserver starts to be seen reliably.
  export VOG_TEST_MEDIA_DIR=$build/media/m
  export VOG_HANG_DIR=$build/media/hang
  # A hanging file system left mounted by a killed run would hang the removal.
  mountpoint -q "$VOG_HANG_DIR" && fusermount3 -uz "$VOG_HANG_DIR"
  rm -rf "$build/media"
  mkdir -p "$build/media"
  if [ ! -f "$WINEPREFIX/.vog-ready" ]; then
    vog_say "making the Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # Without a window manager, managed windows take seconds to hide; unmanaged ones don't.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vog-ready"
  fi
  if [ ! -f "$WINEPREFIX/.vog-no-crash-dialog" ]; then
    # A program that crashes ends at once (winedbg prints its backtrace) instead of waiting in
    # Wine's crash dialog until the test's timeout.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vog-no-crash-dialog"
  fi
  vog_test_devices "$WINEPREFIX"
}

# The test bench's devices in a prefix: drive M: (see above), and the share \\vogserver\public, the
# folder $VOG_TEST_MEDIA_DIR/../share, for folders on the network (Wine reaches \\server\share
# through dosdevices/unc/server/share).
vog_test_devices() {
  local prefix=$1 share
  share=$(dirname "$VOG_TEST_MEDIA_DIR")/share
  mkdir -p "$share" "$prefix/dosdevices/unc/vogserver"
  ln -sfn "$VOG_TEST_MEDIA_DIR" "$prefix/dosdevices/m:"
  ln -sfn "$share" "$prefix/dosdevices/unc/vogserver/public"
  mkdir -p "$VOG_HANG_DIR"
  ln -sfn "$VOG_HANG_DIR" "$prefix/dosdevices/h:"
}

# Drive H: is a server that does not answer once vog_hang_mount has run: a FUSE file system whose
# every lookup below its root sleeps $1 seconds (scripts/lib/hangfs.py). Until then, and after
# vog_hang_unmount (which vog_stop_all calls), it is an empty folder.
vog_hang_mount() {
  local seconds=$1 tries=0
  mountpoint -q "$VOG_HANG_DIR" && return 0
  /usr/bin/python3 "$VOG_ROOT/scripts/lib/hangfs.py" "$VOG_HANG_DIR" "$seconds" >/dev/null 2>&1 &
  VOG_HANG_PID=$!
  until mountpoint -q "$VOG_HANG_DIR"; do
    tries=$((tries + 1)); [ $tries -gt 50 ] && { vog_say "the hanging file system did not mount"; return 1; }
    sleep 0.1
  done
}

vog_hang_unmount() {
  if [ -n "${VOG_HANG_PID:-}" ]; then
    # Lazy: a call still sleeping in it cannot keep the mount, or this script, waiting.
    fusermount3 -uz "$VOG_HANG_DIR" >/dev/null 2>&1 || true
    kill "$VOG_HANG_PID" >/dev/null 2>&1 || true
    wait "$VOG_HANG_PID" 2>/dev/null || true
    VOG_HANG_PID=
  fi
}

# A second prefix, a copy of the first with Wine's null graphics driver, for the tests that create
# windows on a hundred threads at once: Wine's X11 driver corrupts its own heap under that load
# ("realloc(): invalid next size"), while the null driver runs the same windows and dialogs without
# showing them. Sets VOG_HEADLESS_PREFIX. Call after vog_prefix_setup, before any wineserver runs.
vog_headless_prefix_setup() {
  local build=$1
  export VOG_HEADLESS_PREFIX=$build/wineprefix-headless
  if [ ! -f "$VOG_HEADLESS_PREFIX/.vog-ready" ]; then
    rm -rf "$VOG_HEADLESS_PREFIX"
    cp -a "$WINEPREFIX" "$VOG_HEADLESS_PREFIX"
    rm -f "$VOG_HEADLESS_PREFIX/.vog-ready"
    WINEPREFIX=$VOG_HEADLESS_PREFIX wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    WINEPREFIX=$VOG_HEADLESS_PREFIX wineserver -w
    touch "$VOG_HEADLESS_PREFIX/.vog-ready"
  fi
  vog_test_devices "$VOG_HEADLESS_PREFIX"
}

# A virtual display of our own, unless the caller asks to use the one it has (VOG_USE_DISPLAY=1).
vog_start_display() {
  if [ "${VOG_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    return 0
  fi
  # Xvfb picks a free display itself and writes its number once it accepts connections.
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  VOG_XVFB_PID=$!
  local n=
  read -r -t 20 n <"$fifo"
  rm -f "$fifo"
  if [ -z "$n" ]; then
    vog_say "Xvfb did not start"
    return 1
  fi
  export DISPLAY=":$n"
}

# Keeps one wineserver running for the whole run: later wine processes start in a fraction of a second.
vog_start_wineserver() {
  wineserver -p60
  wine cmd /c exit >/dev/null 2>&1 || true
}

vog_stop_all() {
  vog_hang_unmount
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "${VOG_HEADLESS_PREFIX:-}" ] && [ -d "$VOG_HEADLESS_PREFIX" ]; then
    WINEPREFIX=$VOG_HEADLESS_PREFIX wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$VOG_HEADLESS_PREFIX wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "${VOG_XVFB_PID:-}" ]; then
    kill "$VOG_XVFB_PID" >/dev/null 2>&1 || true
    wait "$VOG_XVFB_PID" 2>/dev/null || true
    VOG_XVFB_PID=
  fi
}
