#!/usr/bin/env bash
# Measures the conversion on two real font pairs: the time of each stage
# (Google Benchmark), then for a whole run of tavrest its instruction count
# (callgrind), peak resident memory (/usr/bin/time) and wall time (median of
# RUNS runs, default 15). Without a display the run shows no window and so
# does not wait. Old output files are present in every measured run, as on
# every rerun.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTAVREST_BENCH=ON > /dev/null
cmake --build build -j"$(nproc)" --target tavrest tavrest_bench > /dev/null
tests/support/make_fonts.sh build/fonts > /dev/null
export SDL_VIDEODRIVER=dummy
runs=${RUNS:-15}

echo "== stages =="
build/bench/tavrest_bench --benchmark_min_time=0.2

echo
echo "== whole runs =="
printf '%-22s %14s %12s %22s\n' "pair" "instructions" "peak RSS" "wall time"
for pair in "jiskan16 8x16rk 16" "jiskan24 12x24rk 24"; do
  set -- $pair
  dir=build/bench-run-$3
  mkdir -p "$dir"
  printf '%s\n%s\n%s\n' "$PWD/build/fonts/$1.bdf" "$PWD/build/fonts/$2.bdf" "$3" > "$dir/tavrest.ini"
  (cd "$dir" && ../app/tavrest)  # leaves the old files every measured run replaces
  instructions=$(cd "$dir" && valgrind --tool=callgrind --callgrind-out-file=/dev/null \
      ../app/tavrest 2>&1 | awk '/Collected/ {print $4}')
  peak=$(cd "$dir" && /usr/bin/time -v ../app/tavrest 2>&1 | awk '/Maximum resident/ {print $6}')
  wall=$(cd "$dir" && for _ in $(seq "$runs"); do
      start=$(date +%s%N); ../app/tavrest; end=$(date +%s%N)
      echo $(( (end - start) / 1000 ))
    done | sort -n | awk '{a[NR]=$1} END {m=a[int((NR+1)/2)]; printf "%.1f ms", m/1000}')
  printf '%-22s %14s %9s KiB %22s\n' "$1 + $2" "$(printf "%'d" "$instructions")" "$peak" "$wall"
done

# An outline font at 16, beside the step a user takes without tavrest's
# FreeType reading: otf2bdf of the same file. tavrest should take at most
# half of otf2bdf's time.
echo
echo "== IPA Gothic at 16 from ipag.ttf (median of $runs) =="
ipag=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
dir=build/bench-run-ipag
mkdir -p "$dir"
median_ms() {
  for _ in $(seq "$runs"); do
    start=$(date +%s%N); "$@" > /dev/null; end=$(date +%s%N)
    echo $(( (end - start) / 1000 ))
  done | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}
(cd "$dir" && ../app/tavrest -b -q -f "$ipag" -s 16)
ours=$(cd "$dir" && median_ms ../app/tavrest -b -q -f "$ipag" -s 16)
theirs=$(cd "$dir" && median_ms otf2bdf -p 16 -o ipag16.bdf "$ipag")
printf '%-22s %10s ms\n' "tavrest -s 16" "$ours" "otf2bdf -p 16" "$theirs"
awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "tavrest takes %.0f%% of otf2bdf'"'"'s time%s\n", 100 * a / b, a * 2 <= b ? "" : " (more than half)"}'

# Outline fonts beside the floor FreeType sets: the same characters rendered
# on one thread and nothing else (bench/freetype_floor.cpp). Instructions of
# every thread, no image written.
echo
echo "== IPA Gothic against the FreeType floor (instructions) =="
cmake -S . -B build -DTAVREST_BENCH=ON > /dev/null
cmake --build build -j"$(nproc)" --target freetype_floor > /dev/null
printf '%-6s %16s %16s %7s\n' "size" "tavrest" "FreeType floor" "ratio"
for size in 12 16 24 32; do
  ours=$(cd "$dir" && valgrind --tool=callgrind --callgrind-out-file=/dev/null \
      ../app/tavrest -b -q -f "$ipag" -s "$size" --no-image 2>&1 | awk '/Collected/ {print $4}')
  floor=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null \
      build/bench/freetype_floor "$ipag" "$size" 2>&1 | awk '/Collected/ {print $4}')
  printf '%-6s %16s %16s %7s\n' "$size" "$(printf "%'d" "$ours")" "$(printf "%'d" "$floor")" \
      "$(awk -v a="$ours" -v b="$floor" 'BEGIN {printf "%.2fx", a / b}')"
done
