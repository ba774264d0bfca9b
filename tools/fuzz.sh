#!/bin/sh
# Runs the receive-path fuzzer over the committed seed corpus:
#   tools/fuzz.sh BUILD_DIR SECONDS
# New inputs go to a scratch folder, so the checkout stays clean.
set -e
build=${1:-build-fuzz}
seconds=${2:-60}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/fuzz/fuzz_receive" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 "$scratch" fuzz/corpus
