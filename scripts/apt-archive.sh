#!/usr/bin/env bash
# Prints the package archive this machine's apt already uses for a suite, as
#
#   URI SUITE [SIGNED-BY]
#
# taken from the machine's own sources: the deb822 files
# /etc/apt/sources.list.d/*.sources (a stanza whose Types include deb or
# deb-src and whose Suites name the suite; Enabled: no stanzas are passed
# over) and then the one-line "deb" / "deb-src" entries of
# /etc/apt/sources.list. The file setup.sh writes (zelkwaf-deb-src.sources)
# is not read. Never names an archive of its own: when the sources name
# none, says so and exits 1.
#
#   scripts/apt-archive.sh [suite]    (default: VERSION_CODENAME of /etc/os-release)
#
# ZELK_APT_ETC names a folder to read in place of /etc/apt (for the test).
set -euo pipefail

suite=${1:-}
if [[ -z $suite ]]; then
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
fi
if [[ -z $suite ]]; then
  echo "$0: no suite given and none in /etc/os-release" >&2
  exit 2
fi
etc=${ZELK_APT_ETC:-/etc/apt}

found=""
shopt -s nullglob
for file in "$etc"/sources.list.d/*.sources; do
  [[ $(basename "$file") == zelkwaf-deb-src.sources ]] && continue
  found=$(awk -v suite="$suite" '
    function flush() {
      if (!done && enabled && types ~ /(^| )deb(-src)?( |$)/ && uri != "" &&
          index(" " suites " ", " " suite " ")) {
        print uri " " suite (signed != "" ? " " signed : ""); done = 1; exit
      }
      types = ""; suites = ""; uri = ""; signed = ""; enabled = 1
    }
    BEGIN { enabled = 1 }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { next }                 # a continued field (an embedded key)
    {
      name = tolower($1); sub(/:$/, "", name)
      value = $0; sub(/^[^:]*:[ \t]*/, "", value); sub(/[ \t]+$/, "", value)
      if (name == "types") types = value
      else if (name == "suites") suites = value
      else if (name == "uris") { split(value, u, /[ \t]+/); uri = u[1] }
      else if (name == "signed-by" && value ~ /^\//) signed = value
      else if (name == "enabled") enabled = (tolower(value) != "no")
    }
    END { flush() }' "$file")
  [[ -n $found ]] && break
done

if [[ -z $found && -f $etc/sources.list ]]; then
  found=$(awk -v suite="$suite" '
    $1 == "deb" || $1 == "deb-src" {
      signed = ""; i = 2
      if ($2 ~ /^\[/) {                 # [option=value ...]
        for (; i <= NF; i++) {
          if ($i ~ /^\[?signed-by=/) { s = $i; sub(/^\[?signed-by=/, "", s); sub(/\]$/, "", s); signed = s }
          if ($i ~ /\]$/) { i++; break }
        }
      }
      if ($(i + 1) == suite) { print $i " " suite (signed != "" ? " " signed : ""); exit }
    }' "$etc/sources.list")
fi

if [[ -z $found ]]; then
  echo "$0: no deb entry for the suite \"$suite\" in $etc/sources.list.d/*.sources or $etc/sources.list;" \
    "add the archive this machine uses there first" >&2
  exit 1
fi
echo "$found"
