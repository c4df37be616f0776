#!/bin/sh
# Makes ROOT a Debian 11 (bullseye) system of architecture ARCH with
# debootstrap, once: the sysroot the portable programs are built against
# (cmake/sysroot.cmake) and the older system the tests run them in, through
# chroot. Debian 11's JDK 17 is unpacked into it, not installed: nothing in
# the root finds it (it is not on PATH), and mksetup takes it from outside
# as ROOT/usr/lib/jvm/java-17-openjdk-ARCH. A root of another architecture
# is made through qemu-user (binfmt_misc must be set up first).
#
# usage: scripts/make-debian11-root.sh ARCH ROOT [PACKAGE...]
#   PACKAGE: what the root needs beyond the libraries and headers of a build
set -eu
arch=${1:?usage: $0 ARCH ROOT [PACKAGE...]}
root=${2:?usage: $0 ARCH ROOT [PACKAGE...]}
shift 2
mirror=http://deb.debian.org/debian
# Headers and libraries of the builds (GCC 10's libstdc++ and libgcc with
# it), then what the caller asks for.
packages="libc6-dev libstdc++-10-dev zlib1g-dev libmotif-dev libzip-dev libgtest-dev libgmock-dev $*"
jdk_packages="openjdk-17-jre-headless openjdk-17-jdk-headless"
# What the root was made with: another list makes it again.
want=$(echo bullseye "$arch" $packages / $jdk_packages)
if [ "$(cat "$root/.bramlet-root" 2>/dev/null)" = "$want" ]; then
  exit 0
fi
fail() { echo "make-debian11-root: $*" >&2; exit 1; }
command -v debootstrap >/dev/null || fail "debootstrap is not installed"

echo "Making a Debian 11 root for $arch in $root (debootstrap)"
new=$root.new
rm -rf "$new"
mkdir -p "$(dirname "$root")"
list=$(echo "$packages" | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
debootstrap --variant=minbase --arch="$arch" --include="$list" bullseye "$new" "$mirror" >"$new.log" 2>&1 ||
  { tail -n 20 "$new.log" >&2; fail "debootstrap failed (the whole log: $new.log)"; }
rm -f "$new.log"

# Runs a command inside the new root, with /proc and /dev mounted for it in
# a mount namespace of its own: they go when it ends, however it ends.
in_root() {
  unshare --mount --propagation private /bin/sh -c '
    root=$1
    shift
    mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && exec chroot "$root" "$@"' sh "$new" "$@"
}

# The locales the tests run under, as "name input charmap", where the root
# is to run them (its caller asks for the locales package).
case " $* " in
  *" locales "*)
    while read -r name input charmap; do
      in_root localedef -i "$input" -f "$charmap" "$name" 2>/dev/null || [ $? -eq 1 ] ||
        fail "can't make the locale $name"
    done <<EOF
es_ES es_ES ISO-8859-1
es_ES.UTF-8 es_ES UTF-8
ja_JP.eucjp ja_JP EUC-JP
ja_JP.UTF-8 ja_JP UTF-8
en_US.UTF-8 en_US UTF-8
en_GB en_GB ISO-8859-1
de_DE de_DE ISO-8859-1
EOF
    ;;
esac

# Debian 11's JDK, fetched by the root's own apt and unpacked beside the
# root's files.
cp /etc/resolv.conf "$new/etc/resolv.conf"
mkdir -p "$new/var/tmp/jdk-debs"
# shellcheck disable=SC2086
in_root /bin/sh -c "cd /var/tmp/jdk-debs && apt-get -qq update && apt-get -qq -o APT::Sandbox::User=root download $jdk_packages" ||
  fail "can't fetch $jdk_packages for $arch"
for deb in "$new"/var/tmp/jdk-debs/*.deb; do dpkg-deb -x "$deb" "$new"; done
rm -rf "$new/var/tmp/jdk-debs" "$new"/var/lib/apt/lists/*_dists_* "$new"/var/cache/apt/archives/*.deb

# Links that name their target from the root's "/" would lead outside it
# when the root is a sysroot (libz.so to /lib/…/libz.so.1.2.11, the JDK's
# jvm.cfg to /etc/…): they are made relative, which works both ways.
find "$new" -xdev -type l -lname "/*" | while read -r link; do
  ln -sfn "$(realpath -m -s --relative-to="$(dirname "$link")" "$new$(readlink "$link")")" "$link"
done

echo "$want" >"$new/.bramlet-root"
rm -rf "$root"
mv "$new" "$root"
