#!/usr/bin/env bash
# Kills a large save with SIGKILL at random moments and counts what was left:
# the result file must be the complete old or the complete new file every time,
# and leftover temporary files are counted.
#
#   bench/measure-kills.sh [KILLS] [ROWS] [FOLDER]   defaults 100, 200000, /tmp
#
# Environment: SAVER  the rowtick-save-kills binary (default build/bench/rowtick-save-kills)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:-100}
rows=${2:-200000}
folder=${3:-/tmp}
saver=${SAVER:-$repo/build/bench/rowtick-save-kills}
[[ -x $saver ]] || { echo "no rowtick-save-kills at $saver (build first, or set SAVER)" >&2; exit 1; }

work=$(mktemp -d "$folder/rowtick-kills.XXXXXX")
trap 'rm -rf "$work"' EXIT
file=$work/result.csv

broken=0
for ((i = 1; i <= kills; i++)); do
    "$saver" loop "$file" "$rows" &
    pid=$!
    # 0 to 1.5 s: the first saves and any moment of the later ones.
    sleep "$(printf '0.%03d' $((RANDOM % 1000)))"
    (( RANDOM % 2 )) && sleep 0.5
    kill -9 "$pid"
    wait "$pid" 2>/dev/null || true
    if [[ -e $file ]] && ! "$saver" check "$file" "$rows"; then
        broken=$((broken + 1))
    fi
done
leftovers=$(find "$work" -mindepth 1 ! -name result.csv | wc -l)
bytes=$(find "$work" -mindepth 1 ! -name result.csv -printf '%s\n' | awk '{s += $1} END {print s + 0}')
echo "kills: $kills  rows: $rows  file broken: $broken  leftovers: $leftovers ($bytes bytes)"
