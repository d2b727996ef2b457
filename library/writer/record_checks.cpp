// Compile-time checks of the two records that cross the interface by value: their sizes
// and the offset of every field are part of the binary interface.
#include <cstddef>

#include "../gridquill.h"

namespace gridquill::detail {

// xlsSheetSetup, 340 bytes.
static_assert(sizeof(xlsSheetSetup) == 340);
static_assert(offsetof(xlsSheetSetup, name) == 0);
static_assert(offsetof(xlsSheetSetup, header) == 32);
static_assert(offsetof(xlsSheetSetup, footer) == 160);
static_assert(offsetof(xlsSheetSetup, headerMargin) == 288);
static_assert(offsetof(xlsSheetSetup, footerMargin) == 296);
static_assert(offsetof(xlsSheetSetup, marginTop) == 304);
static_assert(offsetof(xlsSheetSetup, marginBottom) == 312);
static_assert(offsetof(xlsSheetSetup, marginLeft) == 320);
static_assert(offsetof(xlsSheetSetup, marginRight) == 328);
static_assert(offsetof(xlsSheetSetup, gridlines) == 336);
static_assert(offsetof(xlsSheetSetup, reserved1) == 337);
static_assert(offsetof(xlsSheetSetup, reserved2) == 338);
static_assert(offsetof(xlsSheetSetup, orientation) == 339);

// xlsStyle, 212 bytes, with its one native int at 204.
static_assert(sizeof(xlsStyle) == 212);
static_assert(offsetof(xlsStyle, id) == 0);
static_assert(offsetof(xlsStyle, horizontal) == 16);
static_assert(offsetof(xlsStyle, vertical) == 32);
static_assert(offsetof(xlsStyle, indent) == 48);
static_assert(offsetof(xlsStyle, lineStyle) == 49);
static_assert(offsetof(xlsStyle, borderColor) == 65);
static_assert(offsetof(xlsStyle, weightTop) == 73);
static_assert(offsetof(xlsStyle, weightBottom) == 74);
static_assert(offsetof(xlsStyle, weightLeft) == 75);
static_assert(offsetof(xlsStyle, weightRight) == 76);
static_assert(offsetof(xlsStyle, fontName) == 77);
static_assert(offsetof(xlsStyle, bold) == 109);
static_assert(offsetof(xlsStyle, italic) == 110);
static_assert(offsetof(xlsStyle, fontSize) == 111);
static_assert(offsetof(xlsStyle, fontColor) == 112);
static_assert(offsetof(xlsStyle, interiorColor) == 120);
static_assert(offsetof(xlsStyle, pattern) == 128);
static_assert(offsetof(xlsStyle, patternColor) == 160);
static_assert(offsetof(xlsStyle, numberFormat) == 168);
static_assert(offsetof(xlsStyle, wrapText) == 200);
static_assert(offsetof(xlsStyle, verticalText) == 201);
static_assert(offsetof(xlsStyle, reserved1) == 202);
static_assert(offsetof(xlsStyle, rotate) == 204);
static_assert(sizeof(xlsStyle::rotate) == 4);
static_assert(offsetof(xlsStyle, isProtected) == 208);
static_assert(offsetof(xlsStyle, reserved2) == 209);

}  // namespace gridquill::detail
