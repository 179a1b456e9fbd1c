#!/usr/bin/env bash
# Creates the project's Wine prefix once: Korean code page, the font "돋움"
# replaced by an installed Korean font, no crash dialog. Trusts the build's
# test authority in this prefix alone.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh" 2>/dev/null
# Wine links the user's Documents, Desktop and the like to $HOME, so every
# prefix on the machine would share them (the engine library lives under
# Documents): each prefix gets folders of its own instead.
own_user_folders() {
  local link
  for link in "$WINEPREFIX/drive_c/users/$(id -un)"/*; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
  done
}
# The authority of this build tree (tools/make-test-authority.sh), trusted
# anew when the tree has a new one; the machine's and the user's stores are
# never touched.
trust_test_authority() {
  local build=${VEXIL_BUILD:-$vexil_root/build}
  local authority="$build/tls/authority.pem" tool="$build/tools/trust/trust_authority.exe"
  local mark="$WINEPREFIX/.vexil-trusted-authority"
  if [ ! -f "$authority" ] || [ ! -f "$tool" ] || cmp -s "$authority" "$mark"; then return 0; fi
  vexil_wine wine "$tool" "Z:$authority" >/dev/null 2>&1
  wineserver -w  # the caller starts a persistent one of its own
  cp "$authority" "$mark"
}
if [ -f "$WINEPREFIX/.vexil-ready" ]; then
  own_user_folders
  trust_test_authority
  exit 0
fi
mkdir -p "$WINEPREFIX"
vexil_wine wineboot -i >/dev/null 2>&1
reg="$WINEPREFIX/vexil.reg"
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"돋움"="NanumGothic"' '"Dotum"="NanumGothic"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
  | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
vexil_wine wine regedit /S "$reg" >/dev/null 2>&1
wineserver -w
own_user_folders
touch "$WINEPREFIX/.vexil-ready"
trust_test_authority
