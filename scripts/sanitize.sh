#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the test suite with AddressSanitizer + UndefinedBehaviorSanitizer (build-asan) and
# with ThreadSanitizer (build-tsan), each in its own folder, and runs it.
#
#   bash scripts/sanitize.sh            both
#   bash scripts/sanitize.sh asan|tsan  one
#
# Under ThreadSanitizer the window's tests are left out: Qt itself is not built with the
# sanitizer, so the hand-over between the window's thread and a batch's thread (Qt's queued
# calls and semaphores) is invisible to it and every such call reads as a race. The batch
# runner's thread starts and is joined through pthreads, which the sanitizer sees, and the
# core tests that exercise it run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="$(nproc)"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

build() { # folder, flags, targets (all when none)
  local dir="$1" flags="$2"
  shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DKELMAR_BUILD_BENCH=OFF "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DCMAKE_CXX_FLAGS="$flags -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
  if [ $# -eq 0 ]; then
    cmake --build "$dir" -j"$jobs"
  else
    cmake --build "$dir" -j"$jobs" --target "$@"
  fi
}

run_asan() {
  build build-asan "-fsanitize=address,undefined -fno-sanitize-recover=undefined"
  (cd build-asan &&
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
    LSAN_OPTIONS="suppressions=$PWD/../.ci/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs")
}

run_tsan() {
  # Threads live in the batch runner and the archive pool (maintenance) and in kelmar-cli's
  # workers; the rest of the suite is single-threaded and runs under AddressSanitizer above.
  # The window's tests are left out (see above), so the window is not built either.
  build build-tsan "-fsanitize=thread" kelmar-cli test_maintenance
  # QProcess starts its children with clone, which the sanitizer cannot follow: after the first
  # child its table of locks is wiped, and later reports name as "already destroyed" the very
  # lock the reporting thread holds. The tests that still start tools through QProcess run in
  # one process; the archive pool's, whose tools start through posix_spawn, in another.
  (cd build-tsan &&
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/../.ci/tsan.supp" &&
    QT_QPA_PLATFORM=offscreen ./tests/test_maintenance --gtest_brief=1 \
      --gtest_filter='BatchRunner.*:ArchiveEvents.*:Cli*:DeleteFiles.*:Rename*:CalculateSpace.*' &&
    QT_QPA_PLATFORM=offscreen ./tests/test_maintenance --gtest_brief=1 \
      --gtest_filter='ArchivePool.*:TestZips.*:Rezip*:ZipFiles.*:ZipOneArchive.*:UnzipFiles.*:FoldersToZips.*')
}

case "${1:-all}" in
  asan) run_asan ;;
  tsan) run_tsan ;;
  all) run_asan; run_tsan ;;
  *) echo "usage: $0 [asan|tsan]" >&2; exit 2 ;;
esac
