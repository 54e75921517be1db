#!/usr/bin/env bash
# Builds the Debian package of a build tree and checks it as a distribution
# would: the AppStream metadata and the manual pages, then lintian, which
# must find no error and no warning.
#
#   scripts/package.sh [build-dir]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
scripts/build.sh "$dir"

appstreamcli validate --no-net data/*.metainfo.xml
for page in man/*.1; do
  # groff's own warnings and man's (for example lines too long to break)
  warnings="$(groff -man -ww -z "$page" 2>&1; MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  if [ -n "$warnings" ]; then
    echo "$page:"; echo "$warnings"; exit 1
  fi
done

rm -f "$dir"/tessel_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb="$(ls "$dir"/tessel_*.deb)"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
appstreamcli validate-tree --no-net "$tree"
echo "lintian $deb"
lintian --fail-on error,warning --display-info "$deb"
echo "package: $deb"
