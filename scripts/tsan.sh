#!/bin/sh
# ThreadSanitizer run of the tests for code that many threads share: atomic
# writes from threads and processes, the download pool with its progress
# and cancelling, the record of verified files the workers note into, whole
# installs, the data-path and account snapshots, concurrent session
# refreshes, the service latch. Builds into build-tsan (a few minutes on two
# cores); not part of CI. Any report fails the run.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="-fsanitize=thread" -DCMAKE_CXX_FLAGS="-fsanitize=thread" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan -j "$(nproc)" --target unit_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
exec build-tsan/tests/unit_tests --gtest_filter="$(printf '%s:' \
    'Fs.Concurrent*' 'Proc.*' 'Download*' 'DatadirTest.ReadersSee*' \
    'AuthRefresh.*' 'ServiceLatch.*' 'RecordFixture.*' 'InstallTest.*')"
