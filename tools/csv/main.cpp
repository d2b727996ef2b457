// gridquill-csv: turns CSV and TSV files into one workbook, a worksheet per input, or adds
// them as worksheets to an existing workbook. Parsing is libcsv's; writing is Gridquill's.
#include <csv.h>
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../../library/textutil/names.hpp"
#include "encoding.hpp"
#include "gridquill.h"
#include "typing.hpp"

namespace gqcsv {

namespace {

constexpr std::string_view kProgram = "gridquill-csv";
constexpr int kExitInput = 1, kExitUsage = 2;

constexpr std::size_t kChunk = 256 * 1024;      // bytes read at a time
constexpr std::size_t kSample = 64 * 1024;      // bytes the delimiter is guessed from
constexpr int kSampleRows = 20;                 // rows of the sample that count
constexpr std::size_t kWidthRows = 1000;        // rows the column widths are taken from
constexpr std::size_t kWidthBytes = 4 << 20;    // ... held at most, in bytes
constexpr int kMaxColumns = XLS_MAX_COLUMNS;     // columns of a worksheet in this format
constexpr unsigned long long kMaxRows = XLS_MAX_ROWS;  // rows of a worksheet
constexpr int kMaxSkip = XLS_MAX_SKIP;           // empty cells one xlsWriteCellEx can skip
constexpr std::size_t kSheetNameMax = XLS_MAX_SHEET_NAME;  // characters of a sheet name
constexpr int kWidthPerChar = 6, kWidthExtra = 12, kWidthMin = 30, kWidthMax = 300;  // points
constexpr int kFilterButton = 14;               // points the filter button takes in a header

// Style IDs the tool adds to each workbook.
constexpr const char *kHeadStyle = "csvHead";
constexpr const char *kDateStyle = "csvDate";
constexpr const char *kTimeStyle = "csvTime";
constexpr const char *kWrapStyle = "csvWrap";  // texts with line breaks, shown on several lines

const char kUsage[] =
    "Uso: gridquill-csv [OPZIONI] [FILE.csv...] [-o CARTELLA.xml]\n"
    "Converte file CSV o TSV (o lo standard input, anche indicato con -) in una cartella di\n"
    "lavoro XML Spreadsheet 2003, un foglio per file, chiamato come il file.\n"
    "\n"
    "  -o, --output FILE       la cartella da scrivere (senza: lo standard output)\n"
    "  -a, --append-to FILE    copia la cartella FILE (di qualunque programma) e vi aggiunge\n"
    "                          i fogli, sostituendo al loro posto quelli con lo stesso\n"
    "                          nome; senza -o riscrive FILE stesso (se non esiste, lo crea)\n"
    "      --append-rows       con --append-to: le righe di ogni file continuano il foglio\n"
    "                          con lo stesso nome, senza ripeterne l'intestazione\n"
    "  -s, --sheet NOME        nome del foglio del prossimo file (ripetibile)\n"
    "  -d, --delimiter C       separatore: un carattere, o \"tab\" (senza: il primo tra\n"
    "                          virgola, punto e virgola e tabulazione che torna nelle\n"
    "                          prime righe)\n"
    "  -e, --encoding NOME     utf-8 (predefinito; un BOM iniziale e' saltato),\n"
    "                          windows-1252 o iso-8859-1\n"
    "      --decimal-comma     numeri all'italiana: 1.234,56 (la virgola non e' separatore)\n"
    "      --dates ORDINE      date col giorno prima (dmy: 31/01/2024, 31.01.2024,\n"
    "                          31-01-2024) o col mese prima (mdy); predefinito: iso\n"
    "  -t, --text              ogni cella come testo, senza numeri ne' date\n"
    "      --no-header         la prima riga e' di dati: niente intestazione in grassetto,\n"
    "                          bloccata e con filtro\n"
    "  -q, --quiet             nessun avanzamento e nessun avviso\n"
    "  -h, --help              questo aiuto\n"
    "      --version           la versione\n"
    "\n"
    "Numeri e date ISO (2024-01-31, 2024-01-31 10:30:00) diventano celle Numero e Data; i\n"
    "testi che un foglio di calcolo rovinerebbe restano testo: zeri iniziali (00123), piu'\n"
    "di 15 cifre significative, \"+39...\", \"1e5\". La cartella e' scritta in un file\n"
    "temporaneo e sostituisce quella vecchia solo a lavoro finito. Le righe oltre la\n"
    "1048576 di un foglio continuano in un foglio nuovo, \"NOME (2)\", con l'intestazione.\n"
    "\n"
    "Uscita: 0 fatto (anche con avvisi), 1 errore nei dati in ingresso o in scrittura,\n"
    "2 errore d'uso.\n";

struct Options {
    std::vector<std::string> inputs;
    std::vector<std::string> sheets;
    std::string output;    // "" for standard output
    std::string appendTo;  // "" when not merging
    char delimiter = 0;    // 0: guessed per input
    Encoding encoding = Encoding::utf8;
    bool decimalComma = false, text = false, header = true, quiet = false;
    DateOrder dates = DateOrder::iso;
    bool appendRows = false;  // rows continue the sheets of the same name
};

// Totals of a run, for the closing warnings and the progress line.
struct Counts {
    unsigned long long bytes = 0, rows = 0;
    std::size_t replaced = 0;  // invalid UTF-8 sequences
};

int usage_error(std::string_view what) {
    std::fprintf(stderr, "%.*s: %.*s\nProvare '%.*s --help'.\n", int(kProgram.size()),
                 kProgram.data(), int(what.size()), what.data(), int(kProgram.size()),
                 kProgram.data());
    return kExitUsage;
}

// A message on the standard error stream, after the program's name.
template <class... T>
void say(const char *format, T... args) {
    std::fprintf(stderr, "%s: ", kProgram.data());
    std::fprintf(stderr, format, args...);
}

// ---- the workbook's file ------------------------------------------------------------

// A signal that ends the run: the handler only notes it; the conversion stops at its next
// chunk, the workbook is abandoned (the library removes its temporary file, wherever it
// is), and the signal is raised again with its default action.
volatile std::sig_atomic_t g_signal = 0;

// Notes the signal and closes the standard input, so that a read of a pipe that began, or
// begins, after the signal does not wait for more input.
extern "C" void note_signal(int signal) {
    g_signal = signal;
    close(STDIN_FILENO);
}

// Installs the handler, without restarting reads, so that a read waiting on a pipe ends.
void stop_on_signals() {
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(s, &action, nullptr);
}

// After the workbook was abandoned and the staging file removed: ends the run as the
// signal would have.
[[noreturn]] void die_of_signal() {
    int signal = g_signal;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

// A merge onto the standard output: the library writes a temporary file, copied out once
// complete.
class Staging {
public:
    ~Staging() {
        if (!path_.empty()) unlink(path_.c_str());
    }

    bool create() {
        const char *tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                "/gridquill-csv-XXXXXX";
        int fd = mkstemp(path_.data());
        if (fd < 0) {
            say("impossibile creare un file temporaneo: %s\n", std::strerror(errno));
            path_.clear();
            return false;
        }
        close(fd);
        return true;
    }

    const std::string &path() const { return path_; }
    void remove() {
        if (!path_.empty()) unlink(path_.c_str());
        path_.clear();
    }

    bool copy_to_stdout() {
        std::FILE *in = std::fopen(path_.c_str(), "rb");
        static char buffer[kChunk];
        bool ok = in != nullptr;
        while (ok) {
            std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
            if (n == 0) break;
            ok = std::fwrite(buffer, 1, n, stdout) == n;
        }
        ok = ok && !std::ferror(in) && std::fflush(stdout) == 0;
        if (in != nullptr) std::fclose(in);
        if (!ok) say("errore in scrittura sullo standard output: %s\n", std::strerror(errno));
        return ok;
    }

private:
    std::string path_;
};

// ---- progress -------------------------------------------------------------------------

// Rows, megabytes and megabytes per second on the standard error stream, when it is a
// terminal, four times a second.
class Progress {
public:
    explicit Progress(bool on) : on_(on && isatty(STDERR_FILENO)) {}

    void update(const Counts &c, bool last = false) {
        if (!on_) return;
        auto now = std::chrono::steady_clock::now();
        if (!last && now - shown_ < std::chrono::milliseconds(250)) return;
        shown_ = now;
        double seconds = std::chrono::duration<double>(now - start_).count();
        double mb = static_cast<double>(c.bytes) / 1e6;
        std::fprintf(stderr, "\r%llu righe, %.1f MB, %.1f MB/s ", c.rows, mb,
                     seconds > 0 ? mb / seconds : 0.0);
        if (last) std::fputc('\n', stderr);
    }

private:
    bool on_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), shown_{};
};

// ---- one input, one worksheet ---------------------------------------------------------

// The name with the characters a sheet name cannot hold as '_', as the library writes it.
std::string mended_name(std::string name) {
    for (char &c : name)
        if (std::strchr("[]:*?/\\", c) != nullptr) c = '_';
    return name;
}

// Sheet name from a file name: the name without folder and extension, mended.
std::string sheet_name_of(const std::string &path) {
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    return mended_name(name);
}

// A sheet name case folded, as the library folds it to compare names.
std::string folded(std::string_view name) {
    std::string out(4 * name.size(), '\0');  // a folded character takes at most 1.5 times
    bool whole = true;
    out.resize(gridquill::detail::fold_into(out.data(), out.size(), name, whole));
    return out;
}

// Whether two sheet names read as the same: readers compare them without case, in every
// script that has case.
bool same_name(std::string_view a, std::string_view b) { return folded(a) == folded(b); }

bool name_taken(const std::vector<std::string> &names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string &n) { return same_name(n, name); });
}

