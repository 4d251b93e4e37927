#!/usr/bin/env bash
# check-capture-demo.sh <build dir> <output folder>: runs scripts/demo-capture.sh
# and checks what it captured against what the test devices sent, on the host
# (ffmpeg decodes). capture-demo writes the index of every DV frame and audio
# buffer it took; both devices send their first sample under index 1000, the
# deck the clip's frames in a loop, the line input a 997 Hz tone at half scale.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$1 out=$2
first_index=1000
dv_frame=144000
tone_hz=997
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Windows programs end their lines with CR LF.
log=$("$top/scripts/demo-capture.sh" "$build" "$out" | tr -d '\r')
status=$?
echo "$log"
[ "$status" -eq 0 ] || fail "demo-capture.sh ended with status $status"
clip=$build/capture-clip/colour-bars-timecode.dv

# printed <device>: "frames frame-size dropped" as capture-demo printed them.
printed() {
  sed -n "s/^$1 \".*\": \([0-9]*\) frames of \([0-9]*\) bytes in .*, dropped frames \([0-9]*\)\$/\1 \2 \3/p" <<<"$log"
}

# checkIndexes <what> <indexes file> <frames printed> <dropped printed>: one
# index for each frame, rising, its gaps the drops the program reported.
checkIndexes() {
  local what=$1 file=$2 frames=$3 dropped=$4 verdict
  verdict=$(awk -v frames="$frames" -v dropped="$dropped" '
    NR > 1 && $1 <= last { print "index " $1 " (line " NR ") does not follow " last; bad = 1; exit }
    NR > 1 { gaps += $1 - last - 1 }
    { last = $1 }
    END {
      if (bad) exit 1
      if (NR != frames) { print NR " indexes for " frames " frames printed"; exit 1 }
      if (gaps != dropped) { print "the indexes skip " gaps ", the program printed " dropped " dropped"; exit 1 }
    }' "$file" 2>&1)
  if [ $? -eq 0 ]; then pass "$what: $frames indexes, rising, skipping the $dropped printed as dropped"
  else fail "$what indexes: ${verdict:-$file is missing}"; fi
}

# timecodeOf <file> <frame>: the timecode pack of the frame's subcode
# (blocks 1 and 2 of its first DIF sequence) as HH:MM:SS:FF, or nothing.
timecodeOf() {
  od -An -tu1 -v -j $(($2 * dv_frame + 80)) -N 160 "$1" | awk '
    { for (i = 1; i <= NF; i++) b[n++] = $i }
    END {
      for (block = 0; block < 2; block++) for (sync = 0; sync < 6; sync++) {
        p = block * 80 + 6 + sync * 8
        if (b[p] == 19) { printf "%02x:%02x:%02x:%02x\n", b[p + 4] % 64, b[p + 3] % 128, b[p + 2] % 128, b[p + 1] % 64; exit }
      }
    }'
}

# The clip starts at 10:00:00:00, 25 frames a second.
timecodeOfClipFrame() {
  local total=$((10 * 3600 * 25 + $1))
  printf '%02d:%02d:%02d:%02d\n' $((total / 90000)) $((total / 1500 % 60)) $((total / 25 % 60)) $((total % 25))
}

# --- The DV: every frame is the clip's frame for its index, byte for byte,
# with the timecode of that clip position; as many as the program took.
dv=$out/captured.dv
read -r dv_frames dv_size dv_dropped <<<"$(printed 'DV deck')"
size=$(stat -c %s "$dv" 2>/dev/null || echo 0)
clip_frames=$(($(stat -c %s "$clip" 2>/dev/null || echo 0) / dv_frame))
if [ -z "${dv_frames:-}" ] || [ "$dv_size" != "$dv_frame" ]; then
  fail "capture-demo printed no DV capture of $dv_frame-byte frames"
elif [ "$size" -ne $((dv_frames * dv_frame)) ] || [ "$dv_frames" -lt 50 ]; then
  fail "captured.dv holds $size bytes, not the $dv_frames frames the program printed (at least 50)"
else
  pass "captured.dv holds the $dv_frames frames the program printed"
  checkIndexes "captured.dv" "$dv.indexes" "$dv_frames" "$dv_dropped"
  mismatched=0 wrong_timecode=0 frame=0
  while read -r index; do
    position=$(((index - first_index) % clip_frames))
    if ! cmp -s -n "$dv_frame" -i $((frame * dv_frame)):$((position * dv_frame)) "$dv" "$clip"; then
      [ "$mismatched" -lt 5 ] && echo "  frame $frame (index $index) is not the clip's frame $position"
      mismatched=$((mismatched + 1))
    fi
    seen=$(timecodeOf "$dv" "$frame") wanted=$(timecodeOfClipFrame "$position")
    if [ "$seen" != "$wanted" ]; then
      [ "$wrong_timecode" -lt 5 ] && echo "  frame $frame (index $index) carries timecode ${seen:-none}, not $wanted"
      wrong_timecode=$((wrong_timecode + 1))
    fi
    frame=$((frame + 1))
  done <"$dv.indexes"
  [ "$frame" -gt 0 ] && [ "$mismatched" -eq 0 ] && pass "each of the $frame DV frames is the clip's frame for its index" ||
    fail "$mismatched of $frame DV frames are not the clip's frame for their index"
  [ "$frame" -gt 0 ] && [ "$wrong_timecode" -eq 0 ] && pass "each DV frame's subcode timecode follows its index" ||
    fail "$wrong_timecode of $frame DV frames carry a timecode that does not follow their index"
fi
errors=$(ffmpeg -hide_banner -loglevel error -nostdin -i "$dv" -f null - 2>&1)
decoded=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,width,height,codec_name \
  -of default=noprint_wrappers=1 "$dv" 2>&1 | tr '\n' ' ')
