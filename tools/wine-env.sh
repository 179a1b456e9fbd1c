# Sourced: the environment of our Wine bench (prefix inside the build tree).
vexil_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${VEXIL_BUILD:-$vexil_root/build}/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
vexil_wine_preload=""
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ -f "$vexil_root/third_party/qemu/i686/libmmapfix.so" ]; then
  # Under qemu-user (no 32-bit kernel support) Wine needs its mmap fix-up.
  vexil_wine_preload="$vexil_root/third_party/qemu/\$PLATFORM/libmmapfix.so"
fi

# Runs a Wine command; LC_ALL gives code page 949 even where the Korean
# locale is not generated.
vexil_wine() {
  env LC_ALL=ko_KR.UTF-8 LD_PRELOAD="$vexil_wine_preload" "$@"
}
