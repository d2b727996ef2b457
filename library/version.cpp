// The library's version at run time: the project version the build was made from.
#include "gridquill.h"

static_assert(sizeof GRIDQUILL_VERSION_TEXT > 1, "the build names the version");

extern "C" const char *xlsVersion(void) noexcept { return GRIDQUILL_VERSION_TEXT; }
