#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures the conversion on two real font pairs: the time of each stage
# (Google Benchmark), then for a whole run of tavrest its instruction count
# (callgrind), peak resident memory (/usr/bin/time) and wall time (median of
# RUNS runs, default 15), each beside the same figures of the tight bound
# (bench/tight_conversion.cpp), which writes the same two files. Text drawing
# is timed and counted beside a direct store of the same glyphs
# (bench/draw_bench.cpp). Runs are measured with -b, without a window, like
# the bound. Old output files are present in every measured run, as on every
# rerun.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTAVREST_BENCH=ON > /dev/null
cmake --build build -j"$(nproc)" --target tavrest tavrest_bench tavrest_draw_bench \
    tight_conversion > /dev/null
tests/support/make_fonts.sh build/fonts > /dev/null
export SDL_VIDEODRIVER=dummy
runs=${RUNS:-15}

# Instructions of a whole command (callgrind), peak resident KiB, median wall ms.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 | awk '/Collected/ {print $4}'
}
peak_kib() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk '/Maximum resident/ {print $6}'; }
median_ms() {
  for _ in $(seq "$runs"); do
    start=$(date +%s%N); "$@" > /dev/null; end=$(date +%s%N)
    echo $(( (end - start) / 1000 ))
  done | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2fx", a / b}'; }

echo "== stages =="
build/bench/tavrest_bench --benchmark_min_time=0.2

echo
echo "== whole runs, against the tight bound =="
printf '%-24s %-8s %14s %12s %10s\n' "pair" "program" "instructions" "peak RSS" "wall"
for pair in "jiskan16 8x16rk 16" "jiskan24 12x24rk 24"; do
  set -- $pair
  main=$PWD/build/fonts/$1.bdf second=$PWD/build/fonts/$2.bdf
  dir=build/bench-run-$3
  mkdir -p "$dir/bound"
  printf '%s\n%s\n%s\n' "$main" "$second" "$3" > "$dir/tavrest.ini"
  ours=(../app/tavrest -b)  # the conversion alone, as the bound: no window
  bound=(../../bench/tight_conversion "$main" "$second" "$3")
  (cd "$dir" && "${ours[@]}")  # leaves the old files every measured run replaces
  (cd "$dir/bound" && "${bound[@]}")
  cmp -s "$dir/tavrest.qpk" "$dir/bound/tavrest.qpk" && cmp -s "$dir/tavrest.tga" "$dir/bound/tavrest.tga" \
    || echo "the bound wrote other files than tavrest"
  ins_ours=$(cd "$dir" && instructions "${ours[@]}")
  ins_bound=$(cd "$dir/bound" && instructions "${bound[@]}")
  rss_ours=$(cd "$dir" && peak_kib "${ours[@]}")
  rss_bound=$(cd "$dir/bound" && peak_kib "${bound[@]}")
  ms_ours=$(cd "$dir" && median_ms "${ours[@]}")
  ms_bound=$(cd "$dir/bound" && median_ms "${bound[@]}")
  printf '%-24s %-8s %14s %8s KiB %7s ms\n' "$1 + $2" tavrest "$(printf "%'d" "$ins_ours")" \
    "$rss_ours" "$ms_ours" "" bound "$(printf "%'d" "$ins_bound")" "$rss_bound" "$ms_bound"
  printf '%-24s %-8s %14s %12s %10s\n' "" ratio "$(ratio "$ins_ours" "$ins_bound")" \
    "$(ratio "$rss_ours" "$rss_bound")" "$(ratio "$ms_ours" "$ms_bound")"
done

# The same pairs as gzip PCF (Debian's own files), beside the BDF runs above:
# what reading PCF through FreeType and inflating gzip add. And a font of one
# glyph, where nearly every cell is empty.
echo
echo "== gzip PCF against BDF, and a font of one glyph (instructions) =="
misc=/usr/share/fonts/X11/misc
for pair in "jiskan16 8x16rk 16" "jiskan24 12x24rk 24"; do
  set -- $pair
  dir=build/bench-run-pcf-$3
  mkdir -p "$dir"
  printf '%s\n%s\n%s\n' "$misc/$1.pcf.gz" "$misc/$2.pcf.gz" "$3" > "$dir/tavrest.ini"
  pcf=$(cd "$dir" && instructions ../app/tavrest -b)
  bdf=$(cd "build/bench-run-$3" && instructions ../app/tavrest -b)
  printf '%-24s %14s against %14s as BDF: %s\n' "$1 + $2 .pcf.gz" "$(printf "%'d" "$pcf")" \
    "$(printf "%'d" "$bdf")" "$(ratio "$pcf" "$bdf")"
done
dir=build/bench-run-one
mkdir -p "$dir"
{
  printf 'STARTFONT 2.1\nFONT -bench-one-medium-r-normal--16-160-75-75-c-160-jisx0208.1983-0\n'
  printf 'FONTBOUNDINGBOX 16 16 0 -2\nSTARTPROPERTIES 1\nFONT_ASCENT 14\nENDPROPERTIES\n'
  printf 'STARTCHAR a\nENCODING 12354\nBBX 16 16 0 -2\nBITMAP\n'
  for _ in $(seq 16); do echo FFFF; done
  printf 'ENDCHAR\nENDFONT\n'
} > "$dir/one.bdf"
printf '%s\n\n16\n' "$PWD/$dir/one.bdf" > "$dir/tavrest.ini"
printf '%-24s %14s\n' "one glyph at 16" "$(printf "%'d" "$(cd "$dir" && instructions ../app/tavrest -b)")"

echo
echo "== text drawing: 1000 kanji of jiskan16 =="
build/bench/tavrest_draw_bench --benchmark_min_time=0.2
printf '%-6s %14s %14s %8s\n' "bits" "Kanji_DrawText" "direct store" "ratio"
for depth in 32 16 8; do
  counted=(valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect='*MeasuredDrawing*')
  library=$("${counted[@]}" build/bench/tavrest_draw_bench --once library "$depth" 2>&1 |
      awk '/Collected/ {print $4}')
  direct=$("${counted[@]}" build/bench/tavrest_draw_bench --once direct "$depth" 2>&1 |
      awk '/Collected/ {print $4}')
  printf '%-6s %14s %14s %8s\n' "$depth" "$(printf "%'d" "$library")" "$(printf "%'d" "$direct")" \
    "$(ratio "$library" "$direct")"
done

# An outline font at 16, beside the step a user takes without tavrest's
# FreeType reading: otf2bdf of the same file. tavrest should take at most
# half of otf2bdf's time.
echo
echo "== IPA Gothic at 16 from ipag.ttf (median of $runs) =="
ipag=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
dir=build/bench-run-ipag
mkdir -p "$dir"
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
