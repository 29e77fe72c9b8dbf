#!/usr/bin/env bash
# Builds and runs the benchmark of authorizeHelperTool's wait: the time from
# the tool writing its verdict to the function returning, and the CPU time the
# waiting process spends. Runs as root, in temporary folders only.
#
#   bench/job-wait.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-job}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$here/.." -B "$build" >/dev/null
cmake --build "$build" -j2 --target job_wait_bench >/dev/null
exec "$build/bench/job_wait_bench"
