#!/usr/bin/env bash
# Huge inputs, each with its wall time and peak resident memory (GNU time):
# a 5 GiB sparse file and a file of one 1 GiB line counted by rowtick-rows
# (with cat beside each, the kernel's copy being the floor), and 100,000
# targets through the window: the drop, the counting run and the save, each
# step timed by rowtick-many-targets itself.
# Then ratios to cat, the runs alternated, medians of ROUNDS (default 7): a
# 4 GiB sparse file with three lines at its end, and the dense 1 GiB file; and
# a 1 EiB sparse file on /dev/shm (tmpfs), which cat cannot read in a lifetime,
# timed alone.
# Usage: bench/measure-huge.sh BUILD_DIR [SCRATCH_DIR]
# The big files are deleted at the end; the 100,000 small ones are kept in a
# given SCRATCH_DIR for the next run, and deleted with a scratch folder of our own.
set -euo pipefail
build="${1:?build folder}"
if [[ -n "${2:-}" ]]; then
  scratch="$2"
  mkdir -p "$scratch"
  trap 'rm -f "$scratch/sparse-5g" "$scratch/one-line-1g" "$scratch/sparse-4g-tail" /dev/shm/rowtick-sparse-1e' EXIT
else
  scratch="$(mktemp -d)"
  trap 'rm -rf "$scratch"; rm -f /dev/shm/rowtick-sparse-1e' EXIT
fi

measure() {  # LABEL COMMAND...: one line with the time, the peak memory and the output's start
  local label="$1"
  shift
  /usr/bin/time -v -o "$scratch/time.txt" "$@" >"$scratch/out.txt"
  local elapsed peak
  elapsed="$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$scratch/time.txt")"
  peak="$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$scratch/time.txt")"
  printf '%-34s %10s  peak %8.1f MiB  %s\n' "$label" "$elapsed" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" \
    "$(head -c 60 "$scratch/out.txt" | tr '\t\r\n' '   ')"
}

truncate -s 5G "$scratch/sparse-5g"
head -c 1073741824 /dev/zero | tr '\0' 'x' >"$scratch/one-line-1g"
# Into the page cache first: the first read of a hole makes its zeroed pages,
# which here costs cat as much as anything (about 2 s a GiB).
cat "$scratch/sparse-5g" "$scratch/one-line-1g" >/dev/null

for file in sparse-5g one-line-1g; do
  measure "rowtick-rows $file" "$build/bench/rowtick-rows" "$scratch/$file"
  measure "cat $file >/dev/null" sh -c 'exec cat "$1" >/dev/null' sh "$scratch/$file"
done

seconds() {  # COMMAND...: the wall time of one run, in seconds (the shell's own clock: no process to read it)
  local start end
  start=$EPOCHREALTIME
  "$@" >/dev/null
  end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() {  # LABEL FILE: rowtick-rows and cat alternated, the medians and their ratio
  local ours=() theirs=() i
  for ((i = 0; i < ${ROUNDS:-7}; i++)); do
    ours+=("$(seconds "$build/bench/rowtick-rows" "$2")")
    theirs+=("$(seconds cat "$2")")
  done
  local a b
  a="$(printf '%s\n' "${ours[@]}" | median)"
  b="$(printf '%s\n' "${theirs[@]}" | median)"
  printf '%-34s rowtick-rows %8.4f s  cat %8.4f s  ratio %.3f\n' "$1" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN { print a / b }')"
}

truncate -s 4G "$scratch/sparse-4g-tail"
printf 'one\ntwo\nthree\n' | dd of="$scratch/sparse-4g-tail" bs=1 seek=$((4 * 1024 * 1024 * 1024 - 14)) conv=notrunc status=none
cat "$scratch/sparse-4g-tail" >/dev/null
ratio "4 GiB sparse, three lines at its end" "$scratch/sparse-4g-tail"
ratio "1 GiB dense" "$scratch/one-line-1g"
rm -f "$scratch/sparse-5g" "$scratch/one-line-1g" "$scratch/sparse-4g-tail"
if [[ "$(stat -f -c %T /dev/shm 2>/dev/null)" == tmpfs ]]; then
  truncate -s 1E /dev/shm/rowtick-sparse-1e
  measure "rowtick-rows 1 EiB sparse (tmpfs)" "$build/bench/rowtick-rows" /dev/shm/rowtick-sparse-1e
  rm -f /dev/shm/rowtick-sparse-1e
fi

echo "100,000 targets through the window:"
measure "rowtick-many-targets (whole process)" "$build/bench/rowtick-many-targets" "$scratch/many" 100000
cat "$scratch/out.txt"
