#!/usr/bin/env bash
# Compares pdfbuild with mutool (as it is, and compressing: mutool-z), img2pdf and ImageMagick on the same generated page files:
# pages per second, output size against the page files given, peak memory; then pdfbuild's
# peak memory with 10 and 300 pages and with pages of 2480 x 3508 (A4 at 300 dpi).
#   bench/pdfbuild_compare.sh [BUILD_DIR] [PAGES...]      (defaults: build, 20 50)
# Needs the Debian packages mupdf-tools, img2pdf and imagemagick; a tool that is missing is
# reported as failed. Debian's ImageMagick may not write PDF under its system policy; the run
# gives it a HOME of its own whose policy allows it. ImageMagick holds every page in memory at
# once and the system policy caps that, so it is given the first MAGICK_PAGES pages (default
# 10) of each kind. Each time is the best of RUNS runs (default 3; one run for a tool that
# takes over 2 seconds): the machine is shared.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
counts=("$@")
((${#counts[@]})) || counts=(20 50)
runs=${RUNS:-3}
work=$(mktemp -d /tmp/pdfbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.config/ImageMagick"
cat > "$work/home/.config/ImageMagick/policy.xml" <<'POLICY'
<policymap>
  <policy domain="coder" rights="read|write" pattern="PDF" />
  <policy domain="resource" name="memory" value="4GiB"/>
  <policy domain="resource" name="disk" value="16GiB"/>
</policymap>
POLICY

# seconds and peak resident kilobytes of a command, the fastest of $runs runs: "SECONDS KB"
measure() {
    local best="" kb=0
    for ((r = 0; r < runs; r++)); do
        if ! /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1; then
            echo "failed: $1" >&2
            echo "0 0"
            return
        fi
        read -r s k < "$work/time"
        if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s; fi
        ((k > kb)) && kb=$k
        awk -v a="$s" 'BEGIN { exit !(a > 2) }' && break
    done
    echo "$best $kb"
}

# The same with a finer clock, for builds that take a few hundredths of a second.
measure_fine() {
    local best="" kb=0
    for ((r = 0; r < runs; r++)); do
        local t0 t1
        t0=$(date +%s%N)
        if ! /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null 2>&1; then
            echo "failed: $1" >&2
            echo "0 0"
            return
        fi
        t1=$(date +%s%N)
        local s k
        s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
        read -r k < "$work/time"
        if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s; fi
        ((k > kb)) && kb=$k
        awk -v a="$s" 'BEGIN { exit !(a > 2) }' && break
    done
    echo "$best $kb"
}

printf '%-7s %5s %-10s %8s %9s %8s %10s\n' kind pages tool pages/s "size×" "peak MB" bytes
for kind in gray tinted bw photo jpeg; do
    dir="$work/$kind"
    "$build/bin/makepages" "$kind" "$(printf '%s\n' "${counts[@]}" | sort -n | tail -1)" "$dir"
    for pages in "${counts[@]}"; do
        all=("$dir"/*.jpg)
        all=("${all[@]:0:$pages}")
        some=("${all[@]:0:${MAGICK_PAGES:-10}}")
        for tool in pdfbuild mutool mutool-z img2pdf magick; do
            out="$work/$kind-$tool.pdf"
            given=("${all[@]}")
            case $tool in
            pdfbuild) read -r s kb < <(measure_fine "$build/bin/pdfbuild" "$dir" "$pages" "$out") ;;
            mutool) read -r s kb < <(measure_fine mutool convert -o "$out" "${all[@]}") ;;
            mutool-z) read -r s kb < <(measure_fine mutool convert -O compress -o "$out" "${all[@]}") ;;
            img2pdf) read -r s kb < <(measure_fine img2pdf "${all[@]}" -o "$out") ;;
            magick)
                given=("${some[@]}")
                read -r s kb < <(measure env HOME="$work/home" convert "${some[@]}" -compress zip "$out") ;;
            esac
            files=$(cat "${given[@]}" | wc -c)
            bytes=$(stat -c %s "$out" 2>/dev/null || echo 0)
            awk -v k="$kind" -v n="$pages" -v t="$tool" -v p="${#given[@]}" -v s="$s" -v b="$bytes" -v f="$files" -v m="$kb" \
                'BEGIN { if (s + 0 == 0) { printf "%-7s %5d %-10s failed\n", k, n, t; exit }
                         printf "%-7s %5d %-10s %8.2f %9.3f %8.1f %10d  (%d pages, %.3f s)\n", k, n, t, p / s, b / f, m / 1024, b, p, s }'
            rm -f "$out"
        done
    done
    rm -rf "$dir"
done

# Memory with the book's length: 10 and 300 gray pages.
"$build/bin/makepages" gray 300 "$work/long"
read -r s10 kb10 < <(RUNS=1 measure "$build/bin/pdfbuild" "$work/long" 10 "$work/long10.pdf")
read -r s300 kb300 < <(RUNS=1 measure "$build/bin/pdfbuild" "$work/long" 300 "$work/long300.pdf")
awk -v a="$kb10" -v b="$kb300" 'BEGIN { printf "memory: peak MB with 10 pages %.1f, with 300 pages %.1f (%.2fx)\n", a / 1024, b / 1024, b / a }'
rm -rf "$work/long" "$work"/long*.pdf

# Memory with large pages: 2480 x 3508 colour pages.
for kind in tinted photo; do
    "$build/bin/makepages" "$kind" 8 "$work/a4-$kind" 2480 3508
    read -r s kb < <(RUNS=1 measure "$build/bin/pdfbuild" "$work/a4-$kind" 8 "$work/a4.pdf")
    awk -v k="$kind" -v s="$s" -v m="$kb" 'BEGIN { printf "memory: 2480 x 3508 %s pages, peak MB %.1f (8 pages, %.2f pages/s)\n", k, m / 1024, 8 / s }'
    rm -rf "$work/a4-$kind" "$work/a4.pdf"
done
