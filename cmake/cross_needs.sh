#!/bin/sh
# cross_needs.sh ARCH: on Debian, stops make cross ARCH=... before it starts, with one line that
# names what the machine lacks for it, rather than leaving a compiler check to fail at length.
# Elsewhere (no dpkg) it says nothing.
set -eu
arch=$1
command -v dpkg-query >/dev/null 2>&1 || exit 0
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }
missing=""
steps=""
if [ "$arch" = i386 ]; then
  wanted="g++-multilib"
else
  wanted="clang qemu-user"
  if command -v dpkg-architecture >/dev/null 2>&1; then
    wanted="$wanted binutils-$(dpkg-architecture -a"$arch" -qDEB_HOST_GNU_TYPE 2>/dev/null)"
  else
    wanted="$wanted dpkg-dev"
  fi
fi
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  steps="dpkg --add-architecture $arch && apt-get update && "
elif ! apt-cache show "libreadline8:$arch" >/dev/null 2>&1; then
  steps="apt-get update && "
fi
for package in $wanted; do installed "$package" || missing="$missing $package"; done
[ -z "$missing" ] && [ -z "$steps" ] && exit 0
[ -n "$missing" ] && steps="${steps}apt-get install$missing" || steps="${steps% && }"
echo "make cross ARCH=$arch needs, as root: $steps" >&2
exit 1
