#!/usr/bin/env bash
# Huge inputs, each with its wall time and peak resident memory (GNU time):
# a 5 GiB sparse file and a file of one 1 GiB line counted by rowtick-rows
# (with cat beside each, the kernel's copy being the floor), and 100,000
# targets through the window: the drop, the counting run and the save, each
# step timed by rowtick-many-targets itself.
# Usage: bench/measure-huge.sh BUILD_DIR [SCRATCH_DIR]
# The big files are deleted at the end; the 100,000 small ones are kept in a
# given SCRATCH_DIR for the next run, and deleted with a scratch folder of our own.
set -euo pipefail
build="${1:?build folder}"
if [[ -n "${2:-}" ]]; then
  scratch="$2"
  mkdir -p "$scratch"
  trap 'rm -f "$scratch/sparse-5g" "$scratch/one-line-1g"' EXIT
else
  scratch="$(mktemp -d)"
  trap 'rm -rf "$scratch"' EXIT
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
rm -f "$scratch/sparse-5g" "$scratch/one-line-1g"

echo "100,000 targets through the window:"
measure "rowtick-many-targets (whole process)" "$build/bench/rowtick-many-targets" "$scratch/many" 100000
cat "$scratch/out.txt"