// At most `max` characters of a UTF-8 name, cut before a character.
std::string cut_name(std::string name, std::size_t max = kSheetNameMax) {
    std::size_t chars = 0, i = 0;
    for (; i < name.size(); ++i)
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80 && ++chars > max) break;
    name.resize(i);
    return name;
}

// `base`, or from the `first`-th on "base (k)" cut to a sheet name's length, whichever is
// not yet in `names` (which gets it).
std::string new_name(std::vector<std::string> &names, const std::string &base, int first = 1) {
    for (int k = first;; ++k) {
        std::string suffix = k > 1 ? " (" + std::to_string(k) + ")" : "";
        std::string name = cut_name(base, kSheetNameMax - suffix.size()) + suffix;
        if (!name_taken(names, name)) {
            names.push_back(name);
            return name;
        }
    }
}

class Sheet {
public:
    // `appending`: the rows go after those of the workbook's sheet of that name, its
    // header row (when the options say the input has one) left out.
    Sheet(const Options &o, Counts &counts, Progress &progress, std::vector<std::string> &names,
          bool appending = false)
        : o_(appending ? without_header(o) : o), counts_(counts), progress_(progress), names_(names),
          skipping_(appending && o.header), appending_(appending), held_(!appending) {}

    // Converts the open input into the worksheet `name`: 0, or the exit
    // status of a failure (its message printed).
    int convert(std::FILE *in, const std::string &label, const std::string &name) {
        label_ = label;
        name_ = name;
        static char chunk[kChunk + 1];
        std::size_t n = std::fread(chunk, 1, kSample, in);
        std::string_view data(chunk, n);
        if (data.starts_with("\xFF\xFE") || data.starts_with("\xFE\xFF")) {
            say("%s: UTF-16 non e' supportato: convertirlo prima in UTF-8\n", label.c_str());
            return kExitInput;
        }
        if (o_.encoding == Encoding::utf8 && data.starts_with("\xEF\xBB\xBF")) data.remove_prefix(3);
        char delimiter = o_.delimiter != 0 ? o_.delimiter : guess_delimiter(data, o_.decimalComma);

        if (!xlsAddSheet(name.c_str(), xlsSheetSetupDefault)) return kExitInput;
        csv_parser parser;
        if (csv_init(&parser, CSV_APPEND_NULL) != 0) return fail_memory();
        csv_set_delim(&parser, static_cast<unsigned char>(delimiter));
        csv_set_space_func(&parser, [](unsigned char) { return 0; });  // blanks are data
        int status = 0;
        for (;;) {
            newlines_ += static_cast<unsigned long long>(std::count(data.begin(), data.end(), '\n'));
            if (csv_parse(&parser, data.data(), data.size(), on_field, on_row, this) != data.size()) {
                say("%s: %s\n", label.c_str(), csv_strerror(csv_error(&parser)));
                status = kExitInput;
                break;
            }
            if (failed_ || g_signal != 0) break;
            counts_.bytes += data.size();
            progress_.update(counts_);
            n = std::fread(chunk, 1, kChunk, in);
            if (n == 0) break;
            data = std::string_view(chunk, n);
        }
        if (status == 0 && !failed_ && g_signal == 0 && std::ferror(in)) {
            say("%s: errore in lettura: %s\n", label.c_str(), std::strerror(errno));
            status = kExitInput;
        }
        if (status == 0 && !failed_) status = finish(parser);
        csv_free(&parser);
        return failed_ ? kExitInput : status;
    }

private:
    struct Field {
        std::size_t start, size;
    };

