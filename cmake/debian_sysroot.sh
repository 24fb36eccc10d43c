#!/bin/sh
# debian_sysroot.sh ARCH DIR: the libraries that the program and its tests are built against and
# run with, for the Debian architecture ARCH, unpacked from Debian's own packages into DIR, a
# sysroot for clang and qemu-user; for i386, only the libraries that g++-multilib lacks. Unpacked
# rather than installed, for a foreign architecture's libraries can only be installed at the very
# versions the machine's own have, which the archive does not always hold for every architecture
# (a mirror whose security index for it is out of step, say). Needs ARCH added to dpkg
# (dpkg --add-architecture ARCH) and its package lists (apt-get update); makes DIR once.
set -eu
arch=$1
dir=$2
[ -f "$dir/.complete" ] && exit 0
libraries="libreadline8 libreadline-dev libtinfo6 libgtest-dev"
# 32-bit x86 takes its C and C++ libraries from g++-multilib, and only these from here.
if [ "$arch" = i386 ]; then
  packages=$libraries
else
  packages="libc6 libc6-dev linux-libc-dev libgcc-s1 libgcc-12-dev libstdc++6 libstdc++-12-dev
            $libraries"
fi
rm -rf "$dir"
mkdir -p "$dir/debs"
cd "$dir/debs"
wanted=""
for package in $packages; do wanted="$wanted $package:$arch"; done
# shellcheck disable=SC2086
apt-get download -q -o APT::Sandbox::User=root $wanted >/dev/null
for deb in *.deb; do
  dpkg-deb -x "$deb" ..
done
cd ..
rm -rf debs
# The packages' links that name a file by its absolute path, as installed, name it in DIR.
find . -type l | while read -r link; do
  target=$(readlink "$link")
  case $target in
    /*) ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" ".$target")" "$link" ;;
  esac
done
touch .complete
