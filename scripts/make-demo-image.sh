#!/usr/bin/env bash
# Builds the demonstration memory card: a 32 MiB FAT16 image written with mkfs.fat and mtools that
# holds folders, live files, deleted files, a deleted folder and a photo whose directory entry is
# gone (its clusters are still allocated, so only its content can name it).
#
#   scripts/make-demo-image.sh IMAGE
set -euo pipefail

image=${1:?usage: make-demo-image.sh IMAGE}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

# Deterministic contents: a photo-like file (JPEG markers around pseudo-random bytes), text files.
photo() { # name size seed
    python3 - "$1" "$2" "$3" <<'PY'
import random, sys
name, size, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rnd = random.Random(seed)
head = bytes.fromhex("FFD8FFE000104A46494600010101004800480000")
body = bytes(rnd.getrandbits(8) for _ in range(size - len(head) - 2))
open(name, "wb").write(head + body + bytes.fromhex("FFD9"))
PY
}
text() { # name lines
    : > "$1"
    for i in $(seq 1 "$2"); do echo "Line $i of $(basename "$1"): the quick brown fox jumps over the lazy dog." >> "$1"; done
}

rm -f "$image"
mkfs.fat -C -F 16 -n DEMO-CARD "$image" 32768 > /dev/null

photo "$work/IMG_0001.JPG" 180000 1
photo "$work/IMG_0002.JPG" 95000 2
photo "$work/IMG_0003.JPG" 240000 3
photo "$work/Beach.jpg" 120000 4
photo "$work/Sunset at the lake.jpg" 70000 5
photo "$work/LOSTPIC.JPG" 150000 6
text "$work/Shopping list.txt" 20
text "$work/Report 2024.txt" 400
text "$work/old draft.txt" 150
text "$work/notes.txt" 60
text "$work/itinerary.txt" 30

m() { "$@" > /dev/null; }
m mmd -i "$image" ::/DCIM ::/DCIM/100CAMRA ::/Documents ::/Trip
m mcopy -i "$image" "$work/IMG_0001.JPG" "$work/IMG_0002.JPG" "$work/IMG_0003.JPG" ::/DCIM/100CAMRA/
m mcopy -i "$image" "$work/Report 2024.txt" "$work/old draft.txt" "$work/notes.txt" ::/Documents/
m mcopy -i "$image" "$work/Beach.jpg" "$work/Sunset at the lake.jpg" "$work/itinerary.txt" ::/Trip/
m mcopy -i "$image" "$work/Shopping list.txt" "$work/LOSTPIC.JPG" ::/

# A deleted file and a deleted folder: their entries are marked deleted, their clusters freed.
m mdel -i "$image" "::/Documents/old draft.txt"
m mdeltree -i "$image" ::/Trip

# The directory entry of LOSTPIC.JPG is destroyed (as a damaged root directory would leave it):
# the 32-byte entry becomes a deleted entry without name or first cluster.
python3 - "$image" <<'PY'
import struct, sys
path = sys.argv[1]
with open(path, "r+b") as f:
    boot = f.read(512)
    bps, spc, reserved, fats, root_entries = struct.unpack_from("<HBHBH", boot, 11)
    fat_size = struct.unpack_from("<H", boot, 22)[0]
    root = (reserved + fats * fat_size) * bps
    f.seek(root)
    data = bytearray(f.read(root_entries * 32))
    pos = next(i for i in range(0, len(data), 32) if data[i:i + 11] == b"LOSTPIC JPG")
    data[pos:pos + 32] = b"\xE5" + bytes(31)
    f.seek(root)
    f.write(data)
PY
echo "$image"
