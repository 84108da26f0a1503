#!/usr/bin/env bash
# Builds Velmora with its tests and runs them with ctest.
#
#   scripts/test.sh [--tsan] [--asan] [--label REGEX] [--jobs N]
#
#   (no option)     Debug build in build/test, the whole suite
#   --tsan          build in build/tsan with ThreadSanitizer and run the suite there
#   --asan          build in build/asan with AddressSanitizer, LeakSanitizer and
#                   UndefinedBehaviorSanitizer and run the suite there
#   --label REGEX   only the tests whose label matches (labels: core, gui, e2e, package); only
#                   their targets are built
#   --jobs N        parallel build and test jobs (default: the number of processors)
#
# When the package test is among the chosen ones, scripts/package.sh builds the .deb first.
# With CI=true every build treats warnings as errors; with CI=true and no option: the C++
# files' clang-format check, the whole suite, then the core tests under ThreadSanitizer, then
# each fuzz target for 60 seconds (scripts/fuzz.sh).
# Only the e2e and package tests need an X display; without a usable DISPLAY a private Xvfb
# server is started for them, on a display number no other X server holds.
# Exits non-zero when anything fails to build or any test fails.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

usage() {
    sed -n '2,20s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
}

jobs="$(nproc 2>/dev/null || echo 2)"
label=""
want_tsan=0
want_asan=0
option_count=$#
while (($# > 0)); do
    case "$1" in
        --tsan) want_tsan=1 ;;
        --asan) want_asan=1 ;;
        --label)
            (($# >= 2)) || { usage; exit 2; }
            label="$2"
            shift
            ;;
        --label=*) label="${1#--label=}" ;;
        --jobs)
            (($# >= 2)) || { usage; exit 2; }
            jobs="$2"
            shift
            ;;
        --jobs=*) jobs="${1#--jobs=}" ;;
        -h | --help) usage; exit 0 ;;
        *) echo "unknown option: $1" >&2; usage; exit 2 ;;
    esac
    shift
done
if ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
    echo "--jobs needs a positive whole number, not '$jobs'" >&2
    exit 2
fi

# Each entry: build directory name, sanitizer, label filter ("" for every test), and for
# ThreadSanitizer whether reports from inside uninstrumented libraries count (strict) or not
# (lenient, for the widget tests).
runs=()
if ((want_tsan == 0 && want_asan == 0)); then
    runs+=("test;;$label;")
    if [[ "${CI:-}" == true && $option_count -eq 0 ]]; then
        runs+=("tsan;thread;^core\$;strict")
    fi
fi
if ((want_tsan == 1)); then
    if [[ -z "$label" ]]; then
        runs+=("tsan;thread;^core\$;strict" "tsan;thread;^(gui|e2e)\$;lenient")
    elif [[ "$label" == core || "$label" == "^core\$" ]]; then
        runs+=("tsan;thread;$label;strict")
    else
        runs+=("tsan;thread;$label;lenient")
    fi
fi
((want_asan == 0)) || runs+=("asan;address;$label;")

"$repo/scripts/install-deps.sh" --test

# This run's own folder: the private X server's log and the sanitizers' suppression lists.
# Readable by everyone, since the storage tests run a helper as nobody, whom the clone's
# folder may keep out (a clone under /root); that helper's sanitizer must read the lists too.
run_dir=""
xvfb_pid=""
# shellcheck disable=SC2317 # only ever called by the EXIT trap
cleanup() {
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    [[ -z "$run_dir" ]] || rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
run_dir="$(mktemp -d)"
chmod 755 "$run_dir"
install -m 644 "$repo/tests/tsan.supp" "$repo/tests/lsan.supp" "$run_dir/"

# Whether an X server holds this display number: its lock file, or its socket in the file
# system or in the abstract namespace, which a server behind another /tmp (in another
# container, say) still holds.
display_in_use() {
    [[ -e "/tmp/.X$1-lock" || -e "/tmp/.X11-unix/X$1" ]] ||
        grep -qE "@/tmp/\.X11-unix/X$1( |\$)" /proc/net/unix 2>/dev/null
}

# Starts Xvfb on the first display number from 99 on that no X server holds, clear of the
# low numbers a desktop takes. Xvfb locks the number itself, so should another run take it
# first, this Xvfb ends and the next number is tried.
start_xvfb() {
    local number attempt
    for ((number = 99; number < 200; number++)); do
        display_in_use "$number" && continue
        Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp 2>"$run_dir/xvfb.log" &
        xvfb_pid=$!
        for ((attempt = 0; attempt < 300; attempt++)); do
            # The server that answers must be this one, not another run's that won the number.
            if [[ "$(tr -d ' ' 2>/dev/null <"/tmp/.X$number-lock")" == "$xvfb_pid" ]] &&
                xdpyinfo -display ":$number" >/dev/null 2>&1; then
                export DISPLAY=":$number"
                echo "Started Xvfb on display $DISPLAY" >&2
                return
            fi
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
        # Another server took the number meanwhile: try the next; anything else is an error.
        grep -qE "already active|Cannot establish any listening sockets" "$run_dir/xvfb.log" ||
            break
    done
    echo "error: Xvfb did not start:" >&2
    cat "$run_dir/xvfb.log" >&2
    exit 1
}

# The e2e and package tests need a display; the others run offscreen, so nothing is started
# for them.
display_ready=0
ensure_display() {
    ((display_ready == 0)) || return 0
    if [[ -z "${DISPLAY:-}" ]]; then
        start_xvfb
    elif ! xdpyinfo >/dev/null 2>&1; then
        echo "DISPLAY=$DISPLAY does not answer; using a private Xvfb instead" >&2
        start_xvfb
    fi
    display_ready=1
}

# The end-to-end test must reach the X display; the other tests choose offscreen themselves.
unset QT_QPA_PLATFORM

# ThreadSanitizer in gcc 12 cannot place its shadow memory when the kernel randomises
# addresses with more bits than it expects, so its runs go without address randomisation.
no_aslr=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
    no_aslr=(setarch "$(uname -m)" -R)
fi

sanitizer_environment() {
    case "$1" in
        thread)
            local options="halt_on_error=1 second_deadlock_stack=1"
            options+=" suppressions=$run_dir/tsan.supp"
            # Widget tests go through Qt's painting thread pool, whose hand-overs happen in
            # uninstrumented code with no symbols to suppress by; for them reports made from
            # inside such libraries are dropped, while our own code's accesses stay checked.
            # The end-to-end harness starts xdotool and friends through QProcess once threads
            # exist, which TSan refuses unless told otherwise. The core tests stay strict.
            [[ "$2" != lenient ]] || options+=" ignore_noninstrumented_modules=1 die_after_fork=0"
            echo "TSAN_OPTIONS=$options ${TSAN_OPTIONS:-}"
            ;;
        address)
            echo "ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:${ASAN_OPTIONS:-}"
            echo "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
            echo "LSAN_OPTIONS=print_suppressions=0:suppressions=$run_dir/lsan.supp:${LSAN_OPTIONS:-}"
            ;;
    esac
}

