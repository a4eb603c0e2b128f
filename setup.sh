#!/usr/bin/env bash
# Installs what the program needs (Debian 12), builds it, then starts it or runs the tests.
#   ./setup.sh run    build and start Quillmoor Downloader
#   ./setup.sh test   build and run every test, headless, then the tests without the browser
#                     engine again under AddressSanitizer and UBSan (build-asan)
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-run}
packages=(cmake g++ make pkg-config
          qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin
          zlib1g-dev libpng-dev libjpeg62-turbo-dev libdeflate-dev
          libtiff-dev nettle-dev libtesseract-dev tesseract-ocr-eng
          qpdf poppler-utils mupdf-tools qt6-pdf-dev fonts-dejavu-core
          desktop-file-utils appstream dpkg-dev file dbus-daemon
          qt6-image-formats-plugins)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Optimised without debug information: the program and its tests build a good deal faster.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"

case "$mode" in
run)
    exec build/bin/quillmoor-downloader
    ;;
test)
    # Then the PDF engine library and the tests without the browser engine once more, with
    # AddressSanitizer and UBSan; a finding fails its test.
    # Optimised lightly, with line tables only: a finding still names its file and line, and
    # the build takes a third less time.
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" >/dev/null
    cmake --build build-asan -j"$(nproc)"
    status=0
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)") || status=1
    (cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)") || status=1
    exit $status
    ;;
*)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
