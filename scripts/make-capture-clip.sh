#!/usr/bin/env bash
# scripts/make-capture-clip.sh <file.dv> [seconds]
# Makes the DV clip the demo's test DV deck plays, with Debian's ffmpeg: PAL DV
# (720x576, 25 frames a second, 144 000-byte frames, no sound) of SMPTE colour
# bars with the timecode burnt in from 10:00:00:00, the same timecode recorded
# in each frame's subcode (which the deck's timecode reader reports).
set -euo pipefail
file=$1 seconds=${2:-4}
mkdir -p "$(dirname "$file")"
font=$(fc-match -f '%{file}' 'DejaVu Sans Mono:bold')
start=10:00:00:00
burn="drawtext=fontfile=$font:timecode='${start//:/\\:}':rate=25:fontsize=56:fontcolor=white"
burn+=":box=1:boxcolor=black:boxborderw=8:x=(w-tw)/2:y=h-th-40"
ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "smptebars=size=720x576:rate=25:duration=$seconds" \
  -vf "$burn" -timecode "$start" -c:v dvvideo -pix_fmt yuv420p -f dv -fflags +bitexact -flags:v +bitexact \
  "$file.part"
mv "$file.part" "$file"
