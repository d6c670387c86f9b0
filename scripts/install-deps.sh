#!/usr/bin/env bash
# Installs the Debian packages the program needs to build and run. With
# --tests, also what only the tests and benchmarks use: GoogleTest, Google
# Benchmark, the sanitizers' runtime, valgrind, the SWF checkers' Chromium
# and Python, and every program the tests run (ImageMagick, netpbm, the
# encoders).
set -euo pipefail
tests=0
for arg in "$@"; do
  case "$arg" in
    --tests) tests=1 ;;
    *) echo "usage: $0 [--tests]" >&2; exit 1 ;;
  esac
done
program=(
  build-essential cmake pkg-config
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libexif-dev libgif-dev libtiff-dev
  libpugixml-dev libcurl4-openssl-dev
  libfreetype-dev libfontconfig-dev fontconfig fonts-dejavu-core
  libsndfile1-dev libflac-dev libmpg123-dev libmp3lame-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
)
testing=(
  git ca-certificates
  googletest libgtest-dev libgmock-dev libbenchmark-dev libsamplerate0-dev
  mpg123 alsa-utils ffmpeg flac lame twolame sox
  clang libclang-rt-dev valgrind
  xdg-utils attr locales strace
  chromium python3 python3-yaswfp
  golang-1.19-src netpbm libimage-exiftool-perl libjpeg-turbo-progs
  imagemagick graphicsmagick libtiff-tools libheif-examples vorbis-tools opus-tools
)
packages=("${program[@]}")
if [ "$tests" = 1 ]; then packages+=("${testing[@]}"); fi
SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${packages[@]}"
