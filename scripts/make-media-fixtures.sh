#!/usr/bin/env bash
# scripts/make-media-fixtures.sh <folder>
# Makes the media files the media tests, the demo and the benchmark read, with
# Debian's ffmpeg: small, and byte for byte the same on every run (synthetic
# sources, -bitexact). Writes <folder>/.made last, so a half-made folder is
# made again.
set -euo pipefail
out=$1
mkdir -p "$out"
rm -f "$out/.made"

make() {  # make <file> <ffmpeg arguments...>
  local file=$1
  shift
  ffmpeg -hide_banner -loglevel error -nostdin -y "$@" -fflags +bitexact -flags:v +bitexact \
    -flags:a +bitexact "$out/$file"
}
tone() { echo "sine=frequency=440:sample_rate=$1:duration=$2"; }
picture() { echo "testsrc=size=$1:rate=$2:duration=$3"; }

# PCM WAV. (Wine reports a length of 0 for a 1-second 8-bit file, so 2 s.)
make pcm-u8-mono-11025.wav -f lavfi -i "$(tone 11025 2)" -ac 1 -c:a pcm_u8
make pcm-s16-stereo-48000.wav -f lavfi -i "$(tone 48000 1)" -ac 2 -c:a pcm_s16le
# Uncompressed 24-bit RGB AVI, 10 frames per second, 2.5 s.
make rgb24-2.5s.avi -f lavfi -i "$(picture 64x48 10 2.5)" -c:v rawvideo -pix_fmt bgr24
# An AVI with a video and an audio stream.
make video-and-audio.avi -f lavfi -i "$(picture 64x48 10 2)" -f lavfi -i "$(tone 22050 2)" \
  -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 1
# DV (PAL, 25 frames per second) with 48 kHz stereo sound, 0.4 s.
make dv-pal.avi -f lavfi -i "$(picture 720x576 25 0.4)" -f lavfi -i "$(tone 48000 0.4)" \
  -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2
# MPEG-1 video in an AVI, and an MPEG-1 program stream.
make mpeg1-video.avi -f lavfi -i "$(picture 64x48 25 1)" -c:v mpeg1video
make mpeg1-program.mpg -f lavfi -i "$(picture 64x48 25 1)" -c:v mpeg1video -f mpeg
# The RGB file again under a name with blanks and characters outside ASCII:
# "Clip d'été Ω.avi", written as bytes so that no locale is needed.
cp "$out/rgb24-2.5s.avi" "$out/$(printf 'Clip d\342\200\231\303\251t\303\251 \316\251.avi')"

touch "$out/.made"