    static void on_field(void *text, std::size_t size, void *self) {
        static_cast<Sheet *>(self)->field(static_cast<const char *>(text), size);
    }
    static void on_row(int, void *self) { static_cast<Sheet *>(self)->row(); }

    // The delimiter among comma, semicolon and tab that splits the sample's first rows
    // into the same number of fields most often (more fields break a tie; comma first).
    // Numbers with a decimal comma leave the comma out.
    static char guess_delimiter(std::string_view sample, bool decimalComma) {
        char best = decimalComma ? ';' : ',';
        int bestRows = 0, bestFields = 1;
        for (char candidate : {',', ';', '\t'}) {
            if (decimalComma && candidate == ',') continue;
            struct Tally {
                int fields = 0, first = 0, same = 0, rows = 0;
            } t;
            csv_parser p;
            if (csv_init(&p, 0) != 0) break;
            csv_set_delim(&p, static_cast<unsigned char>(candidate));
            csv_parse(&p, sample.data(), sample.size(),
                      [](void *, std::size_t, void *d) { ++static_cast<Tally *>(d)->fields; },
                      [](int, void *d) {
                          auto &t = *static_cast<Tally *>(d);
                          if (++t.rows == 1) t.first = t.fields;
                          if (t.rows <= kSampleRows && t.fields == t.first) ++t.same;
                          t.fields = 0;
                      },
                      &t);
            csv_free(&p);
            if (t.first > 1 && (t.same > bestRows || (t.same == bestRows && t.first > bestFields))) {
                best = candidate;
                bestRows = t.same;
                bestFields = t.first;
            }
        }
        return best;
    }

