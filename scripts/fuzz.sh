#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every fuzz target for SECONDS each, two at a time.
#   scripts/fuzz.sh BUILD_DIR SECONDS [FINDINGS_DIR]
# BUILD_DIR must be a clang build with TAVREST_FUZZ=ON (test.sh makes one).
# Inputs that crash are kept in FINDINGS_DIR; the grown corpus stays in
# BUILD_DIR/fuzz-corpus, so a later run goes on where this one stopped.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=$2
findings=${3:-$build/fuzz-findings}
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(bdf config rle tga bmp draw qpk font command_line viewer)
mkdir -p "$findings"
"$root/tests/support/make_fonts.sh" "$build/fonts" > /dev/null

# Seeds the build makes from Debian's fonts: the start of real BDF files.
font_seeds() {
  local seeds=$build/fuzz-seeds/bdf
  mkdir -p "$seeds"
  local index=0
  for font in 8x16rk jiskan16 k14 12x24rk jiskan24; do
    { printf "\\x$(printf %02x $index)"; head -c 12000 "$build/fonts/$font.bdf"; } > "$seeds/$font"
    index=$((index + 1))
  done
  echo "$seeds"
}

# Seeds cut down from the installed PCF, TrueType and OpenType fonts: their
# first 16 KiB, taken as they are (first byte 0x10), and one whole .pcf.gz.
freetype_seeds() {
  local seeds=$build/fuzz-seeds/font
  mkdir -p "$seeds"
  local misc=/usr/share/fonts/X11/misc
  for font in 8x16rk 4x6 jiskan16; do
    { printf '\x10'; gzip -dc "$misc/$font.pcf.gz" | head -c 16384; } > "$seeds/$font.pcf"
  done
  { printf '\x11'; cat "$misc/8x16rk.pcf.gz"; } > "$seeds/8x16rk.pcf.gz"
  for font in /usr/share/fonts/truetype/misaki/misaki_gothic.ttf \
              /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf \
              /usr/share/fonts/opentype/unifont/unifont.otf; do
    [ -e "$font" ] && { printf '\x12'; head -c 16384 "$font"; } > "$seeds/$(basename "$font")"
  done
  echo "$seeds"
}

run_target() {
  local target=$1
  local corpus=$build/fuzz-corpus/$target
  local log=$build/fuzz-$target.log
  local seeds=("$root/fuzz/corpus/$target" "$root/fuzz/regressions/$target")
  [ "$target" = bdf ] && seeds+=("$(font_seeds)")
  [ "$target" = font ] && seeds+=("$(freetype_seeds)")
  mkdir -p "$corpus"
  if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -artifact_prefix="$findings/$target-" "$corpus" "${seeds[@]}" > "$log" 2>&1; then
    echo "fuzz_$target: clean for ${seconds}s ($(grep -o 'Done [0-9]* runs' "$log" | awk '{print $2}') runs)"
  else
    echo "fuzz_$target: FOUND A FAULT (inputs in $findings, log $log)"
    grep -E "ERROR|SUMMARY|runtime error" "$log" | head -5
    return 1
  fi
}

status=0
pids=()
for target in "${targets[@]}"; do
  run_target "$target" &
  pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
