#!/usr/bin/env bash
# Compares pdfbuild with img2pdf and ImageMagick on the same generated page files:
# pages per second, output size against the page files given, peak memory.
#   bench/pdfbuild_compare.sh [BUILD_DIR] [PAGES]      (defaults: build, 50)
# Needs the Debian packages img2pdf and imagemagick. Debian's ImageMagick may not write
# PDF under its system policy; the run gives it a HOME of its own whose policy allows it.
# ImageMagick holds every page in memory at once and the system policy caps that, so it is
# given the first MAGICK_PAGES pages (default 10) of each kind.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
pages=${2:-50}
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

# seconds and peak resident kilobytes of a command: "SECONDS KB"
measure() {
    if /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1; then
        cat "$work/time"
    else
        echo "failed: $1" >&2
        echo "0 0"
    fi
}

printf '%-7s %-10s %8s %9s %8s %10s\n' kind tool pages/s "size×" "peak MB" bytes
for kind in gray tinted bw photo jpeg; do
    dir="$work/$kind"
    "$build/bin/makepages" "$kind" "$pages" "$dir"
    all=("$dir"/*.jpg)
    some=("${all[@]:0:${MAGICK_PAGES:-10}}")
    for tool in pdfbuild img2pdf magick; do
        out="$work/$kind-$tool.pdf"
        given=("${all[@]}")
        case $tool in
        pdfbuild) read -r s kb < <(measure "$build/bin/pdfbuild" "$dir" "$pages" "$out") ;;
        img2pdf) read -r s kb < <(measure img2pdf "${all[@]}" -o "$out") ;;
        magick)
            given=("${some[@]}")
            read -r s kb < <(measure env HOME="$work/home" convert "${some[@]}" -compress zip "$out") ;;
        esac
        files=$(cat "${given[@]}" | wc -c)
        bytes=$(stat -c %s "$out" 2>/dev/null || echo 0)
        awk -v k="$kind" -v t="$tool" -v p="${#given[@]}" -v s="$s" -v b="$bytes" -v f="$files" -v m="$kb" \
            'BEGIN { if (s + 0 == 0) { printf "%-7s %-10s failed\n", k, t; exit }
                     printf "%-7s %-10s %8.2f %9.3f %8.1f %10d  (%d pages)\n", k, t, p / s, b / f, m / 1024, b, p }'
    done
    rm -f "$work/$kind"-*.pdf
done

# Memory with the book's length: 10 and 300 gray pages.
"$build/bin/makepages" gray 300 "$work/long"
read -r s10 kb10 < <(measure "$build/bin/pdfbuild" "$work/long" 10 "$work/long10.pdf")
read -r s300 kb300 < <(measure "$build/bin/pdfbuild" "$work/long" 300 "$work/long300.pdf")
awk -v a="$kb10" -v b="$kb300" 'BEGIN { printf "memory: peak MB with 10 pages %.1f, with 300 pages %.1f (%.2fx)\n", a / 1024, b / 1024, b / a }'
