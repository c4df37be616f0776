#!/bin/sh
# Installs what cross-building for arm64 and testing under qemu-user needs on
# a Debian 12 x86_64 machine, and does nothing that is already done:
# - the cross binutils (clang compiles), the target's libraries beside the
#   host's (multiarch) for the tests under qemu, qemu-user, and a binfmt_misc
#   handler, so that arm64 programs start as they would on an arm64 machine;
# - a Debian 11 arm64 root (scripts/make-debian11-root.sh), the sysroot of
#   the build and the older system an arm64 installer is tried on;
# - Debian's arm64 JDK 17, unpacked into JDK_ROOT rather than installed:
#   installing it would bring the host's JDK to its version, under the feet of
#   whatever is running on it.
#
#   scripts/install-arm64-deps.sh JDK_ROOT   (the JDK's home is then
#                                             JDK_ROOT/usr/lib/jvm/java-17-openjdk-arm64)
set -eu
root=${1:?usage: $0 JDK_ROOT}
arch=arm64
qemu="qemu-aarch64"
fail() { echo "install-arm64-deps: $*" >&2; exit 1; }
# Others may be installing at the same time: wait for dpkg's lock.
apt() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"; }

# Host tools, and the target's libraries that the tests under qemu load
# (libzip for mksetup, libstdc++ for the JDK, Motif for graphical mode, and
# what a jlink'd runtime's Swing window loads for the kit's); the build
# takes its headers and libraries from the Debian 11 root.
packages="binutils-aarch64-linux-gnu qemu-user-static binfmt-support debootstrap
  libzip4:$arch zlib1g:$arch libxm4:$arch libstdc++6:$arch
  libx11-6:$arch libxext6:$arch libxi6:$arch libxrender1:$arch libxtst6:$arch libfreetype6:$arch
  libharfbuzz0b:$arch libfontconfig1:$arch"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
done
fresh=""
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  dpkg --add-architecture "$arch"
  fresh=yes
fi
if [ -n "$missing" ] || [ -n "$fresh" ]; then
  echo "Installing:$missing"
  # apt-get update waits for no lock: try again while another one runs.
  tries=0
  until apt update -qq; do
    tries=$((tries + 1))
    [ $tries -lt 30 ] || fail "apt-get update failed"
    sleep 10
  done
  # shellcheck disable=SC2086
  apt install -y -qq --no-install-recommends $missing >/dev/null
fi

# Containers may lack binfmt_misc, or have the handler off.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e $binfmt/register ]; then
  mount -t binfmt_misc binfmt_misc $binfmt 2>/dev/null ||
    fail "can't mount binfmt_misc on $binfmt (a container without the right to: run the tests on a host or a privileged container)"
fi
if [ -e $binfmt/$qemu ]; then
  grep -qx enabled $binfmt/$qemu || echo 1 >$binfmt/$qemu
else
  # Registered with the kernel by update-binfmts, which the package's
  # installation could not do without binfmt_misc.
  update-binfmts --import $qemu >/dev/null 2>&1 || true
  update-binfmts --enable $qemu >/dev/null 2>&1 || true
fi
grep -qx enabled $binfmt/$qemu 2>/dev/null || fail "no binfmt_misc handler $qemu: arm64 programs can't start"

"$(dirname "$0")/make-debian11-root.sh" $arch /var/cache/bramlet/debian11-$arch

# The JDK: unpacked, its absolute links into /etc (lib/jvm.cfg among them)
# turned to the unpacked files, since the host holds only its own
# architecture's.
home=$root/usr/lib/jvm/java-17-openjdk-$arch
if [ ! -x "$home/bin/jlink" ]; then
  echo "Unpacking openjdk-17-jdk-headless:$arch into $root"
  rm -rf "$root.new"
  mkdir -p "$root.new/debs"
  (cd "$root.new/debs" && apt-get -o APT::Sandbox::User=root download -qq "openjdk-17-jre-headless:$arch" "openjdk-17-jdk-headless:$arch")
  for deb in "$root.new"/debs/*.deb; do dpkg-deb -x "$deb" "$root.new"; done
  rm -rf "$root.new/debs"
  find "$root.new" -type l | while read -r link; do
    target=$(readlink "$link")
    case $target in
      /*) if [ -e "$root.new$target" ] || [ -L "$root.new$target" ]; then ln -sfn "$root$target" "$link"; fi ;;
    esac
  done
  rm -rf "$root"
  mv "$root.new" "$root"
fi
