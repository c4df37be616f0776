#!/bin/sh
# Installs what building and testing the launcher needs on Debian 12, and
# generates the locales the tests run under. Does nothing that is already done.
set -eu

# Packages, by purpose: build, tests (X server, Motif at run time, archive
# tools, a JDK, man pages and time zones), fuzzing, benchmarks, screenshots,
# the Debian 11 root (debootstrap) and the Debian package (file and
# dpkg-shlibdeps); the libraries and fonts that a jlink'd runtime's Swing
# window needs (Japanese text included); the desktop's tools that check and
# open an installed application's desktop entries and file types; Maven with the plugins that build
# the tests' Maven application offline from Debian's repository (junit5
# for a BOM that plexus-compiler's POM imports) and its one dependency;
# junit5's console launcher runs the kit's unit tests too.
packages="build-essential cmake ninja-build ccache pkg-config zlib1g-dev nasm libmotif-dev libgtest-dev python3
  xvfb xfonts-base libxm4 xdotool x11-utils x11-apps imagemagick zip unzip locales util-linux
  openjdk-17-jdk-headless clang libclang-rt-14-dev libarchive-tools libzip-dev man-db tzdata strace
  debootstrap file dpkg-dev libx11-6 libxext6 libxi6 libxrender1 libxtst6 libfreetype6 libharfbuzz0b libfontconfig1
  fonts-dejavu-core fonts-vlgothic desktop-file-utils shared-mime-info libglib2.0-bin
  maven libmaven-compiler-plugin-java libmaven-resources-plugin-java libmaven-jar-plugin-java
  libmaven-dependency-plugin-java junit5 libcommons-lang3-java"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  # shellcheck disable=SC2086
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends $missing >/dev/null
fi

# ISA-L, the faster inflater linked statically into the launchers, is built
# from Debian's source package, unpacked once into a cache that every build
# tree shares (CMake looks there). Without it, or without the network, the
# build uses zlib alone.
isal_dir=${XDG_CACHE_HOME:-$HOME/.cache}/bramlet/isal
if [ ! -f "$isal_dir/include/igzip_lib.h" ]; then
  if ! apt-cache showsrc libisal 2>/dev/null | grep -q '^Package: libisal'; then
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' 'Components: main' \
      'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >/etc/apt/sources.list.d/bramlet-deb-src.sources
    apt-get -o DPkg::Lock::Timeout=600 update -qq || true
  fi
  mkdir -p "$(dirname "$isal_dir")"
  fetch=$(mktemp -d "$isal_dir.XXXXXX")
  # Unpacked aside and renamed into place, so that no build sees half a tree.
  if (cd "$fetch" && apt-get source -qq libisal >/dev/null 2>&1) &&
    mv -T "$(find "$fetch" -mindepth 1 -maxdepth 1 -type d | head -n 1)" "$isal_dir" 2>/dev/null; then
    echo "Fetched ISA-L's source into $isal_dir"
  else
    echo "Couldn't fetch ISA-L's source (apt-get source libisal): the build uses zlib alone" >&2
  fi
  rm -rf "$fetch"
fi

# A Debian 11 root, the sysroot the portable launchers are built against
# (cmake/x86_64-linux-gnu.cmake) and the older system the tests run them
# in, with what those tests use there.
"$(dirname "$0")/make-debian11-root.sh" amd64 /var/cache/bramlet/debian11-amd64 python3 locales strace zip unzip

# Locales as "name charmap" (locale.gen syntax); the names are what the
# tests set LANG to, or what glibc finds those names under.
have() { locale -a 2>/dev/null | grep -qix "$1"; }
generated=""
gen() {  # gen NAME INPUT CHARMAP
  if ! have "$1"; then
    localedef -i "$2" -f "$3" "$1" 2>/dev/null || [ $? -eq 1 ]
    generated="$generated $1"
  fi
}
gen es_ES es_ES ISO-8859-1
gen es_ES.iso88591 es_ES ISO-8859-1
gen es_ES.utf8 es_ES UTF-8
gen ja_JP.eucjp ja_JP EUC-JP
gen ja_JP.utf8 ja_JP UTF-8
gen de_DE de_DE ISO-8859-1
gen de_DE.iso88591 de_DE ISO-8859-1
gen de_DE@euro de_DE@euro ISO-8859-15
gen zh_TW.big5 zh_TW BIG5
gen fr_CA fr_CA ISO-8859-1
gen en_GB en_GB ISO-8859-1
gen en_US.utf8 en_US UTF-8
# Bare names, and a language and country that no table of the launcher knows.
gen ja ja_JP EUC-JP
gen es es_ES ISO-8859-1
gen xx_YY en_US ISO-8859-1
[ -z "$generated" ] || echo "Generated locales:$generated"