if [ -z "$errors" ] && [ "$decoded" = "codec_name=dvvideo width=720 height=576 nb_read_frames=${dv_frames:-?} " ]; then
  pass "the DV frames decode ($decoded)"
else
  fail "the captured DV decodes as: $decoded, errors: ${errors:-none}"
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

# --- The WAV: 48 kHz 16-bit stereo PCM; each buffer is the tone at the phase
# its index gives (the device computes sample j of buffer n as
# 16383 sin(2 pi f (n * frames + j) / rate)), every sample within 1 of it: so
# the phase runs on unbroken from buffer to buffer where nothing was dropped.
wav=$out/captured.wav
read -r wav_buffers wav_size wav_dropped <<<"$(printed 'Audio input')"
format=$(ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 "$wav" 2>&1)
if [ "$format" != "pcm_s16le,48000,2" ] || [ -z "${wav_buffers:-}" ]; then
  fail "captured.wav: ${format:-unreadable}, buffers printed: ${wav_buffers:-none}"
else
  checkIndexes "captured.wav" "$wav.indexes" "$wav_buffers" "$wav_dropped"
  verdict=$(ffmpeg -hide_banner -loglevel error -nostdin -i "$wav" -f s16le -acodec pcm_s16le - | od -An -td2 -v |
    awk -v indexes="$wav.indexes" -v buffers="$wav_buffers" -v frames=$((wav_size / 4)) -v first="$first_index" \
        -v step="$(awk -v f="$tone_hz" 'BEGIN { printf "%.17g", 2 * atan2(0, -1) * f / 48000 }')" '
      BEGIN { while ((getline line < indexes) > 0) index_of[n++] = line }
      {
        for (i = 1; i <= NF; i++) {
          frame = int(samples / 2); buffer = int(frame / frames); j = frame % frames; samples++
          if (buffer >= n) continue
          wanted = 16383 * sin(step * ((index_of[buffer] - first) * frames + j))
          if ((d = $i - wanted) > 1.5 || d < -1.5) {
            if (!(buffer in broken) && reported++ < 5)
              printf "  buffer %d (index %d): sample %d is %d, the tone there is %.0f\n", buffer, index_of[buffer], j, $i, wanted
            broken[buffer] = 1
          }
        }
      }
      END {
        count = 0; for (b in broken) count++
        if (samples != buffers * frames * 2) { printf "%d samples, not %d buffers of %d frames\n", samples, buffers, frames; exit 1 }
        if (count > 0) { printf "%d of %d buffers are not the tone at the phase of their index\n", count, buffers; exit 1 }
        printf "%d buffers of %d frames, each the tone at the phase of its index\n", buffers, frames
      }' 2>&1)
  if [ $? -eq 0 ] && [ "$wav_buffers" -ge 16 ]; then pass "captured.wav: $format, $verdict"
  else fail "captured.wav: $format, $verdict"; fi
fi

[ "$failures" -eq 0 ] && echo "capture demo: all checks passed" || echo "capture demo: $failures check(s) failed"
[ "$failures" -eq 0 ]
