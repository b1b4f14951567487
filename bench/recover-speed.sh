#!/usr/bin/env bash
# Speed benchmark of qrt-recover against The Sleuth Kit's tsk_recover -e on the same card image.
#
#   bench/recover-speed.sh [WORK_FOLDER] [RUNS]
#
# Builds (once) a 1 GiB FAT32 image holding about 700 MB of files in camera, video, music and
# document folders, with every fifth file deleted, then times both tools alternately RUNS times
# each (default 3), each into a fresh output folder, and prints the median times, their ratio and
# the peak memory of each tool (from /usr/bin/time -v). tsk_recover comes with the Debian package
# sleuthkit: scripts/install-deps.sh --bench installs it.
set -euo pipefail
cd "$(dirname "$0")/.."

work=${1:-build/bench}
runs=${2:-3}
qrt=${QRT_RECOVER:-build/bin/qrt-recover}
for tool in "$qrt" tsk_recover mkfs.fat mcopy /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
mkdir -p "$work"
image="$work/card-1g.img"
export MTOOLS_SKIP_CHECK=1

make_image() {
    local files="$work/files"
    rm -rf "$files" "$image"
    mkdir -p "$files"
    mkfs.fat -C -F 32 -s 8 -n BENCHCARD "$image" 1048576 > /dev/null
    # name size: the files of one folder, written with one mcopy.
    fill() {
        local folder=$1 prefix=$2 count=$3 min=$4 max=$5 ext=$6
        rm -rf "${files:?}"/*
        mmd -i "$image" "::/$folder" 2> /dev/null || true
        for i in $(seq 1 "$count"); do
            local size=$((min + (RANDOM * 32768 + RANDOM) % (max - min + 1)))
            head -c "$size" /dev/urandom > "$files/$(printf '%s%04d.%s' "$prefix" "$i" "$ext")"
        done
        mcopy -i "$image" "$files"/* "::/$folder/"
    }
    mmd -i "$image" ::/DCIM
    for cam in 100CAMRA 101CAMRA 102CAMRA 103CAMRA; do
        fill "DCIM/$cam" IMG_ 30 1500000 5500000 JPG
    done
    fill Videos MOV_ 4 30000000 45000000 MP4
    fill Music track 12 2500000 5500000 mp3
    mmd -i "$image" ::/Documents
    for sub in Letters Invoices Notes School; do
        fill "Documents/$sub" doc 200 8000 200000 txt
    done
    # Every fifth file is deleted.
    mdir -i "$image" -/ -b ::/ | grep -v '/$' | awk 'NR % 5 == 0' | while read -r f; do mdel -i "$image" "$f"; done
    rm -rf "$files"
}

if [ ! -f "$image" ]; then
    echo "Building $image ..."
    make_image
fi
used=$(mdir -i "$image" -/ ::/ | awk '/Total files listed/ {getline; print $3 $4 $5}')
live=$(mdir -i "$image" -/ -b ::/ | grep -vc '/$')
echo "Image: $image, 1 GiB FAT32, ${live} live files (${used} bytes), every fifth file deleted"

# One timed run: prints "seconds max_rss_kib".
timed() {
    local out=$1
    shift
    rm -rf "$out"
    # The previous run's writes go to the disk first, so they do not slow this one down.
    sync
    /usr/bin/time -v -o "$work/time.txt" "$@" > /dev/null 2> "$work/stderr.txt" || {
        echo "failed: $*" >&2
        cat "$work/stderr.txt" >&2
        exit 1
    }
    local wall rss
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
    awk -v w="$wall" -v r="$rss" 'BEGIN { n = split(w, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f %d\n", s, r }'
}

qrt_times=() tsk_times=() qrt_rss=0 tsk_rss=0
for run in $(seq 1 "$runs"); do
    read -r t r < <(timed "$work/out-qrt" "$qrt" --quiet "$image" "$work/out-qrt")
    qrt_times+=("$t"); ((r > qrt_rss)) && qrt_rss=$r
    read -r t2 r2 < <(timed "$work/out-tsk" tsk_recover -e "$image" "$work/out-tsk")
    tsk_times+=("$t2"); ((r2 > tsk_rss)) && tsk_rss=$r2
    echo "run $run: qrt-recover ${t} s, tsk_recover -e ${t2} s"
done
qrt_files=$(find "$work/out-qrt" -type f ! -name 'SavedFilesLog*' | wc -l)
tsk_files=$(find "$work/out-tsk" -type f | wc -l)
qrt_bytes=$(find "$work/out-qrt" -type f ! -name 'SavedFilesLog*' -printf '%s\n' | awk '{ s += $1 } END { print s }')
tsk_bytes=$(find "$work/out-tsk" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
rm -rf "$work/out-qrt" "$work/out-tsk"

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
mq=$(median "${qrt_times[@]}")
mt=$(median "${tsk_times[@]}")
fat_kib=$(python3 -c "import struct,sys; b=open(sys.argv[1],'rb').read(64); print(struct.unpack_from('<I',b,36)[0]*struct.unpack_from('<H',b,11)[0]//1024)" "$image")
echo
echo "files written:  qrt-recover ${qrt_files} (${qrt_bytes} bytes), tsk_recover ${tsk_files} (${tsk_bytes} bytes)"
echo "median time:    qrt-recover ${mq} s, tsk_recover -e ${mt} s, ratio qrt/tsk $(awk -v a="$mq" -v b="$mt" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
echo "peak memory:    qrt-recover ${qrt_rss} KiB, tsk_recover ${tsk_rss} KiB (bound: 64 MiB + one FAT copy of ${fat_kib} KiB = $((65536 + fat_kib)) KiB)"
