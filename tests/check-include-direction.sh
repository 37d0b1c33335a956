#!/usr/bin/env bash
# The core's includes run one way: saving may use counting and targets,
# counting may use targets, targets use neither; what the rooms share, at the
# top of core/, uses no room. Prints every include that runs back and fails.
# Usage: check-include-direction.sh CORE_DIR
set -euo pipefail
core="$1"
[[ -d "$core/targets" && -d "$core/counting" && -d "$core/saving" ]] || { echo "no rooms under $core" >&2; exit 2; }

# Rooms a file in the given folder may not name in an include.
forbidden() {
  case "$1" in
    targets) echo 'counting|saving' ;;
    counting) echo 'saving' ;;
    saving) echo '' ;;
    top) echo 'targets|counting|saving' ;;
  esac
}

status=0
checked=0
while IFS= read -r -d '' file; do
  relative="${file#"$core"/}"
  room=top
  [[ "$relative" == */* ]] && room="${relative%%/*}"
  rooms="$(forbidden "$room")"
  checked=$((checked + 1))
  [[ -n "$rooms" ]] || continue
  back="$(grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]([^\">]*/)?($rooms)/" "$file" || true)"
  if [[ -n "$back" ]]; then
    while IFS= read -r line; do
      echo "$relative:$line: runs back from ${room/#top/the shared files}" >&2
    done <<<"$back"
    status=1
  fi
done < <(find "$core" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
[[ $checked -gt 0 ]] || { echo "no sources under $core" >&2; exit 2; }
[[ $status -eq 0 ]] && echo "include direction: $checked files, all one way"
exit $status
