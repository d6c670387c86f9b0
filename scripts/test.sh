#!/usr/bin/env bash
# Installs what is needed and runs every test twice: on a build with the
# sanitizers and on the Release build users make. Then the rows that take
# pictures, movies and sounds through the outside libraries (FFmpeg, libjpeg,
# libpng, libtiff, giflib, libsndfile, libFLAC, libmpg123, LAME) run again on the
# Release build with tavrel under valgrind's memcheck, which sees what the
# sanitizers cannot: a write or an unset byte inside those libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${TAVREL_SKIP_INSTALL:-0}" != 1 ]; then ./scripts/install-deps.sh --tests; fi
build=${TAVREL_TEST_BUILD:-build-test}
release=$build-release
jobs=$(nproc)

# The rows valgrind checks: movies of each codec, drawn at every size down
# to a pixel; pictures of each kind under each image type, damaged ones too;
# sounds of each reader; writes that fail on a full disk.
valgrind_rows='^(BadInputTest\.(Media|Movies)'
valgrind_rows+='|Kinds/ValidMovieTest\..*/(h264_mp4|h264_10bit_mp4|hevc_mp4|vp9_webm|mpeg4_avi|mpeg2_ts|mjpeg_mov|prores_mov'
valgrind_rows+='|qtrle_mov|sar_mp4|turned_mp4|crop_mp4|tiny_mp4|mpeg2_hd_mpg)( |$)'
valgrind_rows+='|MediaRoadTest\.(PicturesOfEveryKind|EightBitTransparency|ImportedJpegIsThePhoto|ThinPictures|TilesPastThePicture|LabTiffs)'
valgrind_rows+='|MovieRoad\.MoviesAsSlidesAndShowSound'
valgrind_rows+='|CliProgramTest\.FullDisksFailTheExportWithTheirReason'
valgrind_rows+='|Edits/ImportedJpegEditsTest\..*/(rotate90Crop|grayscaleRotate90)'
valgrind_rows+='|Kinds/ValidSoundTest\..*/(s16_wav|s24_aiff|f32_wav|s16_flac|vorbis_ogg|opus_opus|aac_m4a|adts_aac'
valgrind_rows+='|cbr_44k_mp3|vbr_48k_mp3|layer2_mp2|s16_5_1_wav|s16_5_1_aif|edited_m4a|stray_mp3|stray_every_22k_mp3|lead_4k_mp3|lame_mp2_48k_mp3'
valgrind_rows+='|joined_rates_flac|chained_opus_ogg|joined_four_aac|s32_flac|zeros_104_to_416_mp3'
valgrind_rows+='|zeros_40_every_second_22k_mp3|header_every_mp3|free_format_13_every_mp3|segment_links_opus|segment_joined_flac)( |$)'
valgrind_rows+=')'

# ctest lists the tests that skipped; their count ends the run, since a
# machine without the SWF checkers (or Chromium) passes without playing a
# single movie.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
suite() {
  echo "== $1"
  shift
  "$@" --output-on-failure -j"$jobs" | tee -a "$log" || status=1
}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON -DTAVREL_TESTS=ON
cmake --build "$build" -j"$jobs"
suite "every test, sanitizer build ($build)" ctest --test-dir "$build"

cmake -S . -B "$release" -DCMAKE_BUILD_TYPE=Release -DTAVREL_TESTS=ON
cmake --build "$release" -j"$jobs"
suite "every test, Release build ($release)" ctest --test-dir "$release"
suite "the media rows under valgrind, Release build ($release)" \
  env TAVREL_TEST_VALGRIND=1 ctest --test-dir "$release" -R "$valgrind_rows" --no-tests=error

skipped=$(grep -c '(Skipped)$' "$log" || true)
if [ "$skipped" -gt 0 ]; then
  echo "$skipped checks skipped: most need ${TAVREL_SHARED_DIR:-../shared} (swf-dump and swf-shot in its tools" \
    "folder, the SWF corpus) and Chromium; a test program run alone says why each one skipped"
fi
exit "$status"
