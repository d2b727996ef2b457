// What a merge reaches of the writer (the workbook it starts, the output, the properties and
// names it places in the copy), and the hooks through which the writer calls the merge back:
// the writer includes nothing of the merge.
#pragma once

#include <string_view>

#include "errors.hpp"
#include "names.hpp"
#include "properties.hpp"
#include "state.hpp"

namespace gridquill::detail {

// Where a merged workbook's calls meet its input; Workbook::merge points to them.
struct MergeHooks {
    // The input's head (up to the end of its styles) and the built-in styles it lacks, when
    // not yet written: before the first style a client adds.
    void (*writeHead)(WriterState &w) noexcept;
    // Before xlsAddSheet checks a name (as a reader sees it): the input's sheets that stay
    // count as names of the workbook. The input sheet that the new one replaces or
    // continues, -1 for a sheet of the client's own.
    int (*sheetTurn)(WriterState &w, std::string_view seen) noexcept;
    // Copies the input up to the place of the sheet being started (`turn` as above): the
    // Styles end at the first sheet, the input's sheets before it less the marked ones.
    void (*copySheets)(WriterState &w, int turn) noexcept;
    // After xlsAddSheet has set up a sheet that continues an input sheet: its rows follow.
    void (*sheetStarted)(WriterState &w) noexcept;
    // The end of a continued sheet: the input's rest of it. False for any other sheet.
    bool (*closeSheet)(WriterState &w) noexcept;
    // xlsClose of a merged workbook: the input after its sheets, up to its end. False when
    // there is no input to finish from.
    bool (*finish)(WriterState &w) noexcept;
};

// Ends what was open and starts an empty merged workbook.
void start_merge(WriterState &w, const MergeHooks &hooks) noexcept;

// Opens w.out.path for the merged workbook.
bool open_merge_output(WriterState &w) noexcept;

// The client's document properties, once the copied prologue has taken them.
void forget_properties(WriterState &w) noexcept;

// A workbook name the merge input defines: xlsAddName of it is a duplicate.
void register_input_name(WriterState &w, std::string_view name) noexcept;

// A copied workbook Names start line: the client's names go in it.
void write_workbook_names_inside(WriterState &w) noexcept;

}  // namespace gridquill::detail
