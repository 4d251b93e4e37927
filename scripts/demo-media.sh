#!/usr/bin/env bash
# scripts/demo-media.sh [build dir]: the media information of sample files that
# ffmpeg made, read by the built Pellux.dll's getMediaInfo through Wine's
# Media Detector.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-${BUILD_DIR:-$top/build}}" && pwd)
fixtures=$build/media-fixtures
[ -f "$fixtures/.made" ] || "$top/scripts/make-media-fixtures.sh" "$fixtures"

winpath() { local path=$1; echo "Z:${path//\//\\}"; }

echo "== Media information Pellux.dll reads (files made by ffmpeg, read through Wine's Media Detector)"
"$top/scripts/wine-run.sh" "$build/wine" demo-media "$build/tools/media-info/media-info.exe" \
  "$(winpath "$build/pellux/Pellux.dll")" "$(winpath "$fixtures/video-and-audio.avi")" \
  "$(winpath "$fixtures/pcm-u8-mono-11025.wav")" \
  2> >(grep -v -e 'GStreamer-CRITICAL' -e '^$' >&2)
