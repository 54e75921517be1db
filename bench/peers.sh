# Sourced by the benchmark scripts: installs the peer tools they compare
# against when missing (Debian 12, as root).
need_package() {  # command, package
  command -v "$1" >/dev/null && return
  echo "installing $2 for $1" >&2
  apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$2" >/dev/null
}
need_package vips libvips-tools
need_package convert imagemagick
/usr/bin/python3 -c 'import PIL' 2>/dev/null || need_package /usr/lib/python3/dist-packages/PIL/Image.py python3-pil
