#!/usr/bin/env bash
# Builds the fuzz targets of the two file readers and the HTTP date reader with clang's
# libFuzzer and runs each.
#
#   scripts/fuzz.sh [SECONDS]    run each target for SECONDS (default 60)
#
# Each file reader's target checks that whatever its reader accepts survives a save and a read
# unchanged; the date reader's, that it agrees with libcurl's wherever both read a date.
# CMake builds the targets in build/fuzz with clang (VELMORA_FUZZ), from the same core library
# the program uses, with AddressSanitizer and UndefinedBehaviorSanitizer. Each starts from the
# seeds in tests/fuzz/corpus/<target>; what a run adds is kept in build/fuzz/corpus for the
# next run, and an input that fails is written to build/fuzz.
# Exits non-zero when a target fails to build or finds a failing input.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    sed -n '2,13s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
    exit 2
fi

"$repo/scripts/install-deps.sh" --fuzz

build="$repo/build/fuzz"
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# CI builds treat warnings as errors, as scripts/test.sh does.
warnings_as_errors=OFF
[[ "${CI:-}" != true ]] || warnings_as_errors=ON
targets=(group_file setting_file http_date)
echo "=== fuzz: configure and build" >&2
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_FUZZ=ON \
    -DBUILD_TESTING=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR="$warnings_as_errors" "${launcher[@]}"
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "=== fuzz_$target: run for $seconds s" >&2
    (cd "$build" && "./tests/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        "$corpus" "$repo/tests/fuzz/corpus/$target") || status=1
done
exit "$status"
