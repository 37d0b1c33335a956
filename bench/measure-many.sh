#!/usr/bin/env bash
# Many small files: the counting run against the floor, in one run.
#
#   bench/measure-many.sh [BUILD] [ROUNDS] [SCRATCH]
#
# BUILD defaults to build-test, ROUNDS to 5. Makes 250,000 small files in 250
# folders under SCRATCH (default: a new folder under /tmp, removed at the end;
# a SCRATCH given that already holds them is used as it is and kept), lists
# them four times over (1,000,000 targets), and then, in each round, one after
# the other:
#   floor   rowtick-floor: open, fstat, read, close of the listed paths on two
#           threads, nothing else;
#   job     rowtick-job-time: the window's counting job, one worker per core;
#   window  rowtick-many-targets --list: the real window (offscreen), the list
#           dropped, counted and saved; its counting run is timed;
# and after the rounds, rowtick-rows and `wc -l` over the regular files under
# /usr/include, alternately. Prints the medians and the ratios, of the wall
# time and of the processor time (which a loaded machine disturbs less).
# Then the same files from a cold page cache, dropped before each run (this
# needs root; without it the cold runs are skipped, and it says so):
# rowtick-rows and `wc -l`, both through xargs, and rowtick-floor on two
# threads, alternately.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build-test}
rounds=${2:-5}
scratch=${3:-}
tree=${TREE:-/usr/include}
for tool in rowtick-floor rowtick-job-time rowtick-many-targets rowtick-rows; do
  [[ -x $build/bench/$tool ]] || { echo "no $build/bench/$tool (build it first)" >&2; exit 1; }
done

if [[ -z $scratch ]]; then
  scratch=$(mktemp -d /tmp/rowtick-many.XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
fi
if [[ ! -f $scratch/made ]]; then
  echo "making 250,000 files in 250 folders under $scratch ..."
  python3 "$repo/bench/make-small-files.py" "$scratch/tree" 250
  touch "$scratch/made"
fi
find "$scratch/tree" -type f | sort > "$scratch/once.list"
for i in 1 2 3 4; do cat "$scratch/once.list"; done > "$scratch/many.list"
xargs -a "$scratch/once.list" -d '\n' cat > /dev/null   # into the page cache

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
: > "$scratch/t.floor"; : > "$scratch/t.job"; : > "$scratch/t.window"; : > "$scratch/m.window"
: > "$scratch/p.floor"; : > "$scratch/p.job"; : > "$scratch/p.window"

echo "$(wc -l < "$scratch/many.list") targets, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 1; r <= rounds; r++)); do
  read -r floor _ floor_p < <("$build/bench/rowtick-floor" "$scratch/many.list" 2 1)
  read -r job _ job_p < <("$build/bench/rowtick-job-time" "$scratch/many.list" 0 1)
  window_out=$("$build/bench/rowtick-many-targets" --list "$scratch/many.list" "$scratch" 2>/dev/null)
  window=$(awk '/^counting run/ { print $3 }' <<< "$window_out")
  window_p=$(awk '/^counting run/ { print $6 }' <<< "$window_out")
  peak=$(awk '/^whole run/ { print $(NF - 1) }' <<< "$window_out")
  echo "round $r: floor $floor s ($floor_p s processor)  job $job s ($job_p)  window $window s ($window_p)  window's whole run peak $peak MiB"
  echo "$floor" >> "$scratch/t.floor"; echo "$job" >> "$scratch/t.job"; echo "$window" >> "$scratch/t.window"
  echo "$floor_p" >> "$scratch/p.floor"; echo "$job_p" >> "$scratch/p.job"; echo "$window_p" >> "$scratch/p.window"
  echo "$peak" >> "$scratch/m.window"
done
f=$(median < "$scratch/t.floor"); j=$(median < "$scratch/t.job"); w=$(median < "$scratch/t.window")
fp=$(median < "$scratch/p.floor"); jp=$(median < "$scratch/p.job"); wp=$(median < "$scratch/p.window")
echo
echo "medians of $rounds rounds: floor $f s  job $j s  window $w s  peak $(median < "$scratch/m.window") MiB"
printf 'wall:      job/floor %.2f  window/floor %.2f\n' "$(echo "$j / $f" | bc -l)" "$(echo "$w / $f" | bc -l)"
printf 'processor: floor %s s  job %s s  window %s s  job/floor %.2f  window/floor %.2f\n' "$fp" "$jp" "$wp" \
  "$(echo "$jp / $fp" | bc -l)" "$(echo "$wp / $fp" | bc -l)"

find "$tree" -type f > "$scratch/tree.list"
seconds() { local start=$EPOCHREALTIME; "$@" > /dev/null 2>&1 || true; echo "$EPOCHREALTIME - $start" | bc -l; }
run_rows() { xargs -d '\n' -a "$scratch/tree.list" "$build/bench/rowtick-rows"; }
run_wc() { xargs -d '\n' -a "$scratch/tree.list" wc -l; }
seconds run_rows > /dev/null; seconds run_wc > /dev/null   # into the page cache
: > "$scratch/t.rows"; : > "$scratch/t.wc"
for ((r = 1; r <= 2 * rounds + 1; r++)); do
  seconds run_rows >> "$scratch/t.rows"
  seconds run_wc >> "$scratch/t.wc"
done
rr=$(median < "$scratch/t.rows"); wc=$(median < "$scratch/t.wc")
printf '%s regular files under %s: rowtick-rows %.4f s  wc -l %.4f s  rows/wc %.2f\n' \
  "$(wc -l < "$scratch/tree.list")" "$tree" "$rr" "$wc" "$(echo "$rr / $wc" | bc -l)"

# From a cold page cache: the kernel's caches dropped before each run.
drop_caches() { sync && echo 3 > /proc/sys/vm/drop_caches; }
if ! (drop_caches) 2>/dev/null; then
  echo "cold runs skipped: cannot drop the page cache (writing /proc/sys/vm/drop_caches needs root)"
  exit 0
fi
run_floor() { "$build/bench/rowtick-floor" "$scratch/tree.list" 2 1; }
: > "$scratch/c.rows"; : > "$scratch/c.wc"; : > "$scratch/c.floor"
for ((r = 1; r <= 2 * rounds + 1; r++)); do
  drop_caches; seconds run_rows >> "$scratch/c.rows"
  drop_caches; seconds run_wc >> "$scratch/c.wc"
  drop_caches; seconds run_floor >> "$scratch/c.floor"
done
cr=$(median < "$scratch/c.rows"); cw=$(median < "$scratch/c.wc"); cf=$(median < "$scratch/c.floor")
printf 'cold, %s: rowtick-rows %.4f s  wc -l %.4f s  floor (2 threads) %.4f s  rows/wc %.2f  rows/floor %.2f\n' \
  "$tree" "$cr" "$cw" "$cf" "$(echo "$cr / $cw" | bc -l)" "$(echo "$cr / $cf" | bc -l)"
