#!/usr/bin/env bash
# Times the threaded counting run with one worker and with one per core, over
# every regular file under /usr/include and over 100,000 generated small files.
# Usage: bench/measure-job.sh BUILD_DIR [SCRATCH_DIR]
set -euo pipefail
build="${1:?build folder}"
scratch="${2:-$(mktemp -d)}"
tool="$build/bench/rowtick-job-time"

find /usr/include -type f > "$scratch/include.list"
if [[ ! -d "$scratch/small" ]]; then
  python3 "$(dirname "$0")/make-small-files.py" "$scratch/small" 100
fi
find "$scratch/small" -type f > "$scratch/small.list"

for list in include small; do
  xargs -a "$scratch/$list.list" -d '\n' cat >/dev/null 2>&1 || true   # into the page cache
  one=() all=()
  for round in 1 2 3 4 5; do
    one+=("$("$tool" "$scratch/$list.list" 1 1 | cut -d' ' -f1)")
    all+=("$("$tool" "$scratch/$list.list" 0 1 | cut -d' ' -f1)")
  done
  python3 - "$list" "$(wc -l < "$scratch/$list.list")" "${one[*]}" "${all[*]}" <<'PY'
import statistics, sys
name, files, one, all_ = sys.argv[1], int(sys.argv[2]), [float(x) for x in sys.argv[3].split()], [float(x) for x in sys.argv[4].split()]
m1, ma = statistics.median(one), statistics.median(all_)
print(f"{name}: {files} files  1 worker {m1:.3f} s  all workers {ma:.3f} s  ratio all/one {ma/m1:.2f}")
PY
done
