#!/usr/bin/env bash
# Regenerates pgraphic/core/special252_table.cpp from the fixed 252-colour palette.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++20 -O2 -Wall -Wextra -I. scripts/gen_special252.cpp -o "$tmp/gen_special252"
"$tmp/gen_special252" pgraphic/core/special252_table.cpp
