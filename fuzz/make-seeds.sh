#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets: small FAT volumes made by mkfs.fat and filled by
# mtools (long names, nested and deleted directories, deleted and fragmented files, damaged boot
# sectors, a partitioned card), and the signature database with sample files.
#   fuzz/make-seeds.sh [folder]      (default: build-fuzz/seeds)
# Each target gets <folder>/<target>/; the inputs follow the formats the targets describe at the top
# of their sources. Nothing here is committed: the corpora are made anew whenever needed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=${1:-$root/build-fuzz/seeds}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1

rm -rf "$out"
mkdir -p "$out"/{boot_record,fat_chains,directory,signatures,recovery}

mk() { # mk IMAGE SIZE_KIB MKFS_ARGS...
    local image=$1 size=$2
    shift 2
    rm -f "$image"
    mkfs.fat -C "$@" "$image" "$size" >/dev/null
}
put() { # put IMAGE VOLUME_PATH BYTES_COUNT SEED
    python3 -c "import random,sys; r=random.Random($4); sys.stdout.buffer.write(bytes(r.randrange(256) for _ in range($3)))" \
        >"$work/file.bin"
    mcopy -o -i "$1" "$work/file.bin" "::/$2"
}
text() { # text IMAGE VOLUME_PATH TEXT
    printf '%s' "$3" >"$work/file.txt"
    mcopy -o -i "$1" "$work/file.txt" "::/$2"
}

# A tree every volume gets: short and long names, nested directories, a file per directory, a
# deleted file, a deleted directory with its contents, and a file fragmented by deletions.
fill() { # fill IMAGE
    local i=$1
    mmd -i "$i" ::/DOCS ::/DOCS/Deeper ::/DOCS/Deeper/Deepest "::/Long directory name here"
    text "$i" README.TXT "read me"
    text "$i" "DOCS/A letter with a long name.txt" "Dear card, please keep my files."
    put "$i" DOCS/PHOTO.JPG 3000 1
    put "$i" "DOCS/Deeper/data file.bin" 1500 2
    text "$i" "DOCS/Deeper/Deepest/END.TXT" "the end"
    put "$i" "Long directory name here/x.bin" 700 3
    put "$i" GAP1.BIN 1024 4
    put "$i" KEEP.BIN 600 5
    put "$i" GAP2.BIN 1024 6
    mdel -i "$i" ::/GAP1.BIN ::/GAP2.BIN
    put "$i" FRAGMENT.BIN 4000 7
    mmd -i "$i" ::/OLD ::/OLD/SUB
    text "$i" OLD/gone.txt "deleted with its folder"
    put "$i" OLD/SUB/deep.bin 900 8
    mdeltree -i "$i" ::/OLD
    text "$i" "deleted file.txt" "this one was deleted"
    mdel -i "$i" "::/deleted file.txt"
}

mk "$work/fat12.img" 160 -F 12 -r 224 -s 1
fill "$work/fat12.img"
mk "$work/fat12b.img" 360 -F 12 -r 224 -s 2 -n CARD
fill "$work/fat12b.img"
mk "$work/fat16.img" 2200 -F 16 -r 512 -s 1
fill "$work/fat16.img"
mk "$work/fat16c.img" 8400 -F 16 -r 512 -s 2 -f 1
fill "$work/fat16c.img"
mk "$work/fat32.img" 34000 -F 32 -s 1 -f 1
fill "$work/fat32.img"
# Names at the edges: 255 UTF-16 characters, characters outside ASCII, dots.
mk "$work/names.img" 2200 -F 16 -r 512 -s 1
long=$(python3 -c "print('N' * 251 + '.txt')")
text "$work/names.img" "$long" "longest name"
text "$work/names.img" "Übergröße ½ €.txt" "non-ASCII"
text "$work/names.img" "..dots..txt" "dots"
mmd -i "$work/names.img" "::/a b c" "::/a b c/d e f"
text "$work/names.img" "a b c/d e f/x.y.z" "deep"

python3 - "$work" "$out" "$root" <<'EOF'
import os, struct, sys, subprocess

work, out, root = sys.argv[1:4]

def read(p):
    with open(p, 'rb') as f:
        return f.read()

