#!/usr/bin/env bash
# Compiles the Windows version resource with the MinGW resource compiler and
# checks the compiled block holds the fields Windows shows for Rowtick.exe.
# Usage: check-windows-resource.sh RC_FILE
set -euo pipefail
rc="$1"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
x86_64-w64-mingw32-windres --input "$rc" --output-format coff --output "$out"
# String values are stored as UTF-16LE in the compiled resource.
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n'; }
dump="$(od -An -tx1 "$out" | tr -d ' \n')"
for text in 041104B0 Rowtick.exe OriginalFilename LegalTrademarks CompanyName Halvern 1.00; do
  grep -q "$(utf16 "$text")" <<<"$dump" || { echo "resource lacks $text" >&2; exit 1; }
done
echo "windows resource: ok"
