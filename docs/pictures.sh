#!/usr/bin/env bash
# Renders the README's pictures from the workbooks as LibreOffice shows them: the demo's and
# examples/features.c's, each converted to PDF by LibreOffice (headless), then the top of its
# first page cut out to docs/images/*.png by pdftoppm. Rerun when the output changes:
#   docs/pictures.sh [BUILD_DIR]    (default out/default, with gridquill_demo built)
# Needs soffice (Debian: libreoffice-calc-nogui), pdftoppm (poppler-utils) and cc.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/out/default}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$build/demo/gridquill_demo" </dev/null >/dev/null          # writes Prova1.xml
cc -std=c99 -I"$src/library" "$src/examples/features.c" -L"$build" -lgridquill \
  -Wl,-rpath,"$build" -o ordini
./ordini >/dev/null                                          # writes ordini.xml

pdf() {  # workbook, output folder, import filter options
  soffice -env:UserInstallation="file://$work/profile" --headless --norestore "${@:3}" \
    --convert-to pdf --outdir "$work/$2" "$1" >/dev/null 2>&1
}
pdf Prova1.xml demo
# LibreOffice's XSLT filter for this format shows what its default importer leaves out:
# comments, conditional formats, links.
pdf ordini.xml features "--infilter=MS Excel 2003 XML"

png() {  # pdf, picture name, then the part of the page at 100 dpi: x y width height
  pdftoppm -png -r 100 -f 1 -l 1 -x "$3" -y "$4" -W "$5" -H "$6" -singlefile "$1" \
    "$src/docs/images/$2"
}
png demo/Prova1.pdf demo 60 60 480 130
png features/ordini.pdf features 60 60 620 150
echo "docs/images/demo.png and docs/images/features.png rendered"
