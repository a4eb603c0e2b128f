#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed program as a desktop
# would use it: it starts (headless) and finds its PDF engine library in the prefix, its
# desktop entry and AppStream metainfo are valid, its icons are in the hicolor theme.
#   check_install.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
id=$2
prefix=$(mktemp -d /tmp/qm-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
exe=$prefix/bin/quillmoor-downloader
[ -x "$exe" ] || { echo "no program at $exe"; exit 1; }
[ ! -e "$prefix/bin/libconverter.so" ] || { echo "engine library installed beside the program"; exit 1; }

# --version loads the engine library the way a PDF build does and names the file it loaded.
mkdir "$prefix/home"
version=$(cd / && HOME=$prefix/home QT_QPA_PLATFORM=offscreen "$exe" --version)
echo "$version"
grep -qx "PDF engine library: $prefix/lib/quillmoor-downloader/libconverter.so" <<<"$version" \
    || { echo "the installed program does not find its engine library in $prefix"; exit 1; }

desktop=$prefix/share/applications/$id.desktop
desktop-file-validate "$desktop"
grep -qx "Exec=quillmoor-downloader %u" "$desktop"
grep -qx "Icon=$id" "$desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
for size in 16x16 24x24 32x32 48x48 64x64 128x128 256x256; do
    icon=$prefix/share/icons/hicolor/$size/apps/$id.png
    # A PNG's width and height: big-endian at bytes 16 and 20.
    read -r -a b < <(od -An -tu1 -j16 -N8 "$icon")
    [ "$((b[0] << 24 | b[1] << 16 | b[2] << 8 | b[3]))x$((b[4] << 24 | b[5] << 16 | b[6] << 8 | b[7]))" = "$size" ] \
        || { echo "icon $icon missing or not $size"; exit 1; }
done
[ -s "$prefix/share/icons/hicolor/scalable/apps/$id.svg" ]
echo "install layout ok"
