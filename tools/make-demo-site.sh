#!/usr/bin/env bash
# Assembles the demo product's web site in the build tree: the two documents
# (in code page 949, naming the hashes of the engine module and of each
# client file, signed with the build tree's publisher key), the client files
# (generated, not committed), the product's program, the background picture
# and our engine module.
# Usage: make-demo-site.sh SOURCE_DIR BUILD_DIR SERVER_URL LAUNCHER_EXE ENGINE_DLL
set -euo pipefail
src=$1 build=$2 server_url=$3 launcher=$4 engine=$5
address=${server_url#*://}  # mirrors are host[:port] and take the files' scheme
site="$build/demo-site"
mkdir -p "$site/glenmoor/client"
for doc in download downlist; do
  out="$site/glenmoor/$doc.xml"
  [ "$doc" = downlist ] && out="$site/downlist.xml"
  sed -e "s|@SERVER_URL@|$server_url|g" -e "s|@ADDRESS@|$address|g" "$src/demo/$doc.xml.in" | iconv -f UTF-8 -t CP949 >"$out"
done
cp "$src/res/demo-background.jpg" "$site/glenmoor/background.jpg"
cp "$launcher" "$site/glenmoor/client/GlenmoorLauncher.exe"
cp "$engine" "$site/glenmoor/tkwengine.dll"
# Client data: fixed pseudo-random bytes, so every build serves the same files.
/usr/bin/python3 - "$site/glenmoor/client" <<'PY'
import os, random, sys
for name, size in (("maps.pak", 9 << 20), ("sounds.pak", 5 << 20), ("textures.pak", 13 << 20)):
    path = os.path.join(sys.argv[1], name)
    if os.path.exists(path) and os.path.getsize(path) == size:
        continue
    rng = random.Random(name)
    with open(path, "wb") as f:
        f.write(rng.randbytes(size))
PY
# The last release's textures.pak, as a player has it, never served: this
# release inserted 512 KiB at 4 MiB and changed three regions of 64 KiB. The
# main job puts it in the download folder, and only what changed is fetched.
/usr/bin/python3 - "$site/glenmoor/client/textures.pak" "$build/demo-previous/textures.pak" <<'PY'
import os, random, sys
new, old = sys.argv[1], sys.argv[2]
if not os.path.exists(old) or os.path.getmtime(old) < os.path.getmtime(new):
    data = bytearray(open(new, "rb").read())
    del data[4 << 20:(4 << 20) + (512 << 10)]
    rng = random.Random("textures.pak, last release")
    for at in (1 << 20, 7 << 20, 11 << 20):
        data[at:at + (64 << 10)] = rng.randbytes(64 << 10)
    os.makedirs(os.path.dirname(old), exist_ok=True)
    with open(old, "wb") as f:
        f.write(data)
PY
# The documents' hashes, once the files are there; then the signatures. The
# version is the time of signing, as a publisher's may be, and the documents
# stay good for 30 days (every build signs them again).
hashes=(-e "s|@ENGINE_SHA256@|$(sha256sum "$engine" | cut -d' ' -f1)|g")
for f in "$site/glenmoor/client"/*; do
  hashes+=(-e "s|@SHA256:$(basename "$f")@|$(sha256sum "$f" | cut -d' ' -f1)|g")
done
version=$(date -u +%Y%m%d%H%M%S)
expires=$(date -u -d '+30 days' +%Y-%m-%dT%H:%M:%SZ)
for doc in "$site/glenmoor/download.xml" "$site/downlist.xml"; do
  sed -i "${hashes[@]}" "$doc"
  /usr/bin/python3 "$src/tools/openssl_signing.py" sign "$build/keys/publisher.pem" "$doc" "$version" "$expires"
done
