#!/usr/bin/env bash
# Kills a large save with SIGKILL at random moments and counts what was left:
# the result file must be the complete old or the complete new file, or else a
# complete copy of the old bytes must lie beside it; what a kill leaves besides
# the file is counted right after each kill (the next save removes it).
#
#   bench/measure-kills.sh [KILLS] [ROWS] [WAY]   defaults 100, 200000, replace
#
#   WAY  replace   a file with one name, in a new folder under $FOLDER (default /tmp)
#        in-place  a file with a second name (a hard link), rewritten in place
#        fat       a file on a FAT image: no unnamed files, no owners, so a
#                  named temporary file (needs root and mkfs.vfat; mounted
#                  with -o loop, or through FUSE with fusefat where the
#                  kernel has no vfat)
#
# Environment: SAVER  the rowtick-save-kills binary (default build/bench/rowtick-save-kills)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:-100}
rows=${2:-200000}
way=${3:-replace}
saver=${SAVER:-$repo/build/bench/rowtick-save-kills}
[[ -x $saver ]] || { echo "no rowtick-save-kills at $saver (build first, or set SAVER)" >&2; exit 1; }

work=$(mktemp -d "${FOLDER:-/tmp}/rowtick-kills.XXXXXX")
cleanup() {
    if mountpoint -q "$work/fat" 2>/dev/null; then
        umount "$work/fat" 2>/dev/null || fusermount -u "$work/fat"
    fi
    rm -rf "$work"
}
trap cleanup EXIT
folder=$work
case $way in
    replace | in-place) ;;
    fat)
        truncate -s 256M "$work/fat.img"
        mkfs.vfat "$work/fat.img" >/dev/null
        mkdir "$work/fat"
        mount -o loop "$work/fat.img" "$work/fat" 2>/dev/null || fusefat -o rw+ "$work/fat.img" "$work/fat" >/dev/null
        folder=$work/fat
        ;;
    *) echo "unknown way: $way" >&2; exit 2 ;;
esac
file=$folder/result.csv
keep=("$file")
if [[ $way == in-place ]]; then
    "$saver" loop-once "$file" "$rows"
    ln "$file" "$folder/other name.csv"
    keep+=("$folder/other name.csv")
fi

left_behind() {  # what lies in the folder besides the file and its other name
    find "$folder" -mindepth 1 -maxdepth 1 -type f ! -name result.csv ! -name 'other name.csv'
}

refused=0 damaged=0 copied=0 kills_leaving=0 files_left=0 bytes_left=0
for ((i = 1; i <= kills; i++)); do
    "$saver" loop "$file" "$rows" &
    pid=$!
    # 0 to 1.5 s: the first saves and any moment of the later ones.
    sleep "$(printf '0.%03d' $((RANDOM % 1000)))"
    (( RANDOM % 2 )) && sleep 0.5
    kill -9 "$pid" 2>/dev/null || true
    status=0
    wait "$pid" 2>/dev/null || status=$?
    (( status == 137 )) || refused=$((refused + 1))  # ended by itself: a save failed
    mapfile -t left < <(left_behind)
    if (( ${#left[@]} > 0 )); then
        kills_leaving=$((kills_leaving + 1))
        files_left=$((files_left + ${#left[@]}))
        bytes_left=$((bytes_left + $(du -cb "${left[@]}" | tail -1 | cut -f1)))
    fi
    if [[ -e $file ]] && ! "$saver" check "$file" "$rows"; then
        damaged=$((damaged + 1))
        for copy in "${left[@]}"; do
            if "$saver" check "$copy" "$rows"; then
                copied=$((copied + 1))
                break
            fi
        done
    fi
done
mapfile -t remaining < <(left_behind)
echo "way: $way  kills: $kills  rows: $rows  failed saves: $refused  damaged files: $damaged (with a complete copy of the old bytes: $copied)" \
     " kills leaving files: $kills_leaving ($files_left files, $bytes_left bytes)  left at the end: ${#remaining[@]}"
