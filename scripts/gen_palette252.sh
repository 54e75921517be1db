#!/usr/bin/env bash
# Regenerates pgraphic/core/palette252_table.cpp from the fixed 252-colour palette.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++20 -O2 -Wall -Wextra -I. scripts/gen_palette252.cpp -o "$tmp/gen_palette252"
"$tmp/gen_palette252" pgraphic/core/palette252_table.cpp
