#!/usr/bin/env bash
# Times rowtick-rows against `wc -l` and `cat` on page-cached files.
#
#   bench/measure.sh [FOLDER]     FOLDER holds the big test files (default /tmp)
#
# Environment: ROWS   the rowtick-rows binary (default build/bench/rowtick-rows)
#              RUNS   runs per command and file (default 7, at least 5)
#              TREE   folder whose regular files make the many-small-files list
#                     (default /usr/include)
#
# (a) 1 GiB files with LF, CR LF and CR line ends: rowtick-rows, wc -l and cat
#     run alternately, medians and ratios printed.
# (b) every regular file under TREE, passed as arguments: time per file for
#     rowtick-rows and wc -l, alternately.
# (c) a 4 GiB sparse file and a file of one 1 GiB line: count and peak memory.
# The big files are removed on exit.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
folder=${1:-/tmp}
rows=${ROWS:-$repo/build/bench/rowtick-rows}
runs=${RUNS:-7}
tree=${TREE:-/usr/include}
[[ -x $rows ]] || { echo "no rowtick-rows at $rows (build first, or set ROWS)" >&2; exit 1; }
(( runs >= 5 )) || { echo "RUNS must be at least 5" >&2; exit 1; }

work=$(mktemp -d "$folder/rowtick-measure.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Seconds taken by one run of the command, output discarded.
seconds() {
    local start end
    start=$EPOCHREALTIME
    "$@" >/dev/null
    end=$EPOCHREALTIME
    echo "$end - $start" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "rowtick-rows: $rows"
echo "runs: $runs, $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2-)"
echo

# (a) -----------------------------------------------------------------------
line='    int value = compute(alpha, beta); // a typical source line'
gib=$((1 << 30))
echo "making 1 GiB files in $work ..."
# `yes` ends on SIGPIPE when head has enough: not a failure here.
set +o pipefail
yes "$line" | head -c $gib >"$work/lf.txt"
yes "$line"$'\r' | head -c $gib >"$work/crlf.txt"
yes "$line" | tr '\n' '\r' | head -c $gib >"$work/cr.txt"
set -o pipefail

printf '\n%-6s %12s %12s %12s %10s %10s %s\n' file rows_s wc_s cat_s rows/wc rows/cat "rows output"
for kind in lf crlf cr; do
    file=$work/$kind.txt
    cat "$file" >/dev/null  # into the page cache
    cat "$file" >/dev/null
    : >"$work/t.rows"; : >"$work/t.wc"; : >"$work/t.cat"
    for ((i = 0; i < runs; i++)); do
        seconds "$rows" "$file" >>"$work/t.rows"
        seconds wc -l "$file" >>"$work/t.wc"
        seconds cat "$file" >>"$work/t.cat"
    done
    r=$(median <"$work/t.rows"); w=$(median <"$work/t.wc"); c=$(median <"$work/t.cat")
    printf '%-6s %12.4f %12.4f %12.4f %10.3f %10.3f %s\n' "$kind" "$r" "$w" "$c" \
        "$(echo "$r / $w" | bc -l)" "$(echo "$r / $c" | bc -l)" "$("$rows" "$file" | cut -d, -f1)"
done
rm -f "$work"/lf.txt "$work"/crlf.txt "$work"/cr.txt

# (b) -----------------------------------------------------------------------
list=$work/files.list
find "$tree" -type f -print >"$list"
count=$(wc -l <"$list")
run_rows() { xargs -d '\n' -a "$list" "$rows"; }
run_wc() { xargs -d '\n' -a "$list" wc -l; }
run_rows >/dev/null; run_wc >/dev/null  # into the page cache
: >"$work/t.rows"; : >"$work/t.wc"
for ((i = 0; i < runs; i++)); do
    seconds run_rows >>"$work/t.rows"
    seconds run_wc >>"$work/t.wc"
done
r=$(median <"$work/t.rows"); w=$(median <"$work/t.wc")
echo
echo "$count regular files under $tree"
printf '%-12s %12s %14s\n' command total_s per_file_us
printf '%-12s %12.4f %14.2f\n' rowtick-rows "$r" "$(echo "$r / $count * 1000000" | bc -l)"
printf '%-12s %12.4f %14.2f\n' "wc -l" "$w" "$(echo "$w / $count * 1000000" | bc -l)"
printf 'ratio rows/wc: %.3f\n' "$(echo "$r / $w" | bc -l)"

# (c) -----------------------------------------------------------------------
echo
truncate -s 4G "$work/sparse.bin"
head -c $gib /dev/zero | tr '\0' 'x' >"$work/oneline.txt"
echo "made ${gib} bytes of one line without a line end, and a 4 GiB file of zero bytes"
for file in "$work/sparse.bin" "$work/oneline.txt"; do
    out=$(/usr/bin/time -f '%M %e' "$rows" "$file" 2>"$work/time.err")
    read -r rss elapsed <"$work/time.err"
    printf '%-12s size %11d  count %-6s  peak RSS %6d KiB  %6.2f s\n' "$(basename "$file")" \
        "$(stat -c %s "$file")" "$(cut -d, -f1 <<<"$out")" "$rss" "$elapsed"
done
