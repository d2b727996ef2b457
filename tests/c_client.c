/* A C99 client of the library: the records' layout as C sees it, the header's default
 * records, and a small workbook written through the interface and parsed back. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <expat.h>

#include "gridquill.h"

/* Compile-time checks: a negative array size stops the build. */
#define LAYOUT(name, cond) typedef char layout_##name[(cond) ? 1 : -1]

LAYOUT(setup_size, sizeof(xlsSheetSetup) == 340);
LAYOUT(setup_name, offsetof(xlsSheetSetup, name) == 0);
LAYOUT(setup_header, offsetof(xlsSheetSetup, header) == 32);
LAYOUT(setup_footer, offsetof(xlsSheetSetup, footer) == 160);
LAYOUT(setup_header_margin, offsetof(xlsSheetSetup, headerMargin) == 288);
LAYOUT(setup_footer_margin, offsetof(xlsSheetSetup, footerMargin) == 296);
LAYOUT(setup_top, offsetof(xlsSheetSetup, marginTop) == 304);
LAYOUT(setup_bottom, offsetof(xlsSheetSetup, marginBottom) == 312);
LAYOUT(setup_left, offsetof(xlsSheetSetup, marginLeft) == 320);
LAYOUT(setup_right, offsetof(xlsSheetSetup, marginRight) == 328);
LAYOUT(setup_gridlines, offsetof(xlsSheetSetup, gridlines) == 336);
LAYOUT(setup_reserved1, offsetof(xlsSheetSetup, reserved1) == 337);
LAYOUT(setup_reserved2, offsetof(xlsSheetSetup, reserved2) == 338);
LAYOUT(setup_orientation, offsetof(xlsSheetSetup, orientation) == 339);

LAYOUT(style_size, sizeof(xlsStyle) == 212);
LAYOUT(style_id, offsetof(xlsStyle, id) == 0);
LAYOUT(style_horizontal, offsetof(xlsStyle, horizontal) == 16);
LAYOUT(style_vertical, offsetof(xlsStyle, vertical) == 32);
LAYOUT(style_indent, offsetof(xlsStyle, indent) == 48);
LAYOUT(style_line, offsetof(xlsStyle, lineStyle) == 49);
LAYOUT(style_border_color, offsetof(xlsStyle, borderColor) == 65);
LAYOUT(style_weight_top, offsetof(xlsStyle, weightTop) == 73);
LAYOUT(style_weight_bottom, offsetof(xlsStyle, weightBottom) == 74);
LAYOUT(style_weight_left, offsetof(xlsStyle, weightLeft) == 75);
LAYOUT(style_weight_right, offsetof(xlsStyle, weightRight) == 76);
LAYOUT(style_font, offsetof(xlsStyle, fontName) == 77);
LAYOUT(style_bold, offsetof(xlsStyle, bold) == 109);
LAYOUT(style_italic, offsetof(xlsStyle, italic) == 110);
LAYOUT(style_font_size, offsetof(xlsStyle, fontSize) == 111);
LAYOUT(style_font_color, offsetof(xlsStyle, fontColor) == 112);
LAYOUT(style_interior, offsetof(xlsStyle, interiorColor) == 120);
LAYOUT(style_pattern, offsetof(xlsStyle, pattern) == 128);
LAYOUT(style_pattern_color, offsetof(xlsStyle, patternColor) == 160);
LAYOUT(style_number_format, offsetof(xlsStyle, numberFormat) == 168);
LAYOUT(style_wrap, offsetof(xlsStyle, wrapText) == 200);
LAYOUT(style_vertical_text, offsetof(xlsStyle, verticalText) == 201);
LAYOUT(style_reserved1, offsetof(xlsStyle, reserved1) == 202);
LAYOUT(style_rotate, offsetof(xlsStyle, rotate) == 204 && sizeof(int) == 4);
LAYOUT(style_protected, offsetof(xlsStyle, isProtected) == 208);
LAYOUT(style_reserved2, offsetof(xlsStyle, reserved2) == 209);

static int failures = 0;

static void check(int ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "c_client: failed: %s\n", what);
        ++failures;
    }
}

