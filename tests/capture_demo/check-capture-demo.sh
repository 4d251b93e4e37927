#!/usr/bin/env bash
# check-capture-demo.sh <build dir> <output folder>: runs scripts/demo-capture.sh
# and checks what it captured, with ffmpeg on the host.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$1 out=$2
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

"$top/scripts/demo-capture.sh" "$build" "$out" || fail "demo-capture.sh ended with status $?"

# The DV: whole PAL frames, as many as the program says it took, every one
# decoded by ffmpeg without an error.
dv=$out/captured.dv
size=$(stat -c %s "$dv" 2>/dev/null || echo 0)
frames=$((size / 144000))
[ "$size" -gt 0 ] && [ $((size % 144000)) -eq 0 ] || fail "captured.dv holds $size bytes, not whole DV frames"
errors=$(ffmpeg -hide_banner -loglevel error -nostdin -i "$dv" -f null - 2>&1)
decoded=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,width,height,codec_name \
  -of default=noprint_wrappers=1 "$dv" 2>&1 | tr '\n' ' ')
if [ "$frames" -ge 50 ] && [ -z "$errors" ] &&
   [ "$decoded" = "codec_name=dvvideo width=720 height=576 nb_read_frames=$frames " ]; then
  pass "$frames DV frames decode ($decoded)"
else
  fail "the captured DV: $frames frames by size, ffprobe: $decoded, errors: ${errors:-none}"
fi

# The PNG shows the clip's colour bars: the colour at the middle of each bar.
rgbAt() {  # rgbAt <x> <y>: "r g b" of the PNG's pixel
  ffmpeg -hide_banner -loglevel error -nostdin -i "$out/frame.png" -vf "crop=1:1:$1:$2" -f rawvideo -pix_fmt rgb24 - \
    | od -An -tu1 | xargs
}
near() {  # near "r g b" "r g b": every channel within 40
  local a=($1) b=($2) i
  [ ${#a[@]} -eq 3 ] || return 1
  for i in 0 1 2; do
    local d=$((a[i] - b[i]))
    [ ${d#-} -le 40 ] || return 1
  done
}
bars=("191 191 191" "191 191 0" "0 191 191" "0 191 0" "191 0 191" "191 0 0" "0 0 191")
names=(grey yellow cyan green magenta red blue)
matched=0
for i in "${!bars[@]}"; do
  x=$((52 + i * 104))
  seen=$(rgbAt "$x" 150)
  if near "$seen" "${bars[i]}"; then matched=$((matched + 1)); else fail "the ${names[i]} bar at x=$x is ($seen)"; fi
done
[ "$matched" -eq 7 ] && pass "frame.png shows the seven colour bars"

# The WAV: 48 kHz 16-bit stereo PCM, more than two seconds of a 1 kHz tone
# (2000 zero crossings a second: a rate of 1/24 per sample) at half scale.
wav=$out/captured.wav
format=$(ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 "$wav" 2>&1)
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$wav" 2>&1)
stats=$(ffmpeg -hide_banner -nostdin -i "$wav" -af astats -f null - 2>&1)
crossings=$(sed -n 's/.*Zero crossings rate: //p' <<<"$stats" | head -1)
peak=$(sed -n 's/.*Peak level dB: //p' <<<"$stats" | tail -1)
if [ "$format" = "pcm_s16le,48000,2" ] && awk -v d="$duration" -v z="$crossings" -v p="$peak" \
     'BEGIN { exit !(d > 2 && z > 0.040 && z < 0.0435 && p > -7 && p < -5) }'; then
  pass "captured.wav: $format, $duration s, zero crossings rate $crossings, peak $peak dB"
else
  fail "captured.wav: ${format:-unreadable}, ${duration:-?} s, zero crossings rate ${crossings:-?}, peak ${peak:-?} dB"
fi

[ "$failures" -eq 0 ] && echo "capture demo: all checks passed" || echo "capture demo: $failures check(s) failed"
[ "$failures" -eq 0 ]
