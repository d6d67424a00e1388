#!/usr/bin/env bash
# Resident memory and CPU of an idle LyrevaneScheduler over a few minutes.
# Usage: bench/scheduler_idle.sh [build-dir] [seconds]   (default: build 180)
set -euo pipefail
build=${1:-build}
seconds=${2:-180}
tmp=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$tmp"' EXIT
mkdir -p "$tmp/config" "$tmp/runtime"
XDG_CONFIG_HOME=$tmp/config XDG_RUNTIME_DIR=$tmp/runtime "$build/scheduler/LyrevaneScheduler" &
pid=$!
sleep 2
ticks=$(getconf CLK_TCK)
read -r u0 s0 < <(awk '{print $14, $15}' "/proc/$pid/stat")
sleep "$seconds"
read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$pid/stat")
rss_kb=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
cpu=$(awk -v a="$((u1 + s1 - u0 - s0))" -v t="$ticks" -v s="$seconds" 'BEGIN { printf "%.4f", 100 * a / t / s }')
echo "LyrevaneScheduler idle for ${seconds}s: resident ${rss_kb} kB, CPU ${cpu} % of a core"
