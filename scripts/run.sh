#!/usr/bin/env bash
# Sets up, builds and starts Tessel.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
exec build/tessel-cli --help
