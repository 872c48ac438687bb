#!/usr/bin/env bash
# Tests of apt-archive.sh on made-up apt folders (the archives named here are
# local file: folders, so no archive host is written here), and that setup.sh
# names no archive of its own.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

# check <name> <expected output or "FAIL"> <suite> : runs on $scratch/<name>.
check() {
  local name=$1 want=$2 suite=$3 got status
  got=$(ZELK_APT_ETC=$scratch/$name bash "$here/apt-archive.sh" "$suite" 2>"$scratch/$name.err")
  status=$?
  if [[ $want == FAIL ]]; then
    if [[ $status -ne 1 || -n $got ]] || ! grep -q "\"$suite\"" "$scratch/$name.err"; then
      echo "FAIL $name: wanted exit 1 and a message naming $suite; got $status, '$got'," \
        "'$(cat "$scratch/$name.err")'"
      failures=$((failures + 1))
    fi
  elif [[ $status -ne 0 || $got != "$want" ]]; then
    echo "FAIL $name: wanted '$want', got $status '$got' ($(cat "$scratch/$name.err"))"
    failures=$((failures + 1))
  fi
}

mkdir -p "$scratch"/{deb822,oneline,disabled,none,own}/sources.list.d

# The security archive comes first; the suite's own stanza is the one taken,
# with its key; a continued Signed-By (an embedded key) is not a path.
cat >"$scratch/deb822/sources.list.d/debian.sources" <<'TXT'
# the machine's archives
Types: deb
URIs: file:/srv/security/debian-security
Suites: bookworm-security
Components: main

Types: deb deb-src
URIs: file:/srv/mirror/debian file:/srv/second/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/example.gpg
TXT
check deb822 "file:/srv/mirror/debian bookworm /usr/share/keyrings/example.gpg" bookworm
check deb822 "file:/srv/mirror/debian bookworm-updates /usr/share/keyrings/example.gpg" \
  bookworm-updates
check deb822 FAIL bullseye

# One-line entries, options and all.
cat >"$scratch/oneline/sources.list" <<'TXT'
# deb file:/srv/commented/debian bookworm main
deb [arch=amd64 signed-by=/etc/apt/keyrings/k.gpg] file:/srv/mirror/debian bookworm-security main
deb [arch=amd64 signed-by=/etc/apt/keyrings/k.gpg] file:/srv/mirror/debian bookworm main
deb file:/srv/plain/debian trixie main contrib
TXT
check oneline "file:/srv/mirror/debian bookworm /etc/apt/keyrings/k.gpg" bookworm
check oneline "file:/srv/plain/debian trixie" trixie

# A disabled stanza is passed over, and the entry setup.sh writes is never
# read back.
cat >"$scratch/disabled/sources.list.d/a.sources" <<'TXT'
Enabled: no
Types: deb
URIs: file:/srv/off/debian
Suites: bookworm
TXT
cat >"$scratch/disabled/sources.list.d/b.sources" <<'TXT'
Types: deb
URIs: file:/srv/on/debian
Suites: bookworm
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 -----END PGP PUBLIC KEY BLOCK-----
TXT
check disabled "file:/srv/on/debian bookworm" bookworm
cat >"$scratch/own/sources.list.d/zelkwaf-deb-src.sources" <<'TXT'
Types: deb-src
URIs: file:/srv/written/debian
Suites: bookworm
TXT
check own FAIL bookworm
check none FAIL bookworm

if grep -nE '[a-z]+://' "$here/setup.sh"; then
  echo "FAIL setup.sh names an archive of its own"
  failures=$((failures + 1))
fi

((failures == 0)) && echo "apt-archive: all checks passed"
exit $((failures > 0))
