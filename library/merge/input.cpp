// The merge input read as clean bytes, and the scan that parses it with expat.
#include "input.hpp"

#include "../textutil/escape.hpp"
#include "../textutil/names.hpp"
#include "../writer/merge_port.hpp"

#include <expat.h>

#include <charconv>
#include <cstring>

namespace gridquill::detail {

namespace {

constexpr std::string_view kSpreadsheet = "urn:schemas-microsoft-com:office:spreadsheet";
constexpr std::string_view kExcel = "urn:schemas-microsoft-com:office:excel";
constexpr std::string_view kOffice = "urn:schemas-microsoft-com:office:office";
constexpr std::string_view kHtml = "http://www.w3.org/TR/REC-html40";

// The value of a character reference "&#...;" at the start of `s`, with its length; 0
// length when `s` holds no whole reference (or it runs past 12 bytes).
struct Reference {
    std::uint32_t value = 0;
    std::size_t length = 0;
    bool cut = false;  // `s` ends inside what may still be one
};
Reference read_reference(std::string_view s) noexcept {
    Reference r;
    if (s.size() < 2) return r.cut = true, r;
    if (s[1] != '#') return r;
    std::size_t i = 2;
    const bool hex = i < s.size() && s[i] == 'x';
    if (hex) ++i;
    std::size_t digits = 0;
    for (; i < s.size() && i < 12; ++i, ++digits) {
        char c = s[i];
        int d = c >= '0' && c <= '9' ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                : -1;
        if (d < 0) break;
        r.value = r.value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    if (i == s.size() && i < 12) return r.cut = true, r;
    if (digits == 0 || i >= s.size() || s[i] != ';') return r;
    r.length = i + 1;
    return r;
}

bool forbidden_control(std::uint32_t c) noexcept { return c < 0x20 && c != 9 && c != 10 && c != 13; }

}  // namespace

void CleanSource::start(Input &in, InputEncoding encoding) noexcept {
    in_ = &in;
    encoding_ = encoding;
    failed_ = ended_ = false;
    first_ = true;
    pendingRaw_ = pendingText_ = 0;
}

std::size_t CleanSource::decode(const unsigned char *raw, std::size_t n, char *out) noexcept {
    char *o = out;
    std::size_t i = 0;
    switch (encoding_) {
    case InputEncoding::utf8:
        std::memcpy(out, raw, n);
        return n;
    case InputEncoding::latin1:
    case InputEncoding::windows1252:
        for (; i < n; ++i) {
            o += put_utf8(o, encoding_ == InputEncoding::windows1252 ? windows1252_char(raw[i])
                                                                     : raw[i]);
        }
        pendingRaw_ = 0;
        return static_cast<std::size_t>(o - out);
    case InputEncoding::utf16le:
    case InputEncoding::utf16be: {
        const bool le = encoding_ == InputEncoding::utf16le;
        auto unit = [&](std::size_t at) {
            return le ? static_cast<std::uint32_t>(raw[at] | raw[at + 1] << 8)
                      : static_cast<std::uint32_t>(raw[at] << 8 | raw[at + 1]);
        };
        if (first_ && n >= 2 && unit(0) == 0xFEFF) i = 2;  // the byte-order mark
        while (i + 1 < n) {
            std::uint32_t c = unit(i);
            if (c >= 0xD800 && c < 0xDC00) {
                if (i + 3 >= n && !ended_) break;  // its pair comes with the next read
                std::uint32_t low = i + 3 < n ? unit(i + 2) : 0;
                if (low >= 0xDC00 && low < 0xE000) {
                    o += put_utf8(o, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                    i += 4;
                    continue;
                }
                *o++ = '\xFF';  // not a character: the parser refuses it where it stands
                i += 2;
                continue;
            }
            if (c >= 0xDC00 && c < 0xE000) {
                *o++ = '\xFF';
            } else {
                o += put_utf8(o, c);
            }
            i += 2;
        }
        if (ended_ && i < n) *o++ = '\xFF', i = n;  // an odd byte at the end
        pendingRaw_ = n - i;
        std::memmove(raw_, raw + i, pendingRaw_);
        return static_cast<std::size_t>(o - out);
    }
    }
    return 0;
}

std::size_t CleanSource::blank_control_references(char *text, std::size_t n, bool last) noexcept {
    std::size_t r = 0, w = 0;
    pendingText_ = 0;
    while (r < n) {
        const void *amp = std::memchr(text + r, '&', n - r);
        std::size_t at = amp != nullptr ? static_cast<std::size_t>(static_cast<const char *>(amp) - text) : n;
        if (w != r) std::memmove(text + w, text + r, at - r);
        w += at - r;
        r = at;
        if (r == n) break;
        Reference ref = read_reference({text + r, n - r});
        if (ref.cut && !last) {  // finished by the next chunk
            pendingText_ = n - r;
            std::memmove(text + w, text + r, pendingText_);
            return w;
        }
        if (ref.length != 0 && forbidden_control(ref.value)) {
            text[w++] = ' ';
            r += ref.length;
        } else {
            text[w++] = '&';
            ++r;
        }
    }
    return w;
}

std::string_view CleanSource::next() noexcept {
    for (;;) {
        if (ended_ || failed_) return {};
        // Held-back bytes of the last chunk lead this one.
        std::size_t held = pendingText_;
        if (held != 0) std::memmove(text_, text_ + heldAt_, held);
        std::size_t n = in_->read(reinterpret_cast<char *>(raw_) + pendingRaw_, kRaw - pendingRaw_);
        if (n == 0 && in_->error() != 0) {
            failed_ = true;
            return {};
        }
        if (n == 0) ended_ = true;
        std::size_t total = pendingRaw_ + n;
        pendingRaw_ = 0;
        std::size_t size = held + decode(raw_, total, text_ + held);
        first_ = false;
        std::size_t out = blank_control_references(text_, size, ended_);
        heldAt_ = out;
        if (out != 0) return {text_, out};
        if (ended_) return {};
    }
}

namespace {

// The parser's heap is the arena of the calling thread's merge, the one being scanned.
Arena<kMergeArenaSize> &arena() noexcept { return current().mergeInput->arena; }
void *arena_malloc(std::size_t n) { return arena().allocate(n); }
void *arena_realloc(void *p, std::size_t n) { return arena().resize(p, n); }
void arena_free(void *p) { arena().release(p); }

int to_int(const char *text, int fallback) noexcept;
int to_int(std::string_view s, int fallback) noexcept {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\n' || s.front() == '\r' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r' || s.back() == '\t')) s.remove_suffix(1);
    int v = fallback;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size() ? v : fallback;
}
int to_int(const char *text, int fallback) noexcept {
    return text == nullptr ? fallback : to_int(std::string_view(text), fallback);
}

// ExcelWorkbook's children that come before ActiveSheet.
constexpr std::string_view kBeforeActive[] = {
    "PublishObjects", "SupBook",     "SelectedSheets", "WindowHidden",
    "HideHorizontalScrollBar",       "HideVerticalScrollBar", "HideWorkbookTabs",
    "WindowHeight",   "WindowWidth", "WindowTopX",     "WindowTopY"};

enum class Kind : std::uint8_t {
    other, root, properties, property, workbook, active, first, styles, style, names, sheet,
    table, row, options, selected, visible
};

// The namespaces the library's own markup needs in scope where it is written: the
// default and the ss, x and html prefixes.
enum class Binding : std::uint8_t { none, spreadsheet, excel, office, html, other };
constexpr Binding kNeeded[4] = {Binding::spreadsheet, Binding::spreadsheet, Binding::excel,
                                Binding::html};
constexpr std::string_view kPrefixes[4] = {"", "ss", "x", "html"};
constexpr std::string_view kUris[4] = {kSpreadsheet, kSpreadsheet, kExcel, kHtml};

Binding binding_of(std::string_view u) noexcept {
    if (u == kSpreadsheet) return Binding::spreadsheet;
    if (u == kExcel) return Binding::excel;
    if (u == kOffice) return Binding::office;
    if (u == kHtml) return Binding::html;
    return Binding::other;
}

// An element's or attribute's name with its namespace resolved.
struct Name {
    Binding uri = Binding::none;
    std::string_view local, prefix;
    bool is(Binding u, std::string_view l) const noexcept { return uri == u && local == l; }
};

// A namespace declaration in scope: its prefix (up to 15 bytes) and the element depth.
struct Declared {
    char prefix[16];
    std::uint8_t size;
    Binding uri;
    int depth;
};
constexpr int kMaxDeclared = 256;

constexpr int kTrackedDepth = 64;

struct Scan {
    MergeInput &m;
    InputPlan &p;
    const ScanTarget &target;
    XML_Parser parser = nullptr;
    int depth = 0;
    Kind kinds[kTrackedDepth] = {};
    Declared declared[kMaxDeclared];
    int declaredCount = 0;
    Offset *pending = nullptr;  // a cut that reaches over the line end after `pendingAt`
    Offset pendingAt = 0;
    Kind capturing = Kind::other;
    BoundedText<40> captured;
    Offset captureStart = 0;
    int row = 0;
    bool refused = false;
    BoundedText<256> &message;

