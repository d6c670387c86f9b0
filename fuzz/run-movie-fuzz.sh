#!/bin/sh
# The movie fuzz runs: movie_picture_fuzz (any bytes opened as a movie) and
# movie_export_fuzz (shows of damaged movies and sounds exported), each on two
# workers for 30 minutes, with their seeds, scratch files on tmpfs; and
# sound_readers_fuzz (any bytes as a show's sound, decoded whole) on its own.
#
#   fuzz/run-movie-fuzz.sh [picture|export|both|sound] [WORK-FOLDER]
#
# Run from the source folder with the fuzz build in build-fuzz (BUILD to
# change it). "both" runs the two side by side: four processes. Seeds,
# corpora and logs go to WORK-FOLDER (default BUILD/movie-fuzz-runs);
# findings are the crash-*, leak-*, timeout-*, oom-* and slow-unit-* files
# there. SECONDS_EACH shortens the runs for a trial. SOURCES names a folder of
# the user's own movies, pictures and sounds: both targets are seeded with
# them, and the export target takes them as sources beside its own (a
# finding of it then replays only with the same folder).
set -eu

which=${1:-both}
work=${2:-}
build=${BUILD:-build-fuzz}
[ -n "$work" ] || work=$build/movie-fuzz-runs
seconds=${SECONDS_EACH:-1800}
case $which in picture|export|both|sound) ;; *) echo "usage: $0 [picture|export|both|sound] [WORK-FOLDER]" >&2; exit 2;; esac
command -v ffmpeg >/dev/null || { echo "$0: the seeds are made with ffmpeg, which is not installed" >&2; exit 1; }
export TMPDIR=/dev/shm
summary() {  # folder
  echo "== $1"
  grep -h -E 'stat::number_of_executed_units|ERROR: |SUMMARY: ' "$work/$1"/fuzz-*.log 2>/dev/null || true
  ls "$work/$1" | grep -E '^(crash|leak|timeout|oom|slow-unit)-' || echo "no findings"
}

if [ "$which" = sound ]; then
  # The sound seeds are made by lame and flac too; those the machine lacks
  # are left out, said. Inputs stay within a few seeds' size, so each decodes fast.
  cmake --build "$build" -j4 --target sound_readers_fuzz sound_fuzz_seeds
  mkdir -p "$work/sound-seeds" "$work/sound-corpus" "$work/sound-run"
  work=$(cd "$work" && pwd)
  "$build/fuzz/sound_fuzz_seeds" "$work/sound-seeds"
  bin=$(cd "$build/fuzz" && pwd)
  (cd "$work/sound-run" && ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32} "$bin/sound_readers_fuzz" -timeout=20 -rss_limit_mb=2048 -jobs=2 -workers=2 \
     -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/sound-run/" \
     "$work/sound-corpus" "$work/sound-seeds" >"$work/sound-run/run.log" 2>&1) || true
  summary sound-run
  exit 0
fi

cmake --build "$build" -j4 --target movie_picture_fuzz movie_export_fuzz movie_fuzz_seeds
mkdir -p "$work/movie-seeds" "$work/movie-corpus" "$work/movie-export-seeds" "$work/movie-export-corpus"
work=$(cd "$work" && pwd)
if [ -n "${SOURCES:-}" ]; then
  export TAVREL_EXPORT_SOURCES=$(cd "$SOURCES" && pwd)
  find "$TAVREL_EXPORT_SOURCES" -maxdepth 1 -type f -size -4097k -exec cp {} "$work/movie-seeds/" \;
fi
"$build/fuzz/movie_fuzz_seeds" "$work/movie-seeds" "$work/movie-export-seeds"
# The media tests' movies, when the test build is there.
if [ -x build-test/tests/media_tests ]; then
  TAVREL_MOVIE_SEEDS="$work/movie-seeds" build-test/tests/media_tests --gtest_filter='MovieFile*' >/dev/null
fi
# Small pictures of other kinds where Debian's packages put them.
for f in /usr/share/go-1.19/src/image/testdata/*.jpeg /usr/share/tcltk/tk8.6/images/*.gif; do
  [ -f "$f" ] && [ "$(wc -c <"$f")" -le 100000 ] && cp "$f" "$work/movie-seeds/"
done

options="-timeout=60 -rss_limit_mb=2048 -jobs=2 -workers=2 -max_total_time=$seconds -print_final_stats=1"
bin=$(cd "$build/fuzz" && pwd)
# libFuzzer writes each worker's log (fuzz-N.log) into the current folder.
run() {  # target, folder, length options, corpus, seeds; a finding ends it without ending the script
  mkdir -p "$work/$2"
  (cd "$work/$2" && "$bin/$1" $options $3 -artifact_prefix="$work/$2/" "$work/$4" "$work/$5" \
     >"$work/$2/run.log" 2>&1) || true
}
# An export input is a header of up to 9 bytes, then edits of 5 bytes (an
# overwrite takes up to 64 more): 512 bytes let it damage all five files it
# chose, each with an overwrite and a few byte edits. libFuzzer's length
# control raises its limit only after many runs without new coverage, which
# at 20 runs a second never came: inputs stayed at the seeds' 9 to 49 bytes.
picture_length="-max_len=100000"
export_length="-max_len=512 -len_control=0"
case $which in
  picture) run movie_picture_fuzz picture-run "$picture_length" movie-corpus movie-seeds; summary picture-run ;;
  export) run movie_export_fuzz export-run "$export_length" movie-export-corpus movie-export-seeds; summary export-run ;;
  both)
    run movie_picture_fuzz picture-run "$picture_length" movie-corpus movie-seeds &
    run movie_export_fuzz export-run "$export_length" movie-export-corpus movie-export-seeds &
    wait
    summary picture-run
    summary export-run ;;
esac
