#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12. Idempotent: does
# nothing when everything is present. Run as root (or through sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3
  libpcre3-dev libgtest-dev googletest libgmock-dev libbenchmark-dev
  locales dpkg-dev clang-format
  # The fuzz targets: clang with libFuzzer (the runtime is in libclang-rt-14-dev).
  clang-14 libclang-rt-14-dev
  # Test data: real JPEG, PNG and GIF (ImageMagick's manual), PDF, DOCX and ZIP
  # (wheel) files that uploads must pass, and liblzma to read the web-shell set.
  imagemagick-6-doc libtasn1-doc python3-docx python3-pip-whl liblzma-dev
  # The nginx module: Debian's nginx and its module headers; curl and wrk as
  # clients (valgrind for the load script's instruction counts); Chromium (and CJK
  # fonts) to look at the block page.
  nginx nginx-dev curl wrk chromium fonts-wqy-zenhei valgrind
  # libyara: the reference the web-shell scanner's engine is compared with.
  libyara-dev
)
if [[ "${ZELK_SETUP_WINDOWS:-1}" == 1 ]]; then
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
             wine64 wine fonts-wine xvfb xauth fonts-wqy-zenhei imagemagick bzip2 make)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done

SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO="sudo"
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
  $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page (936, GBK) from a Chinese locale.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

# The Windows builds cross-compile PCRE from Debian's pcre3 source package
# (scripts/build-pcre-mingw.sh), which "apt-get source" fetches from a deb-src
# entry for the suite this machine runs. The entry names the archive the
# machine's own apt sources already use (scripts/apt-archive.sh); this script
# knows no archive of its own. Only that entry's index is updated.
if [[ "${ZELK_SETUP_WINDOWS:-1}" == 1 ]] && ! apt-cache showsrc pcre3 2>/dev/null | grep -q '^Package: pcre3'; then
  src_list=/etc/apt/sources.list.d/zelkwaf-deb-src.sources
  read -r uri suite signed_by < <(bash "$(dirname "$0")/apt-archive.sh") || {
    echo "setup: cannot add a deb-src entry for pcre3 (see above)" >&2
    exit 1
  }
  echo "setup: adding $src_list (deb-src $uri $suite main)" >&2
  {
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n' "$uri" "$suite"
    if [[ -n ${signed_by:-} ]]; then printf 'Signed-By: %s\n' "$signed_by"; fi
  } | $SUDO tee "$src_list" >/dev/null
  $SUDO apt-get -o DPkg::Lock::Timeout=600 -o Dir::Etc::sourcelist="$src_list" -o Dir::Etc::sourceparts=- \
    -o APT::Get::List-Cleanup=0 update -qq
fi