def write(p, data):
    with open(p, 'wb') as f:
        f.write(data)

def trimmed(data):
    """The image without its trailing zeros, cut at a sector boundary."""
    end = len(data.rstrip(b'\0'))
    return data[:(end + 511) // 512 * 512]

class Geometry:
    def __init__(self, data):
        self.bps, self.spc, self.reserved, self.fats, self.root_entries = struct.unpack_from('<HBHBH', data, 11)
        fat16 = struct.unpack_from('<H', data, 22)[0]
        self.fat_sectors = fat16 or struct.unpack_from('<I', data, 36)[0]
        self.bits = 32 if fat16 == 0 else (12 if b'FAT12' in data[54:62] else 16)
        self.fat = self.reserved * self.bps
        self.root = (self.reserved + self.fats * self.fat_sectors) * self.bps
        self.data = self.root + (self.root_entries * 32 + self.bps - 1) // self.bps * self.bps

images = {n: read(os.path.join(work, n + '.img')) for n in
          ('fat12', 'fat12b', 'fat16', 'fat16c', 'fat32', 'names')}

# Damaged variants: sector 0 gone (the search finds no record, the rebuild takes over), FAT32 with
# only its backup boot sector, a FAT16 with its first FAT copy wiped, a card with a partition table.
def damaged():
    d = {}
    img = bytearray(images['fat16']); img[0:512] = bytes(512); d['fat16-noboot'] = bytes(img)
    img = bytearray(images['fat32']); img[0:512] = bytes(512); d['fat32-backup'] = bytes(img)
    img = bytearray(images['fat16']); g = Geometry(img)
    img[g.fat:g.fat + g.fat_sectors * g.bps] = bytes(g.fat_sectors * g.bps); d['fat16-fat0'] = bytes(img)
    vol = images['fat12b']
    mbr = bytearray(512)
    start, count = 63, len(vol) // 512
    mbr[446:462] = bytes([0, 1, 1, 0, 0x01, 0xFE, 0xFF, 0xFF]) + struct.pack('<II', start, count)
    mbr[510:512] = b'\x55\xaa'
    d['partitioned'] = bytes(mbr) + bytes((start - 1) * 512) + vol
    # A lost directory tree: the root's entries of DOCS wiped, its clusters left as they were.
    img = bytearray(images['fat12']); g = Geometry(img)
    for at in range(g.root, g.data, 32):
        if img[at:at + 4] == b'DOCS':
            img[at] = 0xE5
    d['fat12-lostdocs'] = bytes(img)
    return d

all_images = dict(images)
all_images.update(damaged())

for name, data in all_images.items():
    write(os.path.join(out, 'recovery', name), trimmed(data))
    write(os.path.join(out, 'boot_record', name), data[:16384])

# Boot sectors of other sector sizes and cluster sizes, straight from mkfs.fat.
for i, (size, args) in enumerate([(4000, ['-F', '12', '-S', '1024']), (40000, ['-F', '16', '-S', '2048', '-s', '1']),
                                  (300000, ['-F', '32', '-S', '4096', '-s', '1']), (200000, ['-F', '16', '-s', '64']),
                                  (4000, ['-F', '12', '-s', '128', '-S', '4096'])]):
    p = os.path.join(work, 'b%d.img' % i)
    subprocess.run(['mkfs.fat', '-C'] + args + [p, str(size)], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    write(os.path.join(out, 'boot_record', 'sizes%d' % i), read(p)[:16384])
    os.unlink(p)

def spc_bits(spc):
    return {1: 0, 2: 1, 4: 2, 8: 3}.get(spc, 0)

# Directory seeds: mode, run length, then the volume from its root directory (FAT32: cluster 2).
for name in ('fat12', 'fat12b', 'fat16', 'fat16c', 'fat32', 'names', 'fat12-lostdocs'):
    data = all_images[name]
    g = Geometry(data)
    kind = {12: 0, 16: 1, 32: 3}[g.bits]
    start = g.data if g.bits == 32 else g.root
    body = data[start:start + 24 * 1024]
    for run in (1, 4):
        write(os.path.join(out, 'directory', '%s-run%d' % (name, run)),
              bytes([kind | spc_bits(g.spc) << 2, run - 1]) + body.rstrip(b'\0'))

# Chain seeds: mode, 16 parameter bytes, then the FAT from cluster 2's entry on.
params = [bytes(16),
          struct.pack('<HBB', 2, 2, 4) + struct.pack('<HBB', 0xFFFF, 2 | 1 << 3, 255) +
          struct.pack('<HBB', 40, 2 | 2 << 3, 40) + struct.pack('<HBB', 7, 0 | 3 << 3 | 2 << 5, 9)]
for name in ('fat12', 'fat12b', 'fat16', 'fat32', 'fat16-fat0'):
    data = all_images[name]
    g = Geometry(data)
    kind = {12: 0, 16: 1, 32: 3}[g.bits]
    entry2 = {12: 3, 16: 4, 32: 8}[g.bits]
    table = data[g.fat + entry2:g.fat + g.fat_sectors * g.bps].rstrip(b'\0')
    for i, p in enumerate(params):
        write(os.path.join(out, 'fat_chains', '%s-%d' % (name, i)), bytes([kind | 0x10]) + p + table)
# Hand-made tables: a cycle, a chain into itself, links out of range, the invalid link 1.
def fat16(entries):
    return b''.join(struct.pack('<H', e) for e in entries)
write(os.path.join(out, 'fat_chains', 'cycle16'), bytes([1 | 0x10]) + params[1] + fat16([3, 4, 5, 2, 1, 0xFFF7, 9000, 7, 7]))
write(os.path.join(out, 'fat_chains', 'cycle32'),
      bytes([3 | 0x50]) + params[1] + b''.join(struct.pack('<I', e) for e in [3, 2, 0x1FFFFFFF, 5, 0x0FFFFFF7, 1]))

# Signature seeds: FileIds.ini NUL FileIdChecks.ini NUL sample.
ids = read(os.path.join(root, 'data', 'FileIds.ini'))
checks = read(os.path.join(root, 'data', 'FileIdChecks.ini'))
samples = os.path.join(work, 'samples')
subprocess.run(['python3', os.path.join(root, 'tests', 'scripts', 'make_samples.py'), samples], check=True,
               stdout=subprocess.DEVNULL)
picked = sorted(os.listdir(os.path.join(samples, 'typed')))[::6] + \
         ['../unclaimed/' + n for n in sorted(os.listdir(os.path.join(samples, 'unclaimed')))[:3]]
for n in picked:
    sample = read(os.path.join(samples, 'typed', n))[:4096]
    write(os.path.join(out, 'signatures', 'shipped-' + os.path.basename(n)), ids + b'\0' + checks + b'\0' + sample)
small_ids = (b'[!!version+etc]\nversion=7\n[Main]\nItems=JPEG,ZIP,Text\n[JPEG]\nItems=hexJpegStart\n'
             b'FileExtensions=.JPG,jpe\n[ZIP]\nItems=hexZipLocal/hexZipEnd\nFileExtensions=zip\n'
             b'[Text]\nItems=textHtml,hexWild/textTail\n')
small_checks = (b'[!!version+etc]\nversion=7\n[!hexJpegStart]\n0=0:FFD8FF ; jpeg\n[!hexZipLocal]\n0=0:504B0304\n'
                b'Also=hexZipEnd\n[!hexZipEnd]\n0=0:504B0506\nAlso=hexZipLocal\n[!textHtml]\n0="<html"\n'
                b'1=*100-50:"ab"\n[!hexWild]\n0=1A:??00\n1=*2:`PK`\n[!textTail]\n0=-1024:"JFIF"\n')
for n, sample in [('jpeg', b'\xff\xd8\xff\xe0' + bytes(60) + b'JFIF'), ('zip', b'PK\x05\x06' + bytes(20)),
                  ('html', b'<HTML><body>' + b'ab' * 60), ('empty', b'')]:
    write(os.path.join(out, 'signatures', 'small-' + n), small_ids + b'\0' + small_checks + b'\0' + sample)
EOF

for t in boot_record fat_chains directory signatures recovery; do
    printf '%-12s %3d seeds, %s\n' "$t" "$(ls "$out/$t" | wc -l)" "$(du -sh "$out/$t" | cut -f1)"
done
