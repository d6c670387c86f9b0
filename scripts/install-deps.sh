#!/usr/bin/env bash
# Installs every Debian package the build, the tests (and every program they
# run: ImageMagick, netpbm, valgrind, the encoders) and the SWF checkers need.
set -euo pipefail
SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake pkg-config git ca-certificates \
  googletest libgtest-dev libgmock-dev libbenchmark-dev \
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libexif-dev libgif-dev libtiff-dev \
  libpugixml-dev libcurl4-openssl-dev \
  libfreetype-dev libfontconfig-dev fontconfig fonts-dejavu-core \
  libsndfile1-dev libflac-dev libmpg123-dev libsamplerate0-dev libmp3lame-dev mpg123 alsa-utils \
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev ffmpeg \
  flac lame \
  clang libclang-rt-dev valgrind \
  xdg-utils attr locales strace \
  chromium python3 python3-yaswfp \
  golang-1.19-src netpbm libimage-exiftool-perl libjpeg-turbo-progs \
  imagemagick libtiff-tools libheif-examples vorbis-tools opus-tools
