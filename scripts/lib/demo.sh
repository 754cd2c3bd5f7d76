# Shared by scripts/demo and scripts/screenshot: the demo's own Wine prefix with VOG.OCX installed and
# registered, the demo theme and the demo viewer. Source it after common.sh; it defines functions and
# the paths below only.
#
# In the prefix (build/x64/demo-run/wineprefix; the tests' prefix is never touched):
#   C:\Program Files\VOG\          VOG.OCX, vog.exe, vogw.exe, and unrar.dll (the tests' stand-in)
#   C:\Program Files\VOG Demo\     the viewer (also as wordpad.exe), vogdemo.exe, demo.js
#   C:\VOG Demo\Library, Incoming, Archive    the three folders of the theme "VOG Demo"

demo_run=$VOG_ROOT/build/x64/demo-run
demo_pid_of_script=

say() { printf '%s\n' "$*"; }
fail() {
  printf '\n%s: %s\n' "$(basename "$0")" "$*" >&2
  exit 1
}

# Installs what is missing, builds only what the demo uses, and starts the prefix's display and
# wineserver (stopped again when the calling script exits, also on failure or Ctrl-C).
demo_prepare() {
  vog_install_packages || exit 1
  mkdir -p "$demo_run"
  if ! vog_build x64 vogocx vog vogw vogviewer unrar_standin vogdemo >"$demo_run/build.log" 2>&1; then
    tail -30 "$demo_run/build.log" >&2
    fail "the build failed; the whole output is in $demo_run/build.log"
  fi
  trap demo_cleanup EXIT
  trap 'printf "\nStopped.\n" >&2; exit 130' INT TERM
  vog_prefix_setup "$demo_run" || fail "the Wine prefix could not be made"
  # Debian's Wine does not find its own fonts (package fonts-wine) in its data folder: without them
  # the caption buttons show letters instead of symbols. The prefix's Fonts folder is searched.
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  if [ ! -e "$fonts/marlett.ttf" ] && [ -d /usr/share/wine/fonts ]; then
    mkdir -p "$fonts" && cp /usr/share/wine/fonts/* "$fonts/"
  fi
  vog_start_display || fail "no display"
  vog_start_wineserver

  drive_c=$WINEPREFIX/drive_c
  demo_install=$drive_c/'Program Files/VOG'
  demo_programs=$drive_c/'Program Files/VOG Demo'
  demo_folders=$drive_c/'VOG Demo'
}

demo_cleanup() {
  if [ -n "$demo_pid_of_script" ]; then kill "$demo_pid_of_script" 2>/dev/null; fi
  vog_stop_all
}

# A Linux path as Wine sees it (through drive Z:), and a C: path of the prefix as Linux sees it.
windows_path() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
linux_path() { local p=${1#[Cc]:}; printf '%s%s' "$drive_c" "${p//\\//}"; }

helper() { wine "$demo_programs/vogdemo.exe" "$@" 2>/dev/null; }
registry_default() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }

# VOG.OCX, the programs and the stand-in unrar.dll into Program Files, registered with regsvr32.
demo_install_control() {
  mkdir -p "$demo_install" "$demo_programs"
  cp build/x64/VOG.OCX build/x64/vog.exe build/x64/vogw.exe "$demo_install/"
  cp build/x64/tests/support/unrar/full/unrar.dll "$demo_install/"
  wine regsvr32 /s 'C:\Program Files\VOG\VOG.OCX' 2>/dev/null || fail "regsvr32 could not register VOG.OCX"
  demo_server=$(registry_default 'HKCR\CLSID\{8739CB66-6D75-11D4-B8CF-8DD84C2C1547}\InprocServer32')
  [ -n "$demo_server" ] || fail "VOG.OCX is not registered after regsvr32"
}

# The theme "VOG Demo" with its three (empty) folders, the viewer as the program of .vogdoc and .txt
# and as "wordpad" (demo/demo-setup.reg), and the demo's helper and script.
demo_register_theme() {
  cp build/x64/tests/vogviewer.exe "$demo_programs/vogviewer.exe"
  cp build/x64/tests/vogviewer.exe "$demo_programs/wordpad.exe"
  cp build/x64/demo/vogdemo.exe demo/demo.js "$demo_programs/"
  wine reg import "$(windows_path "$VOG_ROOT/demo/demo-setup.reg")" 2>/dev/null || fail "reg import failed"
  rm -rf "$demo_folders"
  mkdir -p "$demo_folders/Library" "$demo_folders/Incoming" "$demo_folders/Archive"
}

# Starts demo/demo.js in cscript in the background: cscript demo.js THEME SIGNALS HELPER.
demo_start_script() {
  local signals=$1 log=$2
  : >"$log"
  wine cscript //nologo 'C:\Program Files\VOG Demo\demo.js' "VOG Demo" "$(windows_path "$signals")" \
    'C:\Program Files\VOG Demo\vogdemo.exe' >"$log" 2>&1 &
  demo_pid_of_script=$!
}
