#!/usr/bin/env bash
# Installs everything Vellumdock needs to build, run and test on Debian 12.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config
  # windows and image readers (the TIFF reader lives in the image-formats plugins)
  qt6-base-dev qt6-image-formats-plugins libgl-dev
  # the program's icon, drawn from its scalable picture
  qt6-svg-dev
  # the help file's typefaces
  fonts-dejavu-core
  # TIFF pages the image-formats reader cannot decode (tiled deep images, big TIFF);
  # Flate streams of decoded images
  libtiff-dev zlib1g-dev
  # faster Flate for decoded samples; GIF indices read as they are stored
  libdeflate-dev libgif-dev
  # PDF documents, the Distiller, the registry store
  libqpdf-dev qpdf libgs-dev ghostscript libsqlite3-dev sqlite3
  # text recognition of scanned pages (the recogniser's worker links the library; its
  # language data: English, German, and the orientation detector's)
  libtesseract-dev tesseract-ocr-eng tesseract-ocr-deu tesseract-ocr-osd
  # office documents: the suite (run headless; its window descriptions must be there all the
  # same: the word processor builds the margin panel of a document's comments from them even
  # without a display, and the packages without windows lack them, so such documents crash
  # it), its SDK (cppumaker and the UNO headers the office worker is built with), and the
  # metric-compatible typefaces that keep documents at their page count
  libreoffice-writer libreoffice-calc libreoffice-impress libreoffice-draw
  libreoffice-dev fonts-liberation fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea
  fonts-dejavu-core
  # Chinese, Japanese and Korean text: one compact typeface covers them, so such documents
  # keep their text instead of empty boxes
  fonts-wqy-microhei
  # vellumdkd --listen: the embeddable HTTP server (header and library) it serves its
  # status page, health, metrics and conversions with
  libcpp-httplib-dev
  # tests: a second HTTP client, one that asks before it sends a large body
  curl
  # tests: the status page in a real browser, driven headless (the driver is an npm
  # package pinned in tests/browser/, installed by the build)
  chromium
  # tests: content checks of the PDFs made; an X display without a window manager; packing
  # the Word documents the tests write (python3's zipfile)
  libgtest-dev poppler-utils xvfb python3
  # the tray icon's test and its screenshot: a system tray on that display (Debian's only
  # stand-alone tray)
  trayer
  # benchmarks: the reference tools compared against (images; text files)
  img2pdf paps enscript
  # fuzzing: fuzz/run and its short form in CI (clang's libFuzzer and sanitizer runtimes)
  clang libclang-rt-14-dev
  # CI's check that the lines a change touches follow .clang-format (clang-format-diff)
  clang-format
)

missing=()
# The browser test's driver runs on Node.js; a machine that has it from elsewhere keeps it.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