    static Options without_header(Options o) {
        o.header = false;
        return o;
    }

    void field(const char *text, std::size_t size) {
        if (failed_ || skipping_) return;
        if (held_) {
            fields_.push_back({text_.size(), size});
            text_.append(text == nullptr ? "" : text, size).push_back('\0');
            return;
        }
        write_field(text == nullptr ? "" : text, size);
    }

    void row() {
        if (skipping_) {
            skipping_ = false;
            return;
        }
        if (failed_) return;
        if (held_) {
            rowEnds_.push_back(fields_.size());
            if (rowEnds_.size() >= kWidthRows || text_.size() >= kWidthBytes) flush();
            return;
        }
        end_row();
    }

    // Writes the header's frozen pane and filter and the column definitions from the held
    // rows, then the rows themselves; from then on rows are written as they are parsed.
    void flush() {
        held_ = false;
        if (o_.header && !rowEnds_.empty()) {
            int columns = static_cast<int>(std::min<std::size_t>(rowEnds_[0], kMaxColumns));
            filterColumns_ = columns;
            if (!xlsFreezePanes(1, 0) || (columns > 0 && !xlsAutoFilter(1, 1, 0, columns)))
                failed_ = true;
        }
        std::vector<std::size_t> widest;
        std::size_t first = 0;
        for (std::size_t r = 0; r < rowEnds_.size(); ++r) {
            std::size_t end = rowEnds_[r];
            for (std::size_t f = first; f < end && f - first < kMaxColumns; ++f) {
                std::string_view s(text_.data() + fields_[f].start, fields_[f].size);
                std::size_t chars = o_.encoding == Encoding::utf8 ? characters(s) : s.size();
                if (r == 0 && o_.header) chars += kFilterButton / kWidthPerChar + 1;
                if (f - first >= widest.size()) widest.resize(f - first + 1, 0);
                widest[f - first] = std::max(widest[f - first], chars);
            }
            first = end;
        }
        for (std::size_t c = 0; c < widest.size() && !failed_; ++c) {
            long width = static_cast<long>(std::min<std::size_t>(widest[c], 1000)) * kWidthPerChar +
                         kWidthExtra;
            width = std::clamp(width, long{kWidthMin}, long{kWidthMax});
            widths_.push_back(static_cast<int>(width));
            if (!xlsColumn(static_cast<int>(c + 1), static_cast<int>(width), "")) failed_ = true;
        }
        first = 0;
        for (std::size_t end : rowEnds_) {
            for (std::size_t f = first; f < end; ++f)
                write_field(text_.data() + fields_[f].start, fields_[f].size);
            end_row();
            first = end;
        }
        for (std::size_t f = first; f < fields_.size(); ++f)  // a row still open
            write_field(text_.data() + fields_[f].start, fields_[f].size);
        std::string().swap(text_);
        std::vector<Field>().swap(fields_);
        std::vector<std::size_t>().swap(rowEnds_);
    }

