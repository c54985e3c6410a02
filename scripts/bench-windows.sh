#!/usr/bin/env bash
# Builds the mutex, semaphore and conversion benchmarks for Linux and for
# Windows (mingw-w64) and runs both in one go, each program natively and then
# under Wine (a fresh prefix in a temporary folder), and prints one table:
# benchmark, Linux time, Wine time, Wine/Linux.
#   QV_ARCH      x86_64 (default) or i686 for the Windows side
#   QV_CACHE     folder holding the cross-built ICU and Google Benchmark
#                (default build-windows, shared with scripts/test-windows.sh)
#   QV_BENCH_ARGS  extra options for every benchmark program, e.g.
#                --benchmark_filter=Semaphore --benchmark_min_time=0.2
# The JSON results stay in build-bench-windows-<arch>/results.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${QV_ARCH:-x86_64}
cache=${QV_CACHE:-build-windows}
linux=build-bench-linux
win=build-bench-windows-$arch
programs=(bench_mutex bench_threads bench_text)
jobs=$(nproc)
bash scripts/deps.sh
bash scripts/win/deps.sh
icu_root=$(QV_JOBS=$jobs bash scripts/win/icu.sh "$arch" "$cache/_icu" | tail -n 1)
benchmark_root=$(QV_JOBS=$jobs bash scripts/win/benchmark.sh "$arch" "$cache/_benchmark" | tail -n 1)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_TESTS=OFF -DQV_BUILD_DEMO=OFF
        -DQV_BUILD_TOOLS=OFF -DQV_BUILD_BENCH=ON "${launcher[@]}")
cmake -S . -B "$linux" "${common[@]}" >/dev/null
cmake --build "$linux" -j "$jobs" --target "${programs[@]}" >&2
cmake -S . -B "$win" "${common[@]}" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64-$arch.cmake" \
  -DICU_ROOT="$icu_root" -Dbenchmark_ROOT="$benchmark_root" >/dev/null
cmake --build "$win" -j "$jobs" --target "${programs[@]}" >&2

if [ "$arch" = i686 ] && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  echo "bench-windows: no 32-bit Wine (wine32:i386) here; the i686 benchmarks are not run" >&2
  exit 0
fi
prefix=$(mktemp -d "${TMPDIR:-/tmp}/qvcore5-wine.XXXXXX")
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix/prefix"
export WINEDEBUG=-all
wine wineboot -i >/dev/null 2>&1 && touch "$WINEPREFIX/.qvcore5-ready"
results=$win/results
rm -rf "$results"
mkdir -p "$results"
# Each program runs on Linux and then under Wine, so both see the same load.
run() {  # <log> <program and options...>
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { tail -20 "$log" >&2; echo "bench-windows: $* failed" >&2; exit 1; }
}
for p in "${programs[@]}"; do
  echo "bench-windows: $p (Linux, then Wine)" >&2
  run "$results/linux-$p.log" "$linux/bench/$p" --benchmark_out="$results/linux-$p.json" \
    --benchmark_out_format=json ${QV_BENCH_ARGS:-}
  run "$results/wine-$p.log" "$win/wine-run.sh" "$win/bench/$p.exe" \
    --benchmark_out="$(winepath -w "$results/wine-$p.json" 2>/dev/null)" --benchmark_out_format=json ${QV_BENCH_ARGS:-}
done

python3 - "$results" "${programs[@]}" <<'PY'
import json, sys
results, programs = sys.argv[1], sys.argv[2:]
scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}

def load(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue
        if b.get("error_occurred"):
            out[b["name"]] = None
            continue
        # The time the program itself reports: wall time where it asked for it.
        t = b["real_time"] if "/real_time" in b["name"] else b["cpu_time"]
        out[b["name"]] = t * scale[b.get("time_unit", "ns")]
    return out

def show(ns):
    if ns is None:
        return "-"
    for unit, f in (("ns", 1.0), ("us", 1e3), ("ms", 1e6), ("s", 1e9)):
        if ns / f < 999.5 or unit == "s":
            return f"{ns / f:.3g} {unit}"

rows = []
for p in programs:
    linux, wine = load(f"{results}/linux-{p}.json"), load(f"{results}/wine-{p}.json")
    for name in list(linux) + [n for n in wine if n not in linux]:
        a, b = linux.get(name), wine.get(name)
        ratio = f"{b / a:.2f}" if a and b else "-"
        rows.append((name, show(a), show(b), ratio))
head = ("benchmark", "Linux", "Wine", "Wine/Linux")
w = [max(len(r[i]) for r in rows + [head]) for i in range(4)]
line = lambda r: f"{r[0]:<{w[0]}}  {r[1]:>{w[1]}}  {r[2]:>{w[2]}}  {r[3]:>{w[3]}}"
print(line(head))
print("-" * (sum(w) + 6))
for r in rows:
    print(line(r))
print("""
Times are CPU time per iteration, wall time for /real_time. Platform baselines:
Recursive/Contended = recursive pthread mutex | CRITICAL_SECTION;
Sem = sem_t | semaphore object; NarrowToWide = mbstowcs (UTF-8 locale) |
MultiByteToWideChar (ANSI code page); StrICmp = strcasecmp | _stricmp.""")
PY
