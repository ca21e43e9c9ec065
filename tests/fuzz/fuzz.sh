#!/usr/bin/env bash
# Runs a libFuzzer target for a fixed time from a copy of the seed corpus.
#   fuzz.sh FUZZER SEED_DIR SCRATCH_DIR SECONDS
# New inputs and any crash land in SCRATCH_DIR, never in the seeds.
set -euo pipefail
fuzzer=$1 seeds=$2 scratch=$3 seconds=$4
rm -rf "$scratch"
mkdir -p "$scratch/corpus" "$scratch/artifacts"
cp "$seeds"/* "$scratch/corpus/"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$scratch/artifacts/" "$scratch/corpus"