    // One field of the current row, zero-terminated at text[size].
    void write_field(const char *text, std::size_t size) {
        if (failed_) return;
        if (column_ == 0 && sheetRows_ == kMaxRows) continue_sheet();
        else if (column_ == 0 && rows_ > 0 && !xlsNewLine()) failed_ = true;
        if (++column_ > kMaxColumns) {
            ++dropped_;
            return;
        }
        if (size == 0) {
            ++skip_;
            return;
        }
        std::string_view value = to_utf8({text, size}, o_.encoding, scratch_, counts_.replaced);
        const char *style = "";
        char type = 'S';
        Typed typed;
        bool header = rows_ == 0 && o_.header;
        if (header) {
            style = kHeadStyle;
            headerCells_.resize(column_);
            headerCells_.back().assign(value);
        } else if (!o_.text) {
            typed = classify(value, o_.decimalComma, o_.dates);
            if (typed.kind != Kind::text) value = typed.value;
            if (typed.kind == Kind::number) type = 'N';
            if (typed.kind == Kind::date) type = 'D', style = kDateStyle;
            if (typed.kind == Kind::datetime) type = 'D', style = kTimeStyle;
        }
        if (type == 'S' && !header && value.find('\n') != std::string_view::npos) style = kWrapStyle;
        write_cell(value, type, style);
    }

    // One cell; `value` is zero-terminated at its end.
    void write_cell(std::string_view value, char type, const char *style) {
        while (skip_ > kMaxSkip && !failed_) {  // beyond one skip's reach: empty texts
            if (!xlsWriteCell("", 'S', "")) failed_ = true;
            --skip_;
        }
        if (!xlsWriteCellEx(value.data(), type, style, "", skip_, 0, 0)) failed_ = true;
        skip_ = 0;
        ++cells_;
    }

    // Rows past the grid's last go on in a new sheet named after the first with " (2)",
    // " (3)"..., with the same columns and the header repeated, frozen and filtered.
    void continue_sheet() {
        std::string name = new_name(names_, name_, 2);
        if (!xlsAddSheet(name.c_str(), xlsSheetSetupDefault)) {
            failed_ = true;
            return;
        }
        if (continued_++ == 0) firstMoved_ = rows_ + 1;
        lastSheet_ = name;
        sheetRows_ = 0;
        for (std::size_t c = 0; c < widths_.size(); ++c)
            if (!xlsColumn(static_cast<int>(c + 1), widths_[c], "")) failed_ = true;
        if (!o_.header || failed_) return;
        if (!xlsFreezePanes(1, 0) ||
            (filterColumns_ > 0 && !xlsAutoFilter(1, 1, 0, filterColumns_)))
            failed_ = true;
        for (const std::string &h : headerCells_) {
            if (h.empty()) ++skip_;
            else write_cell(h, 'S', kHeadStyle);
        }
        if (cells_ == 0) write_cell("", 'S', kHeadStyle);
        skip_ = cells_ = 0;
        sheetRows_ = 1;
        if (!failed_ && !xlsNewLine()) failed_ = true;
    }

    void end_row() {
        if (failed_) return;
        if (column_ == 0) write_field("", 0);  // never: libcsv leaves out empty lines
        if (cells_ == 0) write_cell("", 'S', rows_ == 0 && o_.header ? kHeadStyle : "");
        ++rows_;
        ++sheetRows_;
        ++counts_.rows;
        if (rows_ == 1) fieldsInFirst_ = column_;
        else if (column_ != fieldsInFirst_ && ragged_++ == 0) firstRagged_ = rows_;
        column_ = 0;
        skip_ = 0;
        cells_ = 0;
    }