/* Every byte of the record outside the listed texts and flags is zero. */
static int zero_outside(const void *record, size_t size, const size_t *keep, size_t count) {
    const unsigned char *b = (const unsigned char *)record;
    size_t i, k;
    for (i = 0; i < size; ++i) {
        int kept = 0;
        for (k = 0; k + 1 < count * 2; k += 2)
            if (i >= keep[k] && i < keep[k] + keep[k + 1]) kept = 1;
        if (!kept && b[i] != 0) return 0;
    }
    return 1;
}

static int well_formed(const char *path) {
    static char text[1 << 16];
    size_t n;
    int ok;
    XML_Parser p;
    FILE *f = fopen(path, "rb");
    if (f == NULL) return 0;
    n = fread(text, 1, sizeof text, f);
    fclose(f);
    p = XML_ParserCreate(NULL);
    ok = XML_Parse(p, text, (int)n, 1) == XML_STATUS_OK;
    XML_ParserFree(p);
    return ok;
}

int main(void) {
    xlsSheetSetup setup = xlsSheetSetupDefault;
    xlsStyle style = xlsStyleDefault;
    /* offset and length of every text that is not empty and every flag, by default */
    const size_t setupKept[] = {0, 6, 288, 3, 296, 3, 304, 1, 312, 1, 320, 1, 328, 1, 336, 2, 339, 1};
    const size_t styleKept[] = {16, 4, 32, 6, 49, 10, 109, 2, 128, 5, 200, 2, 208, 1};

    check(strcmp(setup.name, "NoName") == 0 && strcmp(setup.headerMargin, "0.5") == 0 &&
              strcmp(setup.marginRight, "1") == 0 && setup.gridlines == '1' &&
              setup.reserved1 == '0' && setup.reserved2 == 0 && setup.orientation == 'L',
          "xlsSheetSetupDefault values");
    check(zero_outside(&setup, sizeof setup, setupKept, sizeof setupKept / sizeof setupKept[0] / 2),
          "xlsSheetSetupDefault zero bytes");
    check(strcmp(style.horizontal, "Left") == 0 && strcmp(style.vertical, "Bottom") == 0 &&
              strcmp(style.lineStyle, "Continuous") == 0 && strcmp(style.pattern, "Solid") == 0 &&
              style.bold == '0' && style.isProtected == '0' && style.rotate == 0,
          "xlsStyleDefault values");
    check(zero_outside(&style, sizeof style, styleKept, sizeof styleKept / sizeof styleKept[0] / 2),
          "xlsStyleDefault zero bytes");

    check(xlsInit("c_client.xml", "C") == XLS_OK, "xlsInit");
    check(xlsAddStyle(style, "rosso") == XLS_OK, "xlsAddStyle");
    strcpy(setup.header, "Pagina \xe8");
    setup.orientation = 'P';
    check(xlsAddSheet("Dati", setup) == XLS_OK, "xlsAddSheet");
    check(strcmp(setup.header, "Pagina \xe8") == 0, "the caller's record is unchanged");
    check(xlsColumn(1, 60, "rosso") == XLS_OK, "xlsColumn");
    check(xlsWriteCell("1234.5", 'n', "rosso") == XLS_OK, "xlsWriteCell");
    check(xlsWriteCellEx("a < b", 'S', "", "", 1, 0, 0) == XLS_OK, "xlsWriteCellEx");
    check(xlsNewLineEx(1, 20, "txt") == XLS_OK, "xlsNewLineEx");
    check(xlsWriteCell("x", 'S', "nessuno") == XLS_FAIL, "unknown style refused");
    check(strcmp(xlsGetError(), "ID stile 'nessuno' errato o mancante in xlsWriteCell().\n") == 0,
          "style message");
    check(xlsWriteCell("2", 'N', "num") == XLS_OK, "second row");
    check(xlsClose() == XLS_OK, "xlsClose");
    check(xlsClose() == XLS_FAIL, "second xlsClose refused");
    check(well_formed("c_client.xml"), "c_client.xml is well-formed");

    check(strcmp(AsciiToUtf8("\xe0"), "\xc3\xa0") == 0, "AsciiToUtf8");
    check(strcmp(strReplace("a&b", "&", "&amp;"), "a&amp;b") == 0, "strReplace");
    return failures == 0 ? 0 : 1;
}
