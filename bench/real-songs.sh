#!/usr/bin/env bash
# Real songs, the second test of the playing rules: fetches the Debian
# packages that bench/real-songs.list names (apt-get download, dpkg-deb -x,
# into a cache folder; never into the tree), checks each song's sha256, and
# compares ours and xmp against openmpt123 with `divergence --song`. Prints a
# table; a song is "ok" at a loudness correlation of 0.97 or at xmp's.
# Songs that differ get a channel-by-channel report below the table.
#
# Usage: bench/real-songs.sh [BUILD_DIR] [--cache DIR] [--channels] [--only PATTERN]
#   BUILD_DIR   the native build with bench/divergence (default: build)
#   --cache     where packages and songs are kept
#               (default: ${XDG_CACHE_HOME:-~/.cache}/introplayer-songs)
#   --channels  the channel-by-channel report for every song
#   --only      just the songs whose file name matches PATTERN (grep -E)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=build
cache=${XDG_CACHE_HOME:-$HOME/.cache}/introplayer-songs
channels=()
only=.
while [ $# -gt 0 ]; do
  case $1 in
    --cache) cache=$2; shift 2 ;;
    --channels) channels=(--channels); shift ;;
    --only) only=$2; shift 2 ;;
    -*) echo "usage: $0 [BUILD_DIR] [--cache DIR] [--channels] [--only PATTERN]" >&2; exit 2 ;;
    *) build=$1; shift ;;
  esac
done
divergence=$build/bench/divergence
[ -x "$divergence" ] || { echo "real-songs: $divergence not found (build the native tree first)" >&2; exit 2; }
for tool in openmpt123 xmp apt-get dpkg-deb sha256sum; do
  command -v "$tool" >/dev/null || { echo "real-songs: $tool is not installed (tools/install-deps.sh bench)" >&2; exit 2; }
done
mkdir -p "$cache/debs" "$cache/extract" "$cache/songs"

# 1. The songs, each fetched once and checked against its pin.
list=$(grep -v '^#' "$here/real-songs.list" | grep -E "$only" || true)
[ -n "$list" ] || { echo "real-songs: no song matches" >&2; exit 2; }
songs=()
while read -r sum package version path; do
  name=$package-$(basename "$path")
  song=$cache/songs/$name
  if [ ! -f "$song" ] || ! echo "$sum  $song" | sha256sum --quiet -c - 2>/dev/null; then
    if [ ! -d "$cache/extract/$package" ]; then
      echo "fetching $package $version" >&2
      (cd "$cache/debs" && apt-get download "$package=$version" >/dev/null 2>&1 ||
         apt-get download "$package" >/dev/null) ||
        { echo "real-songs: cannot download $package (apt-get update first?)" >&2; continue; }
      deb=$(ls -t "$cache/debs/${package}_"*.deb | head -1)
      dpkg-deb -x "$deb" "$cache/extract/$package"
    fi
    cp "$cache/extract/$package/$path" "$song" 2>/dev/null ||
      { echo "real-songs: $package has no $path" >&2; continue; }
    echo "$sum  $song" | sha256sum --quiet -c - 2>/dev/null ||
      { echo "real-songs: $name is not the pinned file (another package version?)" >&2; rm -f "$song"; continue; }
  fi
  songs+=("$song")
done <<<"$list"

# 2. Each song against the references.
echo "| song | seconds (ours / openmpt123) | loudness correlation: ours | xmp | pitch agreement: ours | xmp | |"
echo "|---|---|---|---|---|---|---|"
report=$(mktemp)
trap 'rm -f "$report"' EXIT
ok=0
i=0
for song in "${songs[@]}"; do
  i=$((i + 1))
  echo "[$i/${#songs[@]}] $(basename "$song")" >&2
  out=$("$divergence" --song "$song" "${channels[@]}") || { echo "| $(basename "$song") | cannot be rendered | | | | | |"; continue; }
  IFS=$'\t' read -r name ours ref r rxmp p pxmp verdict <<<"$(head -1 <<<"$out")"
  echo "| $name | $ours / $ref | $r | $rxmp | $p | $pxmp | $verdict |"
  [ "$verdict" = ok ] && ok=$((ok + 1))
  if [ "$(wc -l <<<"$out")" -gt 1 ]; then
    echo "$out" >>"$report"
  fi
done
echo
echo "$ok of ${#songs[@]} songs at 0.97 or at xmp's loudness correlation."
if [ -s "$report" ]; then
  echo
  echo "Channel by channel (each alone, ours against openmpt123):"
  cat "$report"
fi