    // Ends the input: an unterminated quoted field is an error that names its line.
    int finish(csv_parser &parser) {
        std::size_t inField = static_cast<std::size_t>(
            std::count(parser.entry_buf, parser.entry_buf + parser.entry_pos, '\n'));
        csv_set_opts(&parser, static_cast<unsigned char>(csv_get_opts(&parser) | CSV_STRICT |
                                                          CSV_STRICT_FINI));
        if (csv_fini(&parser, on_field, on_row, this) != 0) {
            say("%s: virgolette aperte alla riga %llu e mai chiuse\n", label_.c_str(),
                newlines_ - inField + 1);
            return kExitInput;
        }
        if (held_) flush();
        if (rows_ == 0 && !failed_ && !appending_) {  // an empty input: a sheet needs a cell
            write_cell("", 'S', "");
            ++rows_;
        }
        if (failed_) return kExitInput;
        if (!o_.quiet && ragged_ > 0)
            say("%s: %llu %s con un numero di campi diverso dai %llu della prima (la prima "
                "alla riga %llu)\n",
                label_.c_str(), ragged_, ragged_ == 1 ? "riga" : "righe", fieldsInFirst_,
                firstRagged_);
        if (!o_.quiet && continued_ > 0)
            say("%s: righe oltre la %llu di un foglio: dalla riga %llu continuano nei fogli "
                "seguenti, fino a '%s'\n",
                label_.c_str(), kMaxRows, firstMoved_, lastSheet_.c_str());
        if (!o_.quiet && dropped_ > 0)
            say("%s: %llu %s oltre la colonna %d\n", label_.c_str(), dropped_,
                dropped_ == 1 ? "cella omessa" : "celle omesse", kMaxColumns);
        return 0;
    }

    int fail_memory() {
        say("%s: memoria esaurita\n", label_.c_str());
        return kExitInput;
    }

    const Options o_;
    Counts &counts_;
    Progress &progress_;
    std::vector<std::string> &names_;  // every sheet name of the workbook
    std::string label_, name_;
    // The sheets rows past the grid went on in, and what each repeats of the first.
    unsigned long long sheetRows_ = 0, continued_ = 0, firstMoved_ = 0;
    std::string lastSheet_;
    std::vector<std::string> headerCells_;
    std::vector<int> widths_;
    int filterColumns_ = 0;
    bool failed_ = false;
    bool skipping_ = false;  // the header row of a continued sheet
    bool appending_ = false;
    // Rows held for the column widths.
    bool held_ = true;
    std::string text_;
    std::vector<Field> fields_;
    std::vector<std::size_t> rowEnds_;
    // The row being written.
    unsigned long long column_ = 0, rows_ = 0;
    int skip_ = 0;
    int cells_ = 0;
    // Counts for the closing warnings.
    unsigned long long newlines_ = 0, ragged_ = 0, firstRagged_ = 0, fieldsInFirst_ = 0,
                       dropped_ = 0;
    std::string scratch_;
};

// ---- the run --------------------------------------------------------------------------

constexpr const char *kAuthor = "gridquill-csv";

// The standard output as the library's write function.
int write_stdout(void *, const char *data, std::size_t size) {
    return std::fwrite(data, 1, size, stdout) == size ? static_cast<int>(size) : -1;
}

// True when the workbook at `path` defines the style `id` (read up to its styles' end).
bool defines_style(const std::string &path, const char *id) {
    std::FILE *f = std::fopen(path.c_str(), "r");
    if (f == nullptr) return false;
    std::string wanted = std::string("ss:ID=\"") + id + "\"";
    char line[4096];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f) != nullptr &&
           std::strstr(line, "</Styles>") == nullptr)
        found = std::strstr(line, wanted.c_str()) != nullptr;
    std::fclose(f);
    return found;
}

// The tool's styles, those without borders first: a style with fewer parts takes the
// missing ones from the style before it in some readers.
bool add_styles(const std::string &merged) {
    xlsStyle date = xlsStyleDefault, time = xlsStyleDefault, wrap = xlsStyleDefault,
             head = xlsStyleDefault;
    date.pattern[0] = time.pattern[0] = wrap.pattern[0] = head.pattern[0] = '\0';
    std::snprintf(date.horizontal, sizeof date.horizontal, "Automatic");  // as numbers
    std::snprintf(time.horizontal, sizeof time.horizontal, "Automatic");
    std::snprintf(date.numberFormat, sizeof date.numberFormat, "yyyy\\-mm\\-dd");
    std::snprintf(time.numberFormat, sizeof time.numberFormat, "yyyy\\-mm\\-dd\\ hh:mm:ss");
    std::snprintf(wrap.numberFormat, sizeof wrap.numberFormat, "General");
    std::snprintf(wrap.vertical, sizeof wrap.vertical, "Top");
    wrap.wrapText = '1';
    std::snprintf(head.numberFormat, sizeof head.numberFormat, "General");
    head.bold = '1';
    head.weightBottom = 1;
    for (auto [style, id] : {std::pair{&date, kDateStyle}, {&time, kTimeStyle}, {&wrap, kWrapStyle},
                             {&head, kHeadStyle}}) {
        if (!merged.empty() && defines_style(merged, id)) continue;
        if (!xlsAddStyle(*style, id)) return false;
    }
    return true;
}