    Kind kind(int d) const noexcept { return d >= 0 && d < kTrackedDepth ? kinds[d] : Kind::other; }

    // The namespace `prefix` stands for here; none when it is not bound.
    Binding lookup(std::string_view prefix) const noexcept {
        for (int i = declaredCount; i-- > 0;)
            if (declared[i].size == prefix.size() &&
                (prefix.empty() || std::memcmp(declared[i].prefix, prefix.data(), prefix.size()) == 0))
                return declared[i].uri;
        return prefix == "xml" ? Binding::other : Binding::none;
    }
    void declare(std::string_view prefix, Binding uri) noexcept {
        if (declaredCount == kMaxDeclared)
            return refuse({"File in input con troppe dichiarazioni di spazi dei nomi annidate.\n"});
        Declared &d = declared[declaredCount++];
        d.size = static_cast<std::uint8_t>(prefix.size() < sizeof d.prefix ? prefix.size() : sizeof d.prefix);
        if (d.size != 0) std::memcpy(d.prefix, prefix.data(), d.size);  // a longer one matches nothing
        if (prefix.size() >= sizeof d.prefix) d.size = 0xFF;
        d.uri = uri;
        d.depth = depth;
    }
    Name element_name(const char *qname) const noexcept {
        std::string_view s(qname);
        std::size_t colon = s.find(':');
        Name n;
        if (colon != std::string_view::npos) n.prefix = s.substr(0, colon);
        n.local = colon == std::string_view::npos ? s : s.substr(colon + 1);
        n.uri = lookup(n.prefix);
        return n;
    }
    // The value of the attribute `local` in namespace `uri` (a prefixed one), or null.
    const char *attribute(const char **atts, Binding uri, std::string_view local) const noexcept {
        for (; *atts != nullptr; atts += 2) {
            std::string_view s(atts[0]);
            std::size_t colon = s.find(':');
            if (colon == std::string_view::npos || s.substr(colon + 1) != local) continue;
            if (lookup(s.substr(0, colon)) == uri) return atts[1];
        }
        return nullptr;
    }
    bool context_fits() const noexcept {
        for (int i = 0; i < 4; ++i)
            if (lookup(kPrefixes[i]) != kNeeded[i]) return false;
        return true;
    }

