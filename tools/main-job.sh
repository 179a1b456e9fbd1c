#!/usr/bin/env bash
# The main job: builds, starts the demo web server and runs the downloader
# against it. With a display (VEXIL_USE_DISPLAY=1) the user drives it;
# otherwise it runs on a private Xvfb display and saves a screenshot.
set -euo pipefail
source "$(dirname "$0")/session.sh"
vexil_build
vexil_start_display
cleanup() {
  bash "$vexil_root/tools/demo-server.sh" stop
  vexil_stop_session
}
trap cleanup EXIT
vexil_start_wine
echo "demo: starting the web server"
bash "$vexil_root/tools/demo-server.sh" start
settings_url="$(vexil_server_url)/glenmoor/download.xml"
answer=$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 --cacert "$VEXIL_BUILD/tls/authority.pem" \
  "$settings_url" || true)
if [ "$answer" != 200 ]; then
  echo "main job: the demo server answers ${answer:-nothing} for $settings_url; its error log ends:" >&2
  tail -n 5 "$VEXIL_BUILD/nginx/logs/error.log" >&2 || true
  exit 1
fi
exe="$VEXIL_BUILD/VexilDownloader.exe"
site="$VEXIL_BUILD/demo-site/glenmoor/client"
user_dir="$WINEPREFIX/drive_c/users/$(id -un)"
target="$user_dir/AppData/Roaming/GlenmoorClient"
# A fresh run: no earlier download, the engine module and picture of this build.
rm -rf "$target" "$user_dir/Documents/Glenmoor"
find "$WINEPREFIX/drive_c" -maxdepth 2 -name 'Program Files*' -exec rm -rf {}/Glenmoor \;
# The site as a publisher lists and signs it, each file with its hash and
# block index, and a player who has the last release's textures.pak: only
# what changed of it comes (the summary's bytes fetched against those listed).
echo "demo: listing the site with its block indexes"
list="$VEXIL_BUILD/demo-site/downlist.xml"
bash "$vexil_root/tools/vexil-publish" list "$site" "$(vexil_server_url)/glenmoor/client" --blocks \
  --run GlenmoorLauncher.exe >"$list"
vexil_quietly bash "$vexil_root/tools/vexil-publish" sign "$VEXIL_BUILD/keys/publisher.pem" "$list" \
  --version "$(date -u +%Y%m%d%H%M%S)" --expires "$(date -u -d '+30 days' +%Y-%m-%dT%H:%M:%SZ)"
mkdir -p "$target"
cp "$VEXIL_BUILD/demo-previous/textures.pak" "$target/"

if [ -z "$vexil_xvfb_pid" ]; then
  echo "main job: the downloader is on your display; it ends when you close it"
  vexil_wine wine "$exe"
  exit 0
fi

# From the screen, as the user sees it (a grab of the window alone can lag).
shot() { import -window root -crop "544x340+$x+$y" +repage "$VEXIL_BUILD/main-$1.png"; }

log="$VEXIL_BUILD/nginx/logs/access.log"
: >"$log"  # this run's requests only
echo "main job: starting the downloader"
vexil_wine wine "$exe" >/dev/null 2>&1 &
program=$!
window=""
for _ in $(seq 300); do
  for w in $(timeout 5 xdotool search --classname vexildownloader 2>/dev/null); do
    info=$(timeout 5 xwininfo -id "$w" 2>/dev/null || true)
    grep -q 'geometry 544x340' <<<"$info" && grep -q IsViewable <<<"$info" && window=$w
  done
  [ -n "$window" ] && break
  sleep 0.2
done
if [ -z "$window" ]; then
  import -window root "$VEXIL_BUILD/main-ready.png"
  echo "main job: the window did not appear within a minute; screen saved as $VEXIL_BUILD/main-ready.png" >&2
  exit 1
fi
sleep 1
x=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left X: *//p')
y=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left Y: *//p')
shot ready
echo "main job: downloading"
start=$(date +%s.%N)
xdotool mousemove $((x + 420)) $((y + 292)) click 1
sleep 2
shot downloading
# No byte within seconds means the download never began: say why now.
arrived() { ls -A "$target" 2>/dev/null | grep -vx textures.pak; }
for _ in $(seq 100); do [ -n "$(arrived)" ] && break; sleep 0.2; done
if [ -z "$(arrived)" ]; then
  shot stuck
  echo "main job: no file arrived within 20 s of pressing start; the window is saved as $VEXIL_BUILD/main-stuck.png; the server's last requests:" >&2
  tail -n 5 "$log" >&2 || true
  exit 1
fi
for _ in $(seq 1500); do
  [ -f "$target/launched.txt" ] && break
  kill -0 "$program" 2>/dev/null || { echo "main job: the downloader ended before its program was started" >&2; exit 1; }
  sleep 0.2
done
end=$(date +%s.%N)
sleep 3  # the started program's short window has come and gone
shot done
vexil_wine wine "$VEXIL_BUILD/tests/window_ctl.exe" close VAZarodezuro
wait "$program" || true

[ -f "$target/launched.txt" ] || { echo "main job: the downloaded program was not started" >&2; exit 1; }
echo "main job: checking the files"
files=0 bytes=0
for f in "$site"/*; do
  case $f in *.vxblocks) continue ;; esac  # the publisher's block indexes, beside the files
  cmp -s "$f" "$target/$(basename "$f")" || { echo "main job: $(basename "$f") differs" >&2; exit 1; }
  files=$((files + 1)) bytes=$((bytes + $(stat -c %s "$f")))
done
requests=$(wc -l <"$log")
# Body bytes of the files' requests: "$request"'s path is the fifth field.
fetched=$(awk '$4 == "\"GET" && $5 ~ /^\/glenmoor\/client\// { n += $8 } END { print n + 0 }' "$log")
protocols=$(awk '$NF ~ /^TLS/ { print $NF }' "$log" | sort -u | paste -sd /)
secure=$(awk '$NF ~ /^TLS/' "$log" | wc -l)
served="$(vexil_server_url) ($secure of $requests requests over ${protocols:-TLS})"
program_size=$(stat -c %s "$exe")
engine_size=$(stat -c %s "$VEXIL_BUILD/demo-site/glenmoor/tkwengine.dll")
awk -v f=$files -v b=$bytes -v n="$fetched" -v s="$start" -v e="$end" -v d="$VEXIL_BUILD" -v p="$program_size" -v g="$engine_size" -v u="$served" 'BEGIN {
  t = e - s; printf "main job: %s, %d files, %d bytes listed, %d fetched, %.1f s, %.2f MB/s, byte for byte; program %d KB, engine library %d KB; screenshots %s/main-{ready,downloading,done}.png\n", u, f, b, n, t, b / 1048576 / t, p / 1024, g / 1024, d }'
