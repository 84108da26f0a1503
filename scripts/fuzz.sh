#!/usr/bin/env bash
# Builds the fuzz targets of the two file readers and the HTTP date reader with clang's
# libFuzzer and runs each.
#
#   scripts/fuzz.sh [SECONDS]    run each target for SECONDS (default 60)
#
# Each file reader's target checks that whatever its reader accepts survives a save and a read
# unchanged; the date reader's, that it agrees with libcurl's wherever both read a date.
# The targets are built in build/fuzz with AddressSanitizer and UndefinedBehaviorSanitizer and
# start from the seeds in tests/fuzz/corpus/<target>; what a run adds is kept in
# build/fuzz/corpus for the next run, and an input that fails is written to build/fuzz.
# Exits non-zero when a target fails to build or finds a failing input.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    sed -n '2,12s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
    exit 2
fi

"$repo/scripts/install-deps.sh" --fuzz

build="$repo/build/fuzz"
mkdir -p "$build"
compiler=(clang++)
if command -v ccache >/dev/null 2>&1; then
    compiler=(ccache clang++)
fi
read -r -a qt_flags <<<"$(pkg-config --cflags --libs Qt6Core)"
flags=(-std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined
    -fno-sanitize-recover=undefined -I "$repo/src")
# Only what each reader needs: for the files decoding, numbers, the tokenizer and the file's
# own format; for dates the parser and, to compare with, libcurl.
files="src/platform/TextFile.cpp src/platform/DecimalNumber.cpp src/storage/Tokenizer.cpp"
declare -A sources=([group_file]="src/storage/GroupFile.cpp $files"
    [setting_file]="src/storage/SettingFile.cpp $files" [http_date]=src/platform/HttpDate.cpp)
declare -A libraries=([http_date]="$(pkg-config --libs libcurl)")

status=0
for target in group_file setting_file http_date; do
    echo "=== fuzz_$target: build" >&2
    read -r -a target_sources <<<"${sources[$target]}"
    read -r -a target_libraries <<<"${libraries[$target]:-}"
    (cd "$repo" && "${compiler[@]}" "${flags[@]}" -o "$build/fuzz_$target" \
        "tests/fuzz/fuzz_$target.cpp" "${target_sources[@]}" "${qt_flags[@]}" \
        "${target_libraries[@]}")
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "=== fuzz_$target: run for $seconds s" >&2
    (cd "$build" && "./fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        "$corpus" "$repo/tests/fuzz/corpus/$target") || status=1
done
exit "$status"