    Offset position() const noexcept { return static_cast<Offset>(XML_GetCurrentByteIndex(parser)); }
    Offset token_end() const noexcept {
        return position() + static_cast<Offset>(XML_GetCurrentByteCount(parser));
    }

    // The byte at `a` while the parser still holds it.
    bool byte_at(Offset a, char &c) const noexcept {
        int offset = 0, size = 0;
        const char *buffer = XML_GetInputContext(parser, &offset, &size);
        if (buffer == nullptr) return false;
        Offset cur = position();
        if (a < cur) {
            if (cur - a > static_cast<Offset>(offset)) return false;
            c = buffer[offset - static_cast<int>(cur - a)];
            return true;
        }
        if (a - cur >= static_cast<Offset>(size - offset)) return false;
        c = buffer[offset + static_cast<int>(a - cur)];
        return true;
    }
    // The start of the current token's line when only blanks lead it there.
    Offset line_start() const noexcept {
        Offset at = position();
        char c = 0;
        for (Offset a = at; a > 0 && at - a < 1024;) {
            if (!byte_at(--a, c)) break;
            if (c == '\n') return a + 1;
            if (c != ' ' && c != '\t') break;
        }
        return at;
    }
    // After the line end that follows `at` when only blanks come between.
    Offset line_end_after(Offset at) const noexcept {
        char c = 0;
        for (Offset a = at; a - at < 1024; ++a) {
            if (!byte_at(a, c)) break;
            if (c == '\n') return a + 1;
            if (c != ' ' && c != '\t' && c != '\r') break;
        }
        return at;
    }
    void defer_line_end(Offset *field, Offset at) noexcept {
        resolve();
        pending = field;
        pendingAt = at;
        *field = at;
    }
    void resolve() noexcept {
        if (pending == nullptr) return;
        *pending = line_end_after(pendingAt);
        pending = nullptr;
    }

    // An element whose prefix no declaration binds: not well-formed for namespaces.
    void refuse_unbound() noexcept;

    void refuse(std::initializer_list<std::string_view> parts) noexcept {
        if (refused) return;
        refused = true;
        message.clear();
        for (std::string_view part : parts) message.append(part);
        XML_StopParser(parser, XML_FALSE);
    }