// The styles and a worksheet per input, into the open workbook: 0 or an exit status.
int write_sheets(const Options &o, const std::vector<std::string> &names,
                 const std::vector<std::string> &kept, const std::string &merged,
                 std::vector<std::string> &used, Counts &counts) {
    // A sheet of the workbook's name takes its place (or continues it): those first, in the
    // workbook's order, as the copy passes them; the new sheets after.
    std::vector<std::size_t> order(o.inputs.size()), place(o.inputs.size(), SIZE_MAX);
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
        for (std::size_t k = 0; k < kept.size() && place[i] == SIZE_MAX; ++k)
            if (same_name(kept[k], names[i])) place[i] = k;
        if (place[i] != SIZE_MAX &&
            !(o.appendRows ? xlsSheetAppend(names[i].c_str()) : xlsSheetReplace(names[i].c_str())))
            return kExitInput;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return place[a] < place[b]; });
    if (!add_styles(merged)) return kExitInput;
    Progress progress(!o.quiet);
    for (std::size_t i : order) {
        const std::string &path = o.inputs[i];
        bool standardInput = path == "-";
        std::FILE *in = standardInput ? stdin : std::fopen(path.c_str(), "rb");
        if (in == nullptr) {
            say("impossibile aprire '%s': %s\n", path.c_str(), std::strerror(errno));
            return kExitInput;
        }
        Sheet sheet(o, counts, progress, used, o.appendRows && place[i] != SIZE_MAX);
        int status = sheet.convert(in, standardInput ? "standard input" : path, names[i]);
        if (!standardInput) std::fclose(in);
        if (status != 0 || g_signal != 0) return status;
    }
    progress.update(counts, true);
    return 0;
}

int run(const Options &o) {
    std::string output = o.output.empty() ? o.appendTo : o.output;
    if (output == "-") output.clear();
    std::string merged;
    if (!o.appendTo.empty() && access(o.appendTo.c_str(), F_OK) == 0) merged = o.appendTo;
    // The sheet names, each used once; a name the merged workbook has replaces its sheet,
    // written as the workbook has it.
    // A file is replaced only once the new workbook is complete (the same file may be the
    // merge's input). A new workbook for the standard output is streamed into it; a merge,
    // which writes to a path, is staged in a temporary file.
    xlsSetAtomic(1);
    xlsSetEncoding("UTF-8");  // the tool hands on UTF-8 of any input
    Staging staging;
    if (output.empty() && !merged.empty()) {
        if (!staging.create()) return kExitInput;
        output = staging.path();
    }
    stop_on_signals();
    bool opened = output.empty()   ? xlsInitStream(write_stdout, nullptr, kAuthor)
                  : merged.empty() ? xlsInit(output.c_str(), kAuthor)
                                   : xlsInitMerge(merged.c_str(), output.c_str());
    if (!opened) return kExitInput;
    std::vector<std::string> kept;  // the merged workbook's sheets, in its order
    for (int k = 0; const char *sheet = merged.empty() ? nullptr : xlsGetMergeSheet(k); ++k)
        kept.emplace_back(sheet);
    std::vector<std::string> names, used;
    for (std::size_t i = 0; i < o.inputs.size(); ++i) {
        std::string name = i < o.sheets.size() ? mended_name(o.sheets[i])
                           : o.inputs[i] == "-" ? std::string()
                                                : sheet_name_of(o.inputs[i]);
        if (name.empty()) name = "Sheet" + std::to_string(i + 1);
        name = new_name(names, name);
        for (const std::string &k : kept)
            if (same_name(k, name)) names.back() = name = k;
    }
    used = names;
    for (const std::string &k : kept)
        if (!name_taken(used, k)) used.push_back(k);
    Counts counts;
    int status = write_sheets(o, names, kept, merged, used, counts);
    if (status != 0 || g_signal != 0) {
        xlsAbandon();  // the old workbook stays as it was
        if (g_signal == 0) return status;
        staging.remove();
        die_of_signal();
    }
    if (!xlsClose()) return kExitInput;
    if (g_signal != 0) {  // the workbook is whole, in place
        staging.remove();
        die_of_signal();
    }
    if (!o.quiet && counts.replaced > 0)
        say("%zu %s da U+FFFD\n", counts.replaced,
            counts.replaced == 1 ? "sequenza UTF-8 non valida sostituita"
                                 : "sequenze UTF-8 non valide sostituite");
    if (!staging.path().empty()) return staging.copy_to_stdout() ? 0 : kExitInput;
    return std::fflush(stdout) == 0 ? 0 : kExitInput;
}