total_passed=0
total_failed=0
any_failed=0
warnings_as_errors=OFF
[[ "${CI:-}" != true ]] || warnings_as_errors=ON

# The tree is kept as the checked-in .clang-format lays it out.
check_format() {
    echo "=== clang-format: check the C++ files" >&2
    local files=()
    mapfile -t files < <(cd "$repo" && find src tests bench \( -name '*.cpp' -o -name '*.h' \) | sort)
    (cd "$repo" && clang-format --dry-run --Werror "${files[@]}") || any_failed=1
}
if [[ "${CI:-}" == true && $option_count -eq 0 ]]; then
    check_format
fi

run_suite() {
    local name="$1" sanitizer="$2" filter="$3" mode="$4"
    local build="$repo/build/$name"
    local label_args=()
    [[ -z "$filter" ]] || label_args=(-L "$filter")

    echo "=== $name: configure and build${filter:+ (label $filter)}" >&2
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \
        -DCMAKE_COMPILE_WARNING_AS_ERROR="$warnings_as_errors" \
        -DVELMORA_SANITIZE="$sanitizer"

    local targets=()
    if [[ -n "$filter" ]]; then
        # Every test is named after its executable target: build only the chosen ones.
        mapfile -t targets < <(ctest --test-dir "$build" -N "${label_args[@]}" |
            sed -n 's/^ *Test *#[0-9]*: *//p')
        if ((${#targets[@]} == 0)); then
            echo "error: no test has a label matching '$filter'" >&2
            exit 1
        fi
        cmake --build "$build" --parallel "$jobs" --target "${targets[@]}"
    else
        cmake --build "$build" --parallel "$jobs"
    fi

    local chosen
    chosen="$(ctest --test-dir "$build" -N "${label_args[@]}")"
    if grep -qE ': test_(end_to_end|screen_reader|package)$' <<<"$chosen"; then
        ensure_display
    fi
    if grep -q ': test_package$' <<<"$chosen"; then
        echo "=== package: build the Debian package for the package test" >&2
        "$repo/scripts/package.sh" >&2
    fi

    echo "=== $name: run tests${filter:+ (label $filter)}" >&2
    local log="$build/ctest-output.log"
    local runner=()
    [[ "$sanitizer" != thread ]] || runner=("${no_aslr[@]}")
    local environment=()
    mapfile -t environment < <(sanitizer_environment "$sanitizer" "$mode")
    local status=0
    env "${environment[@]}" "${runner[@]}" \
        ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$jobs" \
        "${label_args[@]}" 2>&1 | tee "$log" || status=$?

    local summary
    summary="$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' "$log" | tail -n 1)"
    if [[ -n "$summary" ]]; then
        local failed="${summary% *}" total="${summary#* }"
        total_failed=$((total_failed + failed))
        total_passed=$((total_passed + total - failed))
    fi
    if ((status != 0)) || [[ -z "$summary" ]]; then
        any_failed=1
    fi
}

# A build that fails ends the script at once; failing tests let the remaining runs go on.
for run in "${runs[@]}"; do
    IFS=';' read -r name sanitizer filter mode <<<"$run"
    run_suite "$name" "$sanitizer" "$filter" "$mode"
done

# Kept apart from the suites: the fuzz targets build with clang, in a build of their own.
if [[ "${CI:-}" == true && $option_count -eq 0 ]]; then
    "$repo/scripts/fuzz.sh" 60 || any_failed=1
fi

if ((${#runs[@]} > 1)); then
    echo "Total: $total_passed passed, $total_failed failed"
fi
exit "$any_failed"