    void start(const char *qname, const char **atts) noexcept;
    void end() noexcept;
    void start_root(const Name &n) noexcept;
    void start_sheet(const char **atts) noexcept;
    void start_style(const char **atts) noexcept;
    void start_table(InputSheet &sheet, const Name &n) noexcept;
};

void store_prefix(InputSheet &sheet, int which, std::string_view prefix) noexcept {
    std::size_t n = prefix.size() < sizeof sheet.prefixText[which] ? prefix.size() : 0;
    if (n != 0) std::memcpy(sheet.prefixText[which], prefix.data(), n);  // "" may be null
    (which == 0 ? sheet.optionsPrefix : sheet.tablePrefix) = static_cast<std::uint8_t>(n);
}

template <std::size_t N>
void qualified(BoundedText<N> &out, const Name &n) noexcept {
    out.clear();
    if (!n.prefix.empty()) out.append(n.prefix).append(":");
    out.append(n.local);
}

void Scan::start_root(const Name &n) noexcept {
    if (!n.is(Binding::spreadsheet, "Workbook"))
        return refuse({"File in input senza un tag <Workbook> con gli spazi dei nomi di Excel."});
    qualified(p.rootName, n);
    p.rootTagEnd = token_end();
    p.rootGt = p.rootTagEnd - 1;
    for (int i = 0; i < 4; ++i) {
        const Binding bound = lookup(kPrefixes[i]);
        if (bound == Binding::none) {  // declared by the copy
            p.rootDeclarations.append(" xmlns");
            if (i != 0) p.rootDeclarations.append(":").append(kPrefixes[i]);
            p.rootDeclarations.append("=\"").append(kUris[i]).append("\"");
            declare(kPrefixes[i], kNeeded[i]);
        } else if (bound != kNeeded[i]) {
            return refuse({"File in input con il prefisso '", i == 0 ? "(predefinito)" : kPrefixes[i],
                           "' legato a un altro spazio dei nomi nel tag <Workbook>.\n"});
        }
    }
}

void Scan::start_sheet(const char **atts) noexcept {
    const char *name = attribute(atts, Binding::spreadsheet, "Name");
    if (name == nullptr) return refuse({"File in input con tag <Worksheet> con Name mancante."});
    std::string_view seen(name);
    BoundedText<kMaxInputSheetName + 1> key;  // compared as readers compare, case ignored
    if (seen.size() > kMaxInputSheetName || !append_folded(key, seen))
        return refuse({"File in input con tag <Worksheet> con Name troppo lungo (al massimo 199 "
                       "caratteri)."});
    if (p.sheetCount == kMaxInputSheets)
        return refuse({"File in input con troppi fogli (al massimo 1024).\n"});
    seen = key.view();
    m.sheetNames.add(seen);  // a name repeated in the input names all its sheets
    std::memcpy(m.sheetText[p.sheetCount], name, std::string_view(name).size() + 1);
    InputSheet &sheet = p.sheets[p.sheetCount++];
    sheet = InputSheet{};
    const char *stored = m.sheetNames.find(seen);
    sheet.nameIndex = static_cast<std::uint16_t>(
        stored == nullptr ? 0
                          : (stored - m.sheetNames.at(0).data()) /
                                static_cast<std::ptrdiff_t>(decltype(m.sheetNames)::stored_size));
    sheet.start = line_start();
    row = 0;
}

void Scan::start_style(const char **atts) noexcept {
    const char *id = attribute(atts, Binding::spreadsheet, "ID");
    if (id == nullptr) return refuse({"File in input con tag <Style> con ID mancante."});
    std::string_view seen(id);
    if (seen.empty()) return refuse({"File in input con tag <Style> con ID malformato."});
    if (seen.size() > target.maxStyleId)
        return refuse({"File in input con tag <Style> con ID troppo lungo (al massimo 31 caratteri)."});
    if (!target.add_style(seen)) return refuse({"File in input con troppi tag <Style>."});
}

// The Table start tag: where its row and column counts lie, so that a continued table
// can drop them.
void Scan::start_table(InputSheet &sheet, const Name &n) noexcept {
    sheet.tableTagEnd = token_end();
    sheet.appendable = context_fits();
    store_prefix(sheet, 1, n.prefix);
    int offset = 0, size = 0;
    const char *buffer = XML_GetInputContext(parser, &offset, &size);
    const int count = XML_GetCurrentByteCount(parser);
    if (buffer == nullptr || count <= 0 || size - offset < count) return;
    std::string_view tag(buffer + offset, static_cast<std::size_t>(count));
    const Offset base = position();
    std::size_t i = tag.find_first_of(" \t\r\n");
    while (i != std::string_view::npos && i < tag.size()) {
        std::size_t lead = i;
        i = tag.find_first_not_of(" \t\r\n", i);
        if (i == std::string_view::npos || tag[i] == '>' || tag[i] == '/') break;
        std::size_t eq = tag.find('=', i);
        if (eq == std::string_view::npos) break;
        std::string_view attr = tag.substr(i, tag.find_first_of(" \t\r\n=", i) - i);
        std::size_t open = tag.find_first_of("\"'", eq);
        if (open == std::string_view::npos) break;
        std::size_t close = tag.find(tag[open], open + 1);
        if (close == std::string_view::npos) break;
        std::string_view local = attr.substr(attr.find(':') == std::string_view::npos ? 0 : attr.find(':') + 1);
        int which = local == "ExpandedRowCount" ? 0 : local == "ExpandedColumnCount" ? 1 : -1;
        if (which >= 0 && attr.starts_with("xmlns") == false) {
            sheet.countsStart[which] = base + lead;
            sheet.countsEnd[which] = base + close + 1;
        }
        i = close + 1;
    }
}

void Scan::start(const char *qname, const char **atts) noexcept {
    if (refused) return;
    resolve();
    ++depth;
    const Kind parent = kind(depth - 1);
    for (const char **a = atts; *a != nullptr; a += 2) {  // the element's own declarations
        std::string_view att(a[0]);
        if (att[0] == 'x' && att.starts_with("xmlns") && (att.size() == 5 || att[5] == ':'))
            declare(att.size() == 5 ? std::string_view() : att.substr(6), binding_of(a[1]));
    }
    // Most elements are cells and what they hold: only a cell merged down counts.
    if (depth > 1 && (parent == Kind::other || parent == Kind::row)) {
        if (depth < kTrackedDepth) kinds[depth] = Kind::other;
        if (parent == Kind::other || *atts == nullptr || p.sheetCount == 0) return;
        InputSheet &sheet = p.sheets[p.sheetCount - 1];
        int down = to_int(attribute(atts, Binding::spreadsheet, "MergeDown"), 0);
        if (down > 0 && down < (1 << 21) && row + down > sheet.reachRow &&
            element_name(qname).is(Binding::spreadsheet, "Cell"))
            sheet.reachRow = row + down;
        return;
    }
    const Name n = element_name(qname);
    if (n.uri == Binding::none && !n.prefix.empty()) return refuse_unbound();
    Kind k = Kind::other;
    InputSheet *sheet = p.sheetCount != 0 ? &p.sheets[p.sheetCount - 1] : nullptr;
    if (depth == 1) {
        start_root(n);
        k = Kind::root;
    } else if (parent == Kind::root) {
        const bool styles = n.is(Binding::spreadsheet, "Styles"), names = n.is(Binding::spreadsheet, "Names"),
                   worksheet = n.is(Binding::spreadsheet, "Worksheet"),
                   workbook = n.is(Binding::excel, "ExcelWorkbook");
        if (p.propertiesAt == kNowhere &&
            (styles || names || worksheet || workbook || n.is(Binding::office, "CustomDocumentProperties") ||
             n.is(Binding::office, "OfficeDocumentSettings")))
            p.propertiesAt = line_start();
        if (p.workbookAt == kNowhere && (styles || names || worksheet)) p.workbookAt = line_start();
        if (p.stylesAt == kNowhere && (names || worksheet)) p.stylesAt = line_start();
        if (n.is(Binding::office, "DocumentProperties") && p.propertiesInside == kNowhere) {
            k = Kind::properties;
            p.propertiesInside = token_end();
            p.propertiesPrefix.assign(n.prefix);
        } else if (workbook && p.workbookEnd == kNowhere) {
            k = Kind::workbook;
            p.workbookPrefix.assign(n.prefix);
        } else if (styles && p.stylesEnd == kNowhere) {
            if (!context_fits())
                return refuse({"File in input con gli spazi dei nomi ridefiniti nel tag <Styles>.\n"});
            k = Kind::styles;
            qualified(p.stylesName, n);
        } else if (names && p.namesInside == kNowhere) {
            if (!context_fits())
                return refuse({"File in input con gli spazi dei nomi ridefiniti nel tag <Names>.\n"});
            k = Kind::names;
            qualified(p.namesName, n);
            defer_line_end(&p.namesInside, token_end());
        } else if (worksheet) {
            k = Kind::sheet;
            start_sheet(atts);
        }
    } else if (parent == Kind::properties) {
        k = Kind::property;
        if (p.childCount < kMaxChildren) {
            PropertyChild &child = p.children[p.childCount++];
            child.order = -1;
            for (int i = 0; i < static_cast<int>(std::size(kPropertySequence)); ++i)
                if (n.uri == Binding::office && n.local == kPropertySequence[i]) child.order = i;
            child.start = child.end = line_start();
        }
    } else if (parent == Kind::workbook) {
        if (n.is(Binding::excel, "ActiveSheet")) k = Kind::active;
        else if (n.is(Binding::excel, "FirstVisibleSheet")) k = Kind::first;
        bool before = false;
        for (std::string_view b : kBeforeActive) before = before || (n.uri == Binding::excel && n.local == b);
        if (!before && k != Kind::active && p.activeAt == kNowhere) p.activeAt = line_start();
    } else if (parent == Kind::styles) {
        if (n.is(Binding::spreadsheet, "Style")) start_style(atts);
    } else if (parent == Kind::names) {
        const char *name = attribute(atts, Binding::spreadsheet, "Name");
        if (n.is(Binding::spreadsheet, "NamedRange") && name != nullptr) target.add_name(name);
    } else if (parent == Kind::sheet && sheet != nullptr) {
        if (n.is(Binding::spreadsheet, "Table") && sheet->tableTagEnd == kNowhere) {
            k = Kind::table;
            start_table(*sheet, n);
        } else if (n.is(Binding::excel, "WorksheetOptions") && sheet->optionsInside == kNowhere) {
            k = Kind::options;
            sheet->optionsInside = token_end();
            store_prefix(*sheet, 0, n.prefix);
        }
    } else if (parent == Kind::table && sheet != nullptr) {
        if (n.is(Binding::spreadsheet, "Row")) {
            k = Kind::row;
            int index = to_int(attribute(atts, Binding::spreadsheet, "Index"), 0);
            row = index > 0 ? index : row + 1;
            int span = to_int(attribute(atts, Binding::spreadsheet, "Span"), 0);
            if (span > 0 && span < (1 << 21)) row += span;
            if (row > sheet->lastRow) sheet->lastRow = row;
            if (row > sheet->reachRow) sheet->reachRow = row;
        }
    } else if (parent == Kind::options && sheet != nullptr) {
        if (n.is(Binding::excel, "Selected") && sheet->selectedStart == kNowhere) {
            k = Kind::selected;
            sheet->selectedStart = line_start();
            p.anySelected = true;
        } else if (n.is(Binding::excel, "Visible")) {
            k = Kind::visible;
        }
    }
    if (k == Kind::active || k == Kind::first || k == Kind::visible) {
        capturing = k;
        captured.clear();
        captureStart = token_end();
        XML_SetCharacterDataHandler(parser, [](void *user, const XML_Char *s, int len) {
            static_cast<Scan *>(user)->captured.append(std::string_view(s, static_cast<std::size_t>(len)));
        });
    }
    if (depth < kTrackedDepth) kinds[depth] = k;
}

void Scan::end() noexcept {
    if (refused) return;
    resolve();
    const Kind k = kind(depth);
    if (k == Kind::other) {
        while (declaredCount > 0 && declared[declaredCount - 1].depth == depth) --declaredCount;
        --depth;
        return;
    }
    const Offset at = position(), after = token_end();
    const bool empty = after == at;  // the end of an empty-element tag
    InputSheet *sheet = p.sheetCount != 0 ? &p.sheets[p.sheetCount - 1] : nullptr;
    switch (k) {
    case Kind::root:
        p.rootEmpty = empty;
        if (empty) p.rootGt = at - 2;
        p.rootEnd = empty ? at : line_start();
        break;
    case Kind::properties:
        if (empty) p.propertiesInside = kNowhere;
        else p.propertiesEnd = line_start();
        break;
    case Kind::property:
        if (p.childCount != 0) defer_line_end(&p.children[p.childCount - 1].end, after);
        break;
    case Kind::workbook:
        if (!empty) p.workbookEnd = line_start();
        if (p.activeAt == kNowhere) p.activeAt = p.workbookEnd;
        break;
    case Kind::active:
    case Kind::first: {
        int value = to_int(captured.view(), -1);
        (k == Kind::active ? p.activeStart : p.firstStart) = captureStart;
        (k == Kind::active ? p.activeEnd : p.firstEnd) = at;
        if (value >= 0) (k == Kind::active ? p.activeSheet : p.firstVisible) = value;
        break;
    }
    case Kind::visible:
        if (sheet != nullptr) {
            std::string_view v = captured.view();
            sheet->hidden = v.find("Hidden") != std::string_view::npos;
        }
        break;
    case Kind::styles:
        p.stylesEmpty = empty;
        p.stylesEnd = empty ? at - 2 : line_start();
        break;
    case Kind::names:
        if (empty) {
            p.namesEmpty = true;
            p.namesInside = at - 2;
        }
        break;
    case Kind::sheet:
        if (sheet != nullptr) {
            defer_line_end(&sheet->end, after);
        }
        break;
    case Kind::table:
        if (sheet == nullptr) break;
        sheet->tableEmpty = empty;
        sheet->tableEnd = empty ? at - 2 : line_start();
        defer_line_end(&sheet->optionsAt, after);
        break;
    case Kind::options:
        if (sheet != nullptr && empty) {
            sheet->optionsEmpty = true;
            sheet->optionsInside = at - 2;
        }
        break;
    case Kind::selected:
        if (sheet != nullptr) defer_line_end(&sheet->selectedEnd, after);
        break;
    default: break;
    }
    if (k == capturing && capturing != Kind::other) {
        capturing = Kind::other;
        XML_SetCharacterDataHandler(parser, nullptr);
    }
    while (declaredCount > 0 && declared[declaredCount - 1].depth == depth) --declaredCount;
    --depth;
}

}  // namespace

namespace {

bool same_name(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// The encoding from the input's first bytes: a byte-order mark, UTF-16's first
// characters, or the declaration's encoding; false with the message for another one.
bool find_encoding(std::string_view head, InputEncoding &encoding, BoundedText<256> &message) noexcept {
    auto starts = [&](std::string_view s) { return head.starts_with(s); };
    if (starts("\xFF\xFE") || starts(std::string_view("<\0?\0", 4)))
        return encoding = InputEncoding::utf16le, true;
    if (starts("\xFE\xFF") || starts(std::string_view("\0<\0?", 4)))
        return encoding = InputEncoding::utf16be, true;
    encoding = InputEncoding::utf8;
    if (starts("\xEF\xBB\xBF")) head.remove_prefix(3);
    if (!head.starts_with("<?xml")) return true;
    head = head.substr(0, head.find("?>"));
    std::size_t at = head.find("encoding");
    if (at == std::string_view::npos) return true;
    std::size_t open = head.find_first_of("\"'", at);
    if (open == std::string_view::npos) return true;  // the parser reports the declaration
    std::size_t close = head.find(head[open], open + 1);
    std::string_view name = head.substr(open + 1, close == std::string_view::npos ? 0 : close - open - 1);
    for (std::string_view utf8 : {"UTF-8", "UTF8", "US-ASCII", "ASCII"})
        if (same_name(name, utf8)) return true;
    for (std::string_view latin1 : {"ISO-8859-1", "ISO8859-1", "ISO_8859-1", "LATIN1", "LATIN-1"})
        if (same_name(name, latin1)) return encoding = InputEncoding::latin1, true;
    for (std::string_view cp : {"WINDOWS-1252", "CP1252"})
        if (same_name(name, cp)) return encoding = InputEncoding::windows1252, true;
    message.assign("File in input con la codifica '")
        .append(name.substr(0, 64))
        .append("' non gestita: si leggono UTF-8, UTF-16, ISO-8859-1 e Windows-1252.\n");
    return false;
}

std::string_view reason(XML_Error code) noexcept {
    switch (code) {
    case XML_ERROR_UNDEFINED_ENTITY: return "entita' non definita";
    case XML_ERROR_INVALID_TOKEN: return "carattere o segno non valido";
    case XML_ERROR_TAG_MISMATCH: return "tag di chiusura che non corrisponde";
    case XML_ERROR_MISPLACED_XML_PI: return "dichiarazione XML non all'inizio del file";
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT: return "contenuto dopo la fine del documento";
    case XML_ERROR_BAD_CHAR_REF: return "riferimento a un carattere non ammesso";
    case XML_ERROR_DUPLICATE_ATTRIBUTE: return "attributo ripetuto";
    default: return XML_ErrorString(code);
    }
}

template <std::size_t N>
BoundedText<N> &append_number(BoundedText<N> &out, unsigned long long n) noexcept {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    return out.append(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void Scan::refuse_unbound() noexcept {
    BoundedText<64> where;
    append_number(where, XML_GetCurrentLineNumber(parser)).append(", colonna ");
    append_number(where, XML_GetCurrentColumnNumber(parser) + 1);
    refuse({"File in input con XML non ben formato alla riga ", where.view(),
            " (prefisso senza spazio dei nomi).\n"});
}

}  // namespace

bool scan_input(MergeInput &m, Input &in, const ScanTarget &target,
                BoundedText<256> &message) noexcept {
    InputPlan &p = m.plan;
    p = InputPlan{};
    m.sheetNames.clear();
    message.clear();
    char head[256];
    std::size_t n = in.read(head, sizeof head);
    if (in.error() != 0 || !in.rewind()) {
        message.assign(kReadError);
        return false;
    }
    if (!find_encoding({head, n}, p.encoding, message)) return false;
    m.source.start(in, p.encoding);

    m.arena.reset();
    const XML_Memory_Handling_Suite suite = {arena_malloc, arena_realloc, arena_free};
    XML_Parser parser = XML_ParserCreate_MM("UTF-8", &suite, nullptr);
    if (parser == nullptr) {
        message.assign("Memoria insufficiente per leggere il file in input.\n");
        return false;
    }
    Scan scan{m, p, target, parser, 0, {}, {}, 0, nullptr, 0, Kind::other, {}, 0, 0, false, message};
    XML_SetUserData(parser, &scan);
    XML_SetElementHandler(
        parser,
        [](void *user, const XML_Char *name, const XML_Char **atts) {
            static_cast<Scan *>(user)->start(name, atts);
        },
        [](void *user, const XML_Char *) { static_cast<Scan *>(user)->end(); });
    XML_SetXmlDeclHandler(parser, [](void *user, const XML_Char *, const XML_Char *encoding,
                                     int standalone) {
        Scan &s = *static_cast<Scan *>(user);
        std::string_view e = encoding != nullptr ? encoding : "";
        if (e.empty() || same_name(e, "UTF-8") || same_name(e, "UTF8")) return;
        s.p.declStart = s.position();  // declared otherwise: the copy declares UTF-8
        s.p.declEnd = s.token_end();
        s.p.standalone = standalone == 1;
    });
    XML_SetEntityDeclHandler(parser, [](void *user, const XML_Char *, int, const XML_Char *, int,
                                        const XML_Char *, const XML_Char *, const XML_Char *,
                                        const XML_Char *) {
        static_cast<Scan *>(user)->refuse(
            {"File in input con una DOCTYPE che dichiara entita': non se ne espandono.\n"});
    });
    XML_SetSkippedEntityHandler(parser, [](void *user, const XML_Char *name, int) {
        Scan &s = *static_cast<Scan *>(user);
        s.refuse({"File in input con l'entita' non definita '", std::string_view(name).substr(0, 64),
                  "'.\n"});
    });

    bool ok = true;
    for (;;) {
        std::string_view chunk = m.source.next();
        if (m.source.failed()) {
            message.assign(kReadError);
            ok = false;
            break;
        }
        const bool last = chunk.empty();
        if (XML_Parse(parser, chunk.data(), static_cast<int>(chunk.size()), last) != XML_STATUS_OK) {
            ok = false;
            if (scan.refused) break;
            XML_Error code = XML_GetErrorCode(parser);
            if (last && (code == XML_ERROR_NO_ELEMENTS || code == XML_ERROR_UNCLOSED_TOKEN ||
                         code == XML_ERROR_PARTIAL_CHAR)) {  // ended inside the workbook
                message.assign("File in input troncato: manca il tag </Workbook>.");
                break;
            }
            message.assign(code == XML_ERROR_NO_MEMORY
                               ? "File in input con un elemento troppo grande da leggere (oltre "
                                 "256 KiB) alla riga "
                               : "File in input con XML non ben formato alla riga ");
            append_number(message, XML_GetCurrentLineNumber(parser)).append(", colonna ");
            append_number(message, XML_GetCurrentColumnNumber(parser) + 1);
            if (code != XML_ERROR_NO_MEMORY) message.append(" (").append(reason(code)).append(")");
            message.append(".\n");
            break;
        }
        p.length += chunk.size();
        if (last) break;
    }
    XML_ParserFree(parser);
    if (!ok) return false;
    if (p.stylesAt == kNowhere) p.stylesAt = p.rootEnd;
    if (p.workbookAt == kNowhere) p.workbookAt = p.rootEnd;
    if (p.propertiesAt == kNowhere) p.propertiesAt = p.rootEnd;
    p.afterSheets = p.sheetCount != 0 ? p.sheets[p.sheetCount - 1].end : p.rootEnd;
    if (p.rootEmpty) p.afterSheets = p.stylesAt = p.workbookAt = p.propertiesAt = p.rootEnd = p.rootTagEnd;
    return true;
}

}  // namespace gridquill::detail
