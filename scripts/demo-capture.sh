#!/usr/bin/env bash
# scripts/demo-capture.sh [build dir] [output folder]: capture through the
# built Pellux.dll and Wine's real capture graph, from test devices plugged
# into the demo's Wine prefix: a DV deck playing a DV clip of colour bars with
# burnt-in timecode (made by ffmpeg) and an audio input sending a 997 Hz tone.
# Writes the captured DV, one frame of it as a PNG (decoded by ffmpeg) and the
# sound as a WAV into the output folder (<build dir>/demo-capture by default).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-${BUILD_DIR:-$top/build}}" && pwd)
out=$(realpath -m "${2:-$build/demo-capture}")
clip=$build/capture-clip/colour-bars-timecode.dv
seconds=4
[ -f "$clip" ] || "$top/scripts/make-capture-clip.sh" "$clip"
mkdir -p "$out"
rm -f "$out/captured.dv" "$out/captured.wav" "$out/frame.png"

winpath() { local path=$1; echo "Z:${path//\//\\}"; }

echo "== Capture through Pellux.dll and Wine's capture graph (test devices: a DV deck playing a clip ffmpeg made, an audio input sending a 997 Hz tone)"
"$top/scripts/wine-run.sh" "$build/wine" demo-capture "$build/tools/capture-demo/capture-demo.exe" \
  "$(winpath "$build/pellux/Pellux.dll")" "$(winpath "$clip")" "$(winpath "$out")" "$seconds" \
  2> >(grep -v -e 'GStreamer-CRITICAL' -e '^$' >&2)

# One frame a second into the capture (or the last one), decoded on the host.
frames=$(( $(stat -c %s "$out/captured.dv") / 144000 ))
pick=$(( frames > 25 ? 25 : frames - 1 ))
ffmpeg -hide_banner -loglevel error -nostdin -y -i "$out/captured.dv" -vf "select=eq(n\\,$pick)" -frames:v 1 \
  "$out/frame.png"
echo "Frame $((pick + 1)) of the captured DV, decoded by ffmpeg: $out/frame.png"
echo "Captured DV: $out/captured.dv"
echo "Captured sound: $out/captured.wav ($(ffprobe -v error -show_entries stream=codec_name,sample_rate,channels:format=duration \
  -of default=noprint_wrappers=1:nokey=0 "$out/captured.wav" | tr '\n' ' '| sed 's/ $//'))"