int parse_options(int argc, char **argv, Options &o) {
    enum { kDecimalComma = 256, kNoHeader, kVersion, kDates, kAppendRows };
    static const option kLong[] = {{"output", required_argument, nullptr, 'o'},
                                   {"append-to", required_argument, nullptr, 'a'},
                                   {"append-rows", no_argument, nullptr, kAppendRows},
                                   {"sheet", required_argument, nullptr, 's'},
                                   {"delimiter", required_argument, nullptr, 'd'},
                                   {"encoding", required_argument, nullptr, 'e'},
                                   {"decimal-comma", no_argument, nullptr, kDecimalComma},
                                   {"dates", required_argument, nullptr, kDates},
                                   {"text", no_argument, nullptr, 't'},
                                   {"no-header", no_argument, nullptr, kNoHeader},
                                   {"quiet", no_argument, nullptr, 'q'},
                                   {"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, kVersion},
                                   {nullptr, 0, nullptr, 0}};
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":o:a:s:d:e:tqh", kLong, nullptr)) != -1;) {
        std::string_view arg = optarg != nullptr ? optarg : "";
        switch (c) {
        case 'o': o.output = arg; break;
        case 'a':
            if (arg.empty()) return usage_error("--append-to vuole il nome di una cartella");
            o.appendTo = arg;
            break;
        case 's':
            if (arg.empty()) return usage_error("--sheet vuole un nome");
            o.sheets.emplace_back(arg);
            break;
        case 'd':
            if (arg == "tab" || arg == "\\t") o.delimiter = '\t';
            else if (arg.size() == 1 && arg[0] != '"' && arg[0] != '\n' && arg[0] != '\r')
                o.delimiter = arg[0];
            else return usage_error("separatore non valido: '" + std::string(arg) + "'");
            break;
        case 'e':
            if (!encoding_named(arg, o.encoding))
                return usage_error("codifica sconosciuta: '" + std::string(arg) + "'");
            break;
        case kDecimalComma: o.decimalComma = true; break;
        case kDates:
            if (arg == "dmy") o.dates = DateOrder::dmy;
            else if (arg == "mdy") o.dates = DateOrder::mdy;
            else if (arg == "iso") o.dates = DateOrder::iso;
            else return usage_error("ordine delle date sconosciuto: '" + std::string(arg) + "'");
            break;
        case 't': o.text = true; break;
        case kNoHeader: o.header = false; break;
        case kAppendRows: o.appendRows = true; break;
        case 'q': o.quiet = true; break;
        case 'h': std::fputs(kUsage, stdout); return -1;
        case kVersion: std::printf("gridquill-csv %s\n", xlsVersion()); return -1;
        case ':':
            return usage_error(std::string("all'opzione '") + argv[optind - 1] +
                               "' manca il valore");
        default:
            return usage_error(std::string("opzione sconosciuta: '") + argv[optind - 1] + "'");
        }
    }
    for (int i = optind; i < argc; ++i) o.inputs.emplace_back(argv[i]);
    if (o.inputs.empty()) o.inputs.emplace_back("-");
    if (std::count(o.inputs.begin(), o.inputs.end(), "-") > 1)
        return usage_error("lo standard input si legge una volta sola");
    if (o.sheets.size() > o.inputs.size())
        return usage_error("piu' nomi di foglio (--sheet) che file in ingresso");
    if (o.appendRows && o.appendTo.empty())
        return usage_error("--append-rows vale solo con --append-to");
    if (o.decimalComma && o.delimiter == ',')
        return usage_error("--decimal-comma con la virgola come separatore");
    return 0;
}

}  // namespace

}  // namespace gqcsv

int main(int argc, char **argv) {
    gqcsv::Options options;
    if (int status = gqcsv::parse_options(argc, argv, options); status != 0)
        return status < 0 ? 0 : status;
    return gqcsv::run(options);
}
