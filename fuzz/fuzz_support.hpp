// Helpers the fuzz targets share: a private working directory, open-descriptor counts,
// the XML check of a written workbook and reference forms of the text services.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace gqfuzz {

// Creates a fresh directory under $TMPDIR (else /dev/shm, else /tmp), removed at exit, and
// removes those that killed runs left behind; returns its path. The working directory
// stays: libFuzzer writes its corpus there.
std::string make_private_dir(const char *prefix);

// Brings the library to a known state: no workbook and no stream open, the registries
// empty, the position at row 1, column 2, no message.
void reset_library();

// Number of descriptors open in this process.
int open_fds();

// Prints a line where libFuzzer prints, also under -close_fd_mask=2.
void note(const std::string &line);

// Stops the run with a message: the finding libFuzzer reports with the input.
[[noreturn]] void finding(const char *what, std::string_view detail = {});
inline void require(bool ok, const char *what, std::string_view detail = {}) {
    if (!ok) finding(what, detail);
}

// A workbook parsed with expat: its error ("" when well-formed) and the character data of
// every Data element inside a Cell, in document order.
struct Parsed {
    std::string error;
    std::vector<std::string> cellValues;
    std::vector<std::string> sheetNames;  // ss:Name of each Worksheet, as expat reads it
};
Parsed parse_workbook(const std::string &text);

std::string read_file(const char *path);

// Bytes that break well-formedness where the library writes a text verbatim (attributes
// and the author): markup characters, the quote, control characters, and bytes from 0x80
// on, which make invalid UTF-8.
bool verbatim_special(unsigned char b);
bool has_verbatim_special(std::string_view s);
// In header and footer texts, which are converted (not escaped) into attributes.
bool has_markup_special(std::string_view s);

// What a cell value becomes as character data: Latin-1 to UTF-8, control characters as
// blanks, before any cut.
std::string expected_cell_text(std::string_view value);

// The client's encodings, in the order of the names xlsSetEncoding takes.
enum class Enc { latin1, cp1252, utf8 };

// What a reader sees of a name or ID the library writes for `text` read in `e`, after cutting
// it to `max` characters (bytes in the Latin-1 mode), never inside one; npos: no cut.
std::string reference_seen(std::string_view text, Enc e, std::size_t max = std::string::npos);

// What a reader sees of a cell value in a new mode: whole up to 32767 UTF-16 units.
std::string reference_cell(std::string_view value, Enc e);

// Reference forms of AsciiToUtf8 and strReplace with their limits.
std::string reference_utf8(std::string_view text);
std::string reference_replace(std::string_view str, std::string_view search,
                              std::string_view replacement);

}  // namespace gqfuzz
