// Fuzz target: any XML merged as a workbook, its sheets left out, replaced, continued and
// added to as the last bytes steer; whatever the input, nothing crashes, no stream stays
// open, and an output reported complete is well-formed with the sheets the client meant.
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "gridquill.h"

using namespace gqfuzz;

namespace {

std::string inputPath, outputPath;  // in the private directory

// The client's cells: a text with markup characters, a number, a row break, a formula.
bool client_cells() {
    return xlsWriteCell("a & <b>", 'S', "") == -1 && xlsWriteCell("2", 'N', "num") == -1 &&
           xlsNewLine() == -1 && xlsWriteCellEx("3", 'N', "", "=R[-1]C", 0, 0, 2) == -1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::string dir = make_private_dir("gridquill-merge-fuzz");
    inputPath = dir + "/in.xml";
    outputPath = dir + "/out.xml";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 3) return 0;
    // The last three bytes steer the client; the rest is the input.
    const unsigned marks = data[size - 1], which = data[size - 2], extra = data[size - 3];
    std::string input(reinterpret_cast<const char *>(data), size - 3);
    {
        std::FILE *f = std::fopen(inputPath.c_str(), "wb");
        std::fwrite(input.data(), 1, input.size(), f);
        std::fclose(f);
    }
    reset_library();
    std::remove(outputPath.c_str());
    const int fds = open_fds();
    xlsSetEncoding("UTF-8");  // input sheet names come back in UTF-8
    if (xlsInitMerge(inputPath.c_str(), outputPath.c_str()) != -1) {
        std::string error = xlsGetError();
        require(!error.empty(), "a refused merge without a message");
        reset_library();
        require(open_fds() == fds, "a stream was left open", error);
        return 0;
    }
    // Up to three input sheets marked: each two bits of `marks` say what, `which` where.
    std::string taken[3];
    int count = 0;
    while (xlsGetMergeSheet(count) != nullptr) ++count;
    for (int k = 0; k < 3 && count > 0; ++k) {
        const char *name = xlsGetMergeSheet((which >> (2 * k)) % count);
        switch ((marks >> (2 * k)) & 3) {
        case 1: xlsSheetDelete(name); break;
        case 2:
            if (xlsSheetReplace(name) == -1) taken[k] = name;
            break;
        case 3:
            if (xlsSheetAppend(name) == -1) taken[k] = name;
            break;
        default: break;
        }
    }
    if (extra & 1) xlsAddStyle(xlsStyleDefault, "fz");
    if (extra & 2) xlsAddName("Fz", "=R1C1");
    bool whole = true;
    for (const std::string &name : taken)
        if (!name.empty()) whole = xlsAddSheet(name.c_str(), xlsSheetSetupDefault) == -1 && whole;
    whole = xlsAddSheet("Client fz", xlsSheetSetupDefault) == -1 && client_cells() && whole;
    const int closed = xlsClose();
    if (closed == -1 && whole) {
        Parsed parsed = parse_workbook(read_file(outputPath.c_str()));
        require(parsed.error.empty(), "a merge reported complete is not well-formed", parsed.error);
        bool client = false;
        for (const std::string &name : parsed.sheetNames) client = client || name == "Client fz";
        require(client, "the client's sheet is missing");
    }
    reset_library();
    require(open_fds() == fds, "a stream was left open", std::to_string(open_fds() - fds));
    return 0;
}
