#!/bin/sh
# Regenerates the back-end test documents in this folder.
# Needs mutool (Debian package mupdf-tools) and zip. The raw files below are written without a
# cross-reference table; "mutool clean" repairs and rewrites them as well-formed PDFs.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# text.pdf: three pages of known text (the third blank), links and an outline.
cat > "$tmp/text.pdf" <<'EOF'
%PDF-1.4
1 0 obj << /Type /Catalog /Pages 2 0 R /Outlines 20 0 R /PageMode /UseOutlines >> endobj
2 0 obj << /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >> endobj
3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R
  /Resources << /Font << /F1 9 0 R >> >> /Annots [10 0 R 11 0 R] >> endobj
4 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 7 0 R
  /Resources << /Font << /F1 9 0 R >> >> >> endobj
5 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Contents 8 0 R >> endobj
6 0 obj << >> stream
BT /F1 24 Tf 72 700 Td (Hello World) Tj 0 -30 Td (Second line here) Tj ET
BT /F1 12 Tf 72 600 Td (Visit the web site) Tj 0 -40 Td (Go to the last page) Tj ET
endstream endobj
7 0 obj << >> stream
BT /F1 18 Tf 72 700 Td (Page two says hello again) Tj ET
BT /F1 12 Tf 72 640 Td (a long experi-) Tj 0 -14 Td (ment ends here) Tj ET
endstream endobj
8 0 obj << >> stream
0 0 1 rg 50 50 200 300 re f
endstream endobj
9 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >> endobj
10 0 obj << /Type /Annot /Subtype /Link /Rect [70 595 200 615] /Border [0 0 0]
  /A << /S /URI /URI (https://example.org/nodera) >> >> endobj
11 0 obj << /Type /Annot /Subtype /Link /Rect [70 555 200 575] /Border [0 0 0]
  /Dest [5 0 R /XYZ 40 380 null] >> endobj
20 0 obj << /Type /Outlines /First 21 0 R /Last 23 0 R /Count 4 >> endobj
21 0 obj << /Title (Chapter One) /Parent 20 0 R /Next 22 0 R /First 24 0 R /Last 24 0 R /Count 1
  /Dest [3 0 R /XYZ 0 792 null] >> endobj
22 0 obj << /Title (Chapter Two) /Parent 20 0 R /Prev 21 0 R /Next 23 0 R /First 25 0 R /Last 25 0 R /Count -1
  /Dest [4 0 R /XYZ 0 700 null] >> endobj
23 0 obj << /Title (Web Site) /Parent 20 0 R /Prev 22 0 R /A << /S /URI /URI (https://example.org/) >> >> endobj
24 0 obj << /Title (Section A) /Parent 21 0 R /Dest [3 0 R /XYZ 72 600 null] >> endobj
25 0 obj << /Title (Section B) /Parent 22 0 R /Dest [5 0 R /XYZ 0 400 null] >> endobj
trailer << /Root 1 0 R >>
%%EOF
EOF
mutool clean -gg "$tmp/text.pdf" text.pdf

# nonbmp.pdf: a page whose text maps to a character outside the basic plane (U+1D400) between
# two plain letters.
cat > "$tmp/nonbmp.pdf" <<'EOF'
%PDF-1.4
1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj
2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj
3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R
  /Resources << /Font << /F1 5 0 R >> >> >> endobj
4 0 obj << >> stream
BT /F1 24 Tf 72 700 Td (xAy) Tj ET
endstream endobj
5 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 6 0 R >> endobj
6 0 obj << >> stream
/CIDInit /ProcSet findresource begin
12 dict begin
begincmap
/CMapName /Nodera-Test def
/CMapType 2 def
1 begincodespacerange
<00> <FF>
endcodespacerange
3 beginbfchar
<41> <D835DC00>
<78> <0078>
<79> <0079>
endbfchar
endcmap
CMapName currentdict /CMap defineresource pop
end
end
endstream endobj
trailer << /Root 1 0 R >>
%%EOF
EOF
mutool clean -gg "$tmp/nonbmp.pdf" nonbmp.pdf

# hits.pdf: 1500 separate "x" on one page (30 lines of 50).
{
    printf '%s\n' '%PDF-1.4'
    printf '%s\n' '1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj'
    printf '%s\n' '2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj'
    printf '%s\n' '3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R'
    printf '%s\n' '  /Resources << /Font << /F1 5 0 R >> >> >> endobj'
    printf '%s\n' '4 0 obj << >> stream'
    printf '%s\n' 'BT /F1 9 Tf 11 TL 20 760 Td'
    line=$(printf 'x %.0s' $(seq 1 50))
    for i in $(seq 1 30); do
        printf '(%s) Tj T*\n' "$line"
    done
    printf '%s\n' 'ET'
    printf '%s\n' 'endstream endobj'
    printf '%s\n' '5 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Courier >> endobj'
    printf '%s\n' 'trailer << /Root 1 0 R >>'
    printf '%s\n' '%%EOF'
} > "$tmp/hits.pdf"
mutool clean -gg "$tmp/hits.pdf" hits.pdf

# locked.pdf: text.pdf behind the user password "secret".
mutool clean -E aes-128 -U secret -O owner-secret text.pdf locked.pdf

# nested-forms.pdf: form XObjects that each draw the next one twelve times, six deep (about
# three million fills); slow to draw, for abort tests.
{
    printf '%s\n' '%PDF-1.4'
    printf '%s\n' '1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj'
    printf '%s\n' '2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj'
    printf '%s\n' '3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R'
    printf '%s\n' '  /Resources << /XObject << /X 10 0 R >> >> >> endobj'
    printf '%s\n' '4 0 obj << >> stream'
    printf '%s\n' 'q 600 0 0 780 6 6 cm /X Do Q'
    printf '%s\n' 'endstream endobj'
    for level in 0 1 2 3 4 5; do
        form=$((10 + level)); next=$((form + 1))
        if [ $level -lt 5 ]; then
            printf '%s\n' "$form 0 obj << /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /X $next 0 R >> >> >> stream"
            for i in 0 1 2 3; do for j in 0 1 2; do
                printf '%s\n' "q 0.25 0 0 0.33 0.$((25 * i)) 0.$((33 * j)) cm /X Do Q"
            done; done
        else
            printf '%s\n' "$form 0 obj << /Type /XObject /Subtype /Form /BBox [0 0 1 1] >> stream"
            printf '%s\n' '0.2 0.4 0.6 rg 0.1 0.1 0.8 0.8 re f 0 0 m 1 1 l S'
        fi
        printf '%s\n' 'endstream endobj'
    done
    printf '%s\n' 'trailer << /Root 1 0 R >>'
    printf '%s\n' '%%EOF'
} > "$tmp/nested-forms.pdf"
mutool clean -gg "$tmp/nested-forms.pdf" nested-forms.pdf

# book.epub: a two-chapter EPUB.
mkdir -p "$tmp/epub/META-INF" "$tmp/epub/OEBPS"
printf 'application/epub+zip' > "$tmp/epub/mimetype"
cat > "$tmp/epub/META-INF/container.xml" <<'EOF'
<?xml version="1.0"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
  <rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/></rootfiles>
</container>
EOF
cat > "$tmp/epub/OEBPS/content.opf" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="2.0" unique-identifier="id">
  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
    <dc:title>Nodera Test Book</dc:title><dc:identifier id="id">nodera-test-book</dc:identifier><dc:language>en</dc:language>
  </metadata>
  <manifest>
    <item id="c1" href="chapter1.xhtml" media-type="application/xhtml+xml"/>
    <item id="c2" href="chapter2.xhtml" media-type="application/xhtml+xml"/>
    <item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
  </manifest>
  <spine toc="ncx"><itemref idref="c1"/><itemref idref="c2"/></spine>
</package>
EOF
cat > "$tmp/epub/OEBPS/toc.ncx" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1">
  <head><meta name="dtb:uid" content="nodera-test-book"/></head>
  <docTitle><text>Nodera Test Book</text></docTitle>
  <navMap>
    <navPoint id="n1" playOrder="1"><navLabel><text>First Chapter</text></navLabel><content src="chapter1.xhtml"/></navPoint>
    <navPoint id="n2" playOrder="2"><navLabel><text>Second Chapter</text></navLabel><content src="chapter2.xhtml"/></navPoint>
  </navMap>
</ncx>
EOF
for n in 1 2; do
    cat > "$tmp/epub/OEBPS/chapter$n.xhtml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>Chapter $n</title></head>
<body><h1>Chapter $n</h1><p>The quick brown fox of chapter $n jumps over the lazy dog.</p></body></html>
EOF
done
find "$tmp/epub" -exec touch -d "2020-01-01 00:00:00" {} +
rm -f book.epub
(cd "$tmp/epub" && zip -X -q -0 "$OLDPWD/book.epub" mimetype && zip -X -q -r "$OLDPWD/book.epub" META-INF OEBPS)

# Damaged files.
head -c 600 text.pdf > truncated.pdf
{ printf '%%PDF-1.7\n'; awk 'BEGIN { srand(5); for (i = 0; i < 6000; i++) printf "%c", int(rand() * 94) + 33 }'; } > garbage.pdf
: > empty.pdf
printf 'These are plain notes, not a PDF document.\nSecond line.\n' > notes-not-pdf.pdf
head -c 300 book.epub > truncated.epub
