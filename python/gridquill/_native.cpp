// The package's cell path: Python values, rows and DataFrame columns written as cells in one
// call each, through the library's functions found in the handle that ctypes opened.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <datetime.h>
#include <dlfcn.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gridquill.h"

namespace {

// The library's calls this module makes; the two Boolean ones and xlsGetErrno may be missing
// from an older library.
struct Api {
    decltype(&xlsGetContext) getContext;
    decltype(&xlsSelectContext) selectContext;
    decltype(&xlsGetError) getError;
    decltype(&xlsWriteCellEx) writeCellEx;
    decltype(&xlsNewLineEx) newLineEx;
    decltype(&xlsWriteBooleanEx) writeBooleanEx;
    int (*getErrno)(void);
} api;

// Objects given by bind(): the exception class, the missing-value markers, Decimal.
PyObject *error_class, *missing_values, *decimal_type;

constexpr int kMaxSkip = XLS_MAX_SKIP;

// Raises the package's Error with the library's message and the system's reason.
PyObject *raise_library_error() {
    const char *message = api.getError != nullptr ? api.getError() : "";
    int reason = api.getErrno != nullptr ? api.getErrno() : 0;
    PyObject *error = PyObject_CallFunction(error_class, "si", message, reason);
    if (error != nullptr) {
        PyErr_SetObject(error_class, error);
        Py_DECREF(error);
    }
    return nullptr;
}

// One workbook's context, selected in the calling thread for the length of a call, with the
// rows owed: row() and new_line() leave their break to the next cell, so that empty rows
// between written ones are kept (the library places a plain break below the last row written).
struct Writer {
    PyObject_HEAD
    xlsContext *context;
    long long owed;        // row breaks still to make before the next cell
    long long below;       // rows the library's next row is below the last row written
    int columnsOwed;       // empty cells given to cell() before the next cell of the row
    int height;            // the next row's height and style, given with new_line()
    std::string *rowStyle;
};

// Selects a writer's context in this thread and gives the previous one back at the end.
class Selection {
public:
    explicit Selection(Writer *w) : previous_(api.getContext()) {
        ok_ = previous_ == w->context || api.selectContext(w->context) != XLS_FAIL;
        switched_ = ok_ && previous_ != w->context;
    }
    ~Selection() {
        if (switched_) api.selectContext(previous_);
    }
    bool ok() const { return ok_; }

private:
    xlsContext *previous_;
    bool ok_, switched_ = false;
};

// A cell ready for the library: its type letter (or 'B' for Boolean, 0 for empty) and its
// text, kept in `own` or borrowed from a Python object.
struct Cell {
    char type = 0;
    const char *text = "";
    char own[64];
    bool truth = false;
};

void put_double(Cell &c, double value) {
    *std::to_chars(c.own, c.own + sizeof c.own - 1, value).ptr = '\0';
    c.type = 'N';
    c.text = c.own;
}

void put_integer(Cell &c, long long value) {
    *std::to_chars(c.own, c.own + sizeof c.own - 1, value).ptr = '\0';
    c.type = 'N';
    c.text = c.own;
}

void put_unsigned(Cell &c, unsigned long long value) {
    *std::to_chars(c.own, c.own + sizeof c.own - 1, value).ptr = '\0';
    c.type = 'N';
    c.text = c.own;
}

// "YYYY-MM-DDTHH:MM:SS.mmm" from civil parts.
void put_datetime(Cell &c, long long y, int mo, int d, int h, int mi, int s, int ms) {
    char *o = c.own;
    auto two = [&](int v, char after) {
        *o++ = static_cast<char>('0' + v / 10);
        *o++ = static_cast<char>('0' + v % 10);
        if (after) *o++ = after;
    };
    two(static_cast<int>(y / 100), 0);
    two(static_cast<int>(y % 100), '-');
    two(mo, '-');
    two(d, 'T');
    two(h, ':');
    two(mi, ':');
    two(s, '.');
    *o++ = static_cast<char>('0' + ms / 100);
    two(ms % 100, 0);
    *o = '\0';
    c.type = 'D';
    c.text = c.own;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civil(long long days, long long &y, int &m, int &d) {
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    long long doe = days - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

constexpr long long kNanosPerDay = 86400LL * 1000000000LL;

void put_nanoseconds(Cell &c, long long ns) {
    long long days = ns / kNanosPerDay, rest = ns % kNanosPerDay;
    if (rest < 0) {
        rest += kNanosPerDay;
        --days;
    }
    long long y;
    int m, d;
    civil(days, y, m, d);
    long long ms = rest / 1000000;
    put_datetime(c, y, m, d, static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                 static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
}

bool refuse_type(PyObject *value) {
    PyErr_Format(PyExc_TypeError, "Valore non ammesso per una cella: %R (tipo %s)", value,
                 Py_TYPE(value)->tp_name);
    return false;
}

bool refuse_infinite() {
    PyObject *error = PyObject_CallFunction(error_class, "si",
                                            "Numero non finito per una cella Number\n", 0);
    if (error != nullptr) {
        PyErr_SetObject(error_class, error);
        Py_DECREF(error);
    }
    return false;
}

// A Number cell of a number's own text (str()), for ints past 64 bits and Decimals.
bool put_digits(Cell &c, PyObject *number) {
    PyObject *digits = PyObject_Str(number);
    if (digits == nullptr) return false;
    Py_ssize_t size;
    const char *text = PyUnicode_AsUTF8AndSize(digits, &size);
    bool fits = text != nullptr && static_cast<std::size_t>(size) < sizeof c.own;
    if (fits) std::memcpy(c.own, text, static_cast<std::size_t>(size) + 1);
    Py_DECREF(digits);
    if (!fits) {
        if (!PyErr_Occurred())
            PyErr_Format(PyExc_OverflowError, "Numero troppo lungo per una cella: %R", number);
        return false;
    }
    c.type = 'N';
    c.text = c.own;
    return true;
}

bool from_float(Cell &c, double v) {
    if (std::isnan(v)) return true;  // missing
    if (!std::isfinite(v)) return refuse_infinite();
    put_double(c, v);
    return true;
}

bool from_text(Cell &c, PyObject *text) {
    Py_ssize_t size;
    c.text = PyUnicode_AsUTF8AndSize(text, &size);
    if (c.text == nullptr) return false;
    c.type = 'S';
    return true;
}

// The cell of one Python value: str, int, float, bool, Decimal, date, datetime; None, NaN,
// NaT and pd.NA leave it empty. The text of a str stays the object's own: `value` must live
// until the cell is written.
bool from_object(Cell &c, PyObject *value) {
    c.type = 0;
    if (PyUnicode_CheckExact(value)) return from_text(c, value);
    if (PyFloat_CheckExact(value)) return from_float(c, PyFloat_AS_DOUBLE(value));
    if (value == Py_None) return true;
    if (PyBool_Check(value)) {
        c.type = 'B';
        c.truth = value == Py_True;
        return true;
    }
    if (PyLong_Check(value)) {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow == 0) {
            if (v == -1 && PyErr_Occurred()) return false;
            put_integer(c, v);
            return true;
        }
        return put_digits(c, value);
    }
    if (PyFloat_Check(value)) return from_float(c, PyFloat_AsDouble(value));
    if (PyUnicode_Check(value)) return from_text(c, value);
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(missing_values); ++i)  // by identity: NA has no ==
        if (PyTuple_GET_ITEM(missing_values, i) == value) return true;
    if (std::strcmp(Py_TYPE(value)->tp_name, "numpy.bool_") == 0) {
        c.type = 'B';
        c.truth = PyObject_IsTrue(value) == 1;
        return true;
    }
    if (PyDateTime_Check(value)) {
        put_datetime(c, PyDateTime_GET_YEAR(value), PyDateTime_GET_MONTH(value),
                     PyDateTime_GET_DAY(value), PyDateTime_DATE_GET_HOUR(value),
                     PyDateTime_DATE_GET_MINUTE(value), PyDateTime_DATE_GET_SECOND(value),
                     PyDateTime_DATE_GET_MICROSECOND(value) / 1000);
        return true;
    }
    if (PyDate_Check(value)) {
        put_datetime(c, PyDateTime_GET_YEAR(value), PyDateTime_GET_MONTH(value),
                     PyDateTime_GET_DAY(value), 0, 0, 0, 0);
        return true;
    }
    auto *decimal = reinterpret_cast<PyTypeObject *>(decimal_type);
    if (decimal != nullptr && PyObject_TypeCheck(value, decimal)) {
        PyObject *finite = PyObject_CallMethod(value, "is_finite", nullptr);
        if (finite == nullptr) return false;
        int ok = PyObject_IsTrue(finite);
        Py_DECREF(finite);
        if (ok == 0) {
            PyObject *nan = PyObject_CallMethod(value, "is_nan", nullptr);
            int is_nan = nan != nullptr ? PyObject_IsTrue(nan) : -1;
            Py_XDECREF(nan);
            return is_nan < 0 ? false : is_nan ? true : refuse_infinite();
        }
        return put_digits(c, value);
    }
    if (PyIndex_Check(value)) {  // numpy integers
        PyObject *number = PyNumber_Index(value);
        if (number == nullptr) return false;
        bool ok = from_object(c, number);
        Py_DECREF(number);
        return ok;
    }
    const PyNumberMethods *number = Py_TYPE(value)->tp_as_number;
    if (number != nullptr && number->nb_float != nullptr && !PyComplex_Check(value)) {
        // numpy floats
        double v = PyFloat_AsDouble(value);
        if (v == -1.0 && PyErr_Occurred()) return false;
        return from_float(c, v);
    }
    return refuse_type(value);
}

// Moves the next row `n` rows further down (n >= 1) as row breaks, the last one with the
// writer's pending height and style. A plain break goes one row below the last row written;
// one with a skip s goes s + 1 rows below the current one.
bool advance(Writer *w, long long n) {
    const char *style = w->rowStyle->c_str();
    if (n == 1 && w->below > 0) {
        // One row down from a row already below the last written: that row gets an empty
        // cell, so that a plain break can follow it.
        if (api.writeCellEx("", 'S', "", "", 0, 0, 0) == XLS_FAIL) return false;
        w->below = 0;
    }
    while (n > kMaxSkip + 1) {  // a step that leaves at least two rows
        long long s = n - kMaxSkip - 1 >= 2 ? kMaxSkip : n - 3;
        if (api.newLineEx(static_cast<int>(s), 0, "") == XLS_FAIL) return false;
        n -= s + 1;
        w->below += s + 1;
    }
    int result = n == 1 ? api.newLineEx(0, w->height, style)
                        : api.newLineEx(static_cast<int>(n - 1), w->height, style);
    if (result == XLS_FAIL) return false;
    w->below = n == 1 ? 1 : w->below + n;
    w->height = 0;
    w->rowStyle->clear();
    return true;
}

void end_row(Writer *w) {
    w->owed += 1;
    w->columnsOwed = 0;
}

[[gnu::noinline]] bool pay_owed_rows(Writer *w) {
    long long n = w->owed;
    w->owed = 0;
    return advance(w, n);
}

// The breaks owed before the next cell; nothing to do in the common case.
inline bool pay_rows(Writer *w) {
    return w->owed == 0 || pay_owed_rows(w);
}

// Writes one cell after `skip` empty columns. Cells after 200 of them take the room of an
// empty text cell for each 201.
bool pass_columns(Writer *w, int &skip) {
    skip += w->columnsOwed;
    w->columnsOwed = 0;
    while (skip > kMaxSkip) {
        if (api.writeCellEx("", 'S', "", "", kMaxSkip, 0, 0) == XLS_FAIL) return false;
        skip -= kMaxSkip + 1;
    }
    return true;
}

bool write(Writer *w, const Cell &c, const char *style, int &skip) {
    if (!pass_columns(w, skip)) return false;
    int result;
    if (c.type == 'B') {
        if (api.writeBooleanEx == nullptr) {
            result = api.writeCellEx(c.truth ? "1" : "0", 'N', style, "", skip, 0, 0);
        } else {
            result = api.writeBooleanEx(c.truth ? 1 : 0, style, skip);
        }
    } else {
        result = api.writeCellEx(c.text, c.type, style, "", skip, 0, 0);
    }
    skip = 0;
    w->below = 0;
    return result != XLS_FAIL;
}

// A style ID argument: None or a str, as UTF-8 ("" for None).
bool style_text(PyObject *style, const char *&text) {
    if (style == nullptr || style == Py_None) {
        text = "";
        return true;
    }
    text = PyUnicode_AsUTF8(style);
    return text != nullptr;
}

// The style of column i of a row: one str or None for all, or a sequence.
bool column_style(PyObject *styles, Py_ssize_t i, const char *&text) {
    if (styles == nullptr || styles == Py_None || PyUnicode_Check(styles))
        return style_text(styles, text);
    if (i >= PySequence_Fast_GET_SIZE(styles)) {
        text = "";
        return true;
    }
    return style_text(PySequence_Fast_GET_ITEM(styles, i), text);
}

// One row of values; its break is owed to the next cell.
bool write_row(Writer *w, PyObject *values, PyObject *styles) {
    PyObject *items = PySequence_Fast(values, "una riga deve essere una sequenza di valori");
    if (items == nullptr) return false;
    Py_ssize_t n = PySequence_Fast_GET_SIZE(items);
    int skip = 0;
    bool ok = true;
    for (Py_ssize_t i = 0; ok && i < n; ++i) {
        Cell c;
        const char *style;
        ok = from_object(c, PySequence_Fast_GET_ITEM(items, i)) && column_style(styles, i, style);
        if (!ok) break;
        if (c.type == 0) {
            ++skip;
            continue;
        }
        ok = pay_rows(w) && write(w, c, style, skip);
        if (!ok && !PyErr_Occurred()) raise_library_error();
    }
    Py_DECREF(items);
    if (ok) end_row(w);
    return ok;
}

PyObject *styles_sequence(PyObject *styles) {
    if (styles == nullptr || styles == Py_None || PyUnicode_Check(styles)) {
        Py_XINCREF(styles);
        return styles;
    }
    return PySequence_Fast(styles, "gli stili devono essere una sequenza");
}

int writer_init(Writer *self, PyObject *args, PyObject *) {
    unsigned long long context;
    if (!PyArg_ParseTuple(args, "K", &context)) return -1;
    self->context = reinterpret_cast<xlsContext *>(static_cast<std::uintptr_t>(context));
    self->owed = 0;
    self->below = 1;
    self->columnsOwed = 0;
    self->height = 0;
    if (self->rowStyle == nullptr) self->rowStyle = new (std::nothrow) std::string();
    return self->rowStyle != nullptr ? 0 : (PyErr_NoMemory(), -1);
}

void writer_dealloc(Writer *self) {
    delete self->rowStyle;
    PyTypeObject *type = Py_TYPE(self);
    type->tp_free(reinterpret_cast<PyObject *>(self));
    Py_DECREF(type);  // a heap type
}

#define SELECTED(w)                                   \
    Selection selection(w);                           \
    if (!selection.ok()) return raise_library_error()

PyObject *writer_cell(Writer *self, PyObject *args, PyObject *kwargs) {
    static const char *names[] = {"value", "style", "formula", "skip", "merge_across",
                                  "merge_down", nullptr};
    PyObject *value, *style = Py_None, *formula = Py_None;
    int skip = 0, across = 0, down = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|OOiii", const_cast<char **>(names), &value,
                                     &style, &formula, &skip, &across, &down))
        return nullptr;
    Cell c;
    const char *id, *calc;
    if (!from_object(c, value) || !style_text(style, id) || !style_text(formula, calc))
        return nullptr;
    if (skip < 0 || skip > kMaxSkip) skip = 0;
    SELECTED(self);
    if (!pay_rows(self)) return raise_library_error();
    if (c.type == 0) {
        if (*calc != '\0') {  // a formula's value until a reader computes it
            c.type = 'N';
            c.text = "0";
        } else if (*id != '\0' || across > 0 || down > 0) {  // a styled or merged blank
            c.type = 'S';
            c.text = "";
        } else {  // nothing: the next cell lands after it
            self->columnsOwed += 1 + skip;
            Py_RETURN_NONE;
        }
    }
    if (!pass_columns(self, skip)) return raise_library_error();
    int result;
    if (c.type == 'B' && *calc == '\0' && across == 0 && down == 0 && api.writeBooleanEx != nullptr)
        result = api.writeBooleanEx(c.truth ? 1 : 0, id, skip);
    else
        result = api.writeCellEx(c.type == 'B' ? (c.truth ? "1" : "0") : c.text,
                                 c.type == 'B' ? 'N' : c.type, id, calc, skip, across, down);
    if (result == XLS_FAIL) return raise_library_error();
    self->below = 0;
    Py_RETURN_NONE;
}

PyObject *writer_row(Writer *self, PyObject *args, PyObject *kwargs) {
    static const char *names[] = {"values", "styles", nullptr};
    PyObject *values, *styles = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O", const_cast<char **>(names), &values,
                                     &styles))
        return nullptr;
    PyObject *each = styles_sequence(styles);
    if (each == nullptr) return nullptr;
    bool ok;
    {
        Selection selection(self);
        ok = selection.ok() ? write_row(self, values, each) : (raise_library_error(), false);
    }
    Py_DECREF(each);
    if (!ok) return nullptr;
    Py_RETURN_NONE;
}

PyObject *writer_rows(Writer *self, PyObject *args, PyObject *kwargs) {
    static const char *names[] = {"rows", "styles", nullptr};
    PyObject *rows, *styles = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O", const_cast<char **>(names), &rows,
                                     &styles))
        return nullptr;
    PyObject *iterator = PyObject_GetIter(rows);
    if (iterator == nullptr) return nullptr;
    PyObject *each = styles_sequence(styles);
    long long count = 0;
    bool ok = each != nullptr || styles == nullptr;
    if (ok) {
        // The iterator may write another workbook: its calls select their own context and
        // give this one back.
        Selection selection(self);
        ok = selection.ok() || (raise_library_error(), false);
        for (PyObject *row; ok && (row = PyIter_Next(iterator)) != nullptr; ++count) {
            ok = write_row(self, row, each);
            Py_DECREF(row);
        }
    }
    Py_DECREF(iterator);
    Py_XDECREF(each);
    if (!ok || PyErr_Occurred()) return nullptr;
    return PyLong_FromLongLong(count);
}

PyObject *writer_new_line(Writer *self, PyObject *args) {
    int skip = 0, height = 0;
    PyObject *style = Py_None;
    if (!PyArg_ParseTuple(args, "|iiO", &skip, &height, &style)) return nullptr;
    const char *id;
    if (!style_text(style, id)) return nullptr;
    end_row(self);
    self->owed += skip >= 1 && skip <= kMaxSkip ? skip : 0;
    self->height = height;
    self->rowStyle->assign(id);
    Py_RETURN_NONE;
}

// Makes the owed row breaks, for the calls that act on the next row.
PyObject *writer_settle(Writer *self, PyObject *) {
    SELECTED(self);
    if (!pay_rows(self)) return raise_library_error();
    Py_RETURN_NONE;
}

// A new worksheet: nothing owed, the next row the first.
PyObject *writer_reset(Writer *self, PyObject *) {
    self->owed = 0;
    self->below = 1;
    self->columnsOwed = 0;
    self->height = 0;
    self->rowStyle->clear();
    Py_RETURN_NONE;
}

// DataFrame columns. Kinds, as gridquill/_frame.py names them.
enum ColumnKind {
    kObject, kFloat64, kFloat32, kInt8, kInt16, kInt32, kInt64, kUInt8, kUInt16, kUInt32,
    kUInt64, kBool, kDateTime64, kTimeDelta64, kCategory
};

struct Column {
    int kind;
    const char *data;  // element i at data + i * stride
    Py_ssize_t stride;
    const char *mask;  // nonzero byte: missing; null: none
    Py_ssize_t maskStride;
    int codeSize;      // category codes: their bytes
    PyObject *categories;  // category values as a list
    std::string style;
};

template <class T>
T at(const Column &c, Py_ssize_t i) {
    T v;
    std::memcpy(&v, c.data + i * c.stride, sizeof v);
    return v;
}

// The cell of row i of a column without Python objects; false for a refused value. Only this
// module's own memory and the columns' buffers are read, so it runs without the GIL.
bool numeric_cell(const Column &col, Py_ssize_t i, Cell &c) {
    c.type = 0;
    if (col.mask != nullptr && col.mask[i * col.maskStride] != 0) return true;
    switch (col.kind) {
    case kFloat64: {
        double v = at<double>(col, i);
        if (std::isnan(v)) return true;
        if (!std::isfinite(v)) return false;
        put_double(c, v);
        return true;
    }
    case kFloat32: {
        float v = at<float>(col, i);
        if (std::isnan(v)) return true;
        if (!std::isfinite(v)) return false;
        *std::to_chars(c.own, c.own + sizeof c.own - 1, v).ptr = '\0';
        c.type = 'N';
        c.text = c.own;
        return true;
    }
    case kInt8: put_integer(c, at<std::int8_t>(col, i)); return true;
    case kInt16: put_integer(c, at<std::int16_t>(col, i)); return true;
    case kInt32: put_integer(c, at<std::int32_t>(col, i)); return true;
    case kInt64: put_integer(c, at<std::int64_t>(col, i)); return true;
    case kUInt8: put_unsigned(c, at<std::uint8_t>(col, i)); return true;
    case kUInt16: put_unsigned(c, at<std::uint16_t>(col, i)); return true;
    case kUInt32: put_unsigned(c, at<std::uint32_t>(col, i)); return true;
    case kUInt64: put_unsigned(c, at<std::uint64_t>(col, i)); return true;
    case kBool:
        c.type = 'B';
        c.truth = at<std::uint8_t>(col, i) != 0;
        return true;
    case kDateTime64: {
        auto v = at<std::int64_t>(col, i);
        if (v != INT64_MIN) put_nanoseconds(c, v);
        return true;
    }
    case kTimeDelta64: {
        auto v = at<std::int64_t>(col, i);
        if (v != INT64_MIN)
            put_double(c, static_cast<double>(v) / static_cast<double>(kNanosPerDay));
        return true;
    }
    default: return true;
    }
}

// The Python object of row i of an object or category column (borrowed), or null when empty.
PyObject *object_at(const Column &col, Py_ssize_t i) {
    if (col.kind == kObject) return at<PyObject *>(col, i);
    long long code = col.codeSize == 1   ? at<std::int8_t>(col, i)
                     : col.codeSize == 2 ? at<std::int16_t>(col, i)
                     : col.codeSize == 4 ? at<std::int32_t>(col, i)
                                         : at<std::int64_t>(col, i);
    if (code < 0 || code >= PyList_GET_SIZE(col.categories)) return nullptr;
    return PyList_GET_ITEM(col.categories, code);
}

bool parse_columns(PyObject *plans, std::vector<Column> &columns) {
    PyObject *items = PySequence_Fast(plans, "colonne");
    if (items == nullptr) return false;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items); ++i) {
        Column c{};
        unsigned long long data, mask;
        PyObject *style, *categories;
        if (!PyArg_ParseTuple(PySequence_Fast_GET_ITEM(items, i), "iKnKniOO", &c.kind, &data,
                              &c.stride, &mask, &c.maskStride, &c.codeSize, &categories, &style)) {
            Py_DECREF(items);
            return false;
        }
        const char *id;
        if (!style_text(style, id)) {
            Py_DECREF(items);
            return false;
        }
        c.data = reinterpret_cast<const char *>(static_cast<std::uintptr_t>(data));
        c.mask = reinterpret_cast<const char *>(static_cast<std::uintptr_t>(mask));
        c.categories = PyList_Check(categories) ? categories : nullptr;
        if (c.kind == kCategory && c.categories == nullptr) {
            PyErr_SetString(PyExc_TypeError, "categorie: una lista");
            Py_DECREF(items);
            return false;
        }
        c.style = id;
        columns.push_back(std::move(c));
    }
    Py_DECREF(items);  // the caller keeps the plans, and so the category lists, alive
    return true;
}

constexpr Py_ssize_t kBlockRows = 2048;

// Writes rows first..last of the columns, a block at a time: the Python objects of a block
// become cells with the GIL held (their texts kept by a reference each), then the block is
// written without it.
PyObject *writer_frame(Writer *self, PyObject *args) {
    PyObject *plans;
    Py_ssize_t first, last;
    if (!PyArg_ParseTuple(args, "Onn", &plans, &first, &last)) return nullptr;
    std::vector<Column> columns;
    if (!parse_columns(plans, columns)) return nullptr;
    const std::size_t width = columns.size();
    std::vector<std::size_t> objectColumns;
    for (std::size_t j = 0; j < width; ++j)
        if (columns[j].kind == kObject || columns[j].kind == kCategory) objectColumns.push_back(j);
    std::vector<Cell> cells(objectColumns.empty() ? 0 : kBlockRows * objectColumns.size());
    std::vector<PyObject *> held;
    held.reserve(cells.size());

    Selection selection(self);
    if (!selection.ok()) return raise_library_error();
    bool ok = true, refused = false, failed = false;
    for (Py_ssize_t start = first; ok && start < last; start += kBlockRows) {
        const Py_ssize_t end = start + kBlockRows < last ? start + kBlockRows : last;
        for (std::size_t k = 0; ok && k < objectColumns.size(); ++k) {
            const Column &col = columns[objectColumns[k]];
            for (Py_ssize_t i = start; i < end; ++i) {
                Cell &c = cells[static_cast<std::size_t>(i - start) * objectColumns.size() + k];
                PyObject *value = object_at(col, i);
                if (value == nullptr) {
                    c.type = 0;
                    continue;
                }
                if (!from_object(c, value)) {
                    ok = false;
                    break;
                }
                if (c.type == 'S') {
                    Py_INCREF(value);
                    held.push_back(value);
                }
            }
        }
        if (ok) {
            Py_BEGIN_ALLOW_THREADS
            for (Py_ssize_t i = start; ok && i < end; ++i) {
                int skip = 0;
                std::size_t k = 0;
                for (std::size_t j = 0; j < width; ++j) {
                    const Column &col = columns[j];
                    Cell own;
                    const Cell *c = &own;
                    if (col.kind == kObject || col.kind == kCategory) {
                        auto at = static_cast<std::size_t>(i - start) * objectColumns.size();
                        c = &cells[at + k++];
                    } else if (!numeric_cell(col, i, own)) {
                        ok = false;
                        refused = true;
                        break;
                    }
                    if (c->type == 0) {
                        ++skip;
                        continue;
                    }
                    if (!pay_rows(self) || !write(self, *c, col.style.c_str(), skip)) {
                        ok = false;
                        failed = true;
                        break;
                    }
                }
                end_row(self);
            }
            Py_END_ALLOW_THREADS
        }
        for (PyObject *value : held) Py_DECREF(value);
        held.clear();
    }
    if (refused) return refuse_infinite(), nullptr;
    if (failed) return raise_library_error();
    if (!ok) return nullptr;
    Py_RETURN_NONE;
}

// The widest text of an object column's str values, in characters, over rows first..last.
PyObject *widest_text(PyObject *, PyObject *args) {
    unsigned long long data;
    Py_ssize_t stride, first, last;
    if (!PyArg_ParseTuple(args, "Knnn", &data, &stride, &first, &last)) return nullptr;
    auto base = reinterpret_cast<const char *>(static_cast<std::uintptr_t>(data));
    Py_ssize_t widest = 0;
    for (Py_ssize_t i = first; i < last; ++i) {
        PyObject *value;
        std::memcpy(&value, base + i * stride, sizeof value);
        if (PyUnicode_Check(value) && PyUnicode_GET_LENGTH(value) > widest)
            widest = PyUnicode_GET_LENGTH(value);
    }
    return PyLong_FromSsize_t(widest);
}

// Whether every value of a datetime64[ns] column over rows first..last falls at midnight.
PyObject *dates_only(PyObject *, PyObject *args) {
    unsigned long long data;
    Py_ssize_t stride, first, last;
    if (!PyArg_ParseTuple(args, "Knnn", &data, &stride, &first, &last)) return nullptr;
    auto base = reinterpret_cast<const char *>(static_cast<std::uintptr_t>(data));
    for (Py_ssize_t i = first; i < last; ++i) {
        std::int64_t v;
        std::memcpy(&v, base + i * stride, sizeof v);
        if (v != INT64_MIN && v % kNanosPerDay != 0) Py_RETURN_FALSE;
    }
    Py_RETURN_TRUE;
}

template <class F>
bool find(void *handle, const char *name, F &function, bool needed) {
    function = reinterpret_cast<F>(dlsym(handle, name));
    if (function == nullptr && needed) {
        PyErr_Format(PyExc_ImportError, "la libreria non ha %s", name);
        return false;
    }
    return true;
}

// bind(handle, Error, missing values, Decimal): the library opened by ctypes, and the
// package's objects this module uses.
PyObject *bind(PyObject *, PyObject *args) {
    unsigned long long handle;
    PyObject *error, *missing, *decimal;
    if (!PyArg_ParseTuple(args, "KOOO", &handle, &error, &missing, &decimal)) return nullptr;
    void *h = reinterpret_cast<void *>(static_cast<std::uintptr_t>(handle));
    if (!find(h, "xlsGetContext", api.getContext, true) ||
        !find(h, "xlsSelectContext", api.selectContext, true) ||
        !find(h, "xlsGetError", api.getError, true) ||
        !find(h, "xlsWriteCellEx", api.writeCellEx, true) ||
        !find(h, "xlsNewLineEx", api.newLineEx, true) ||
        !find(h, "xlsWriteBooleanEx", api.writeBooleanEx, false) ||
        !find(h, "xlsGetErrno", api.getErrno, false))
        return nullptr;
    Py_INCREF(error);
    Py_XSETREF(error_class, error);
    Py_INCREF(missing);
    Py_XSETREF(missing_values, missing);
    Py_INCREF(decimal);
    Py_XSETREF(decimal_type, decimal);
    Py_RETURN_NONE;
}

PyMethodDef writer_methods[] = {
    {"cell", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(writer_cell)),
     METH_VARARGS | METH_KEYWORDS, "One cell from a Python value."},
    {"row", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(writer_row)),
     METH_VARARGS | METH_KEYWORDS, "One row of values."},
    {"rows", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(writer_rows)),
     METH_VARARGS | METH_KEYWORDS, "Rows from an iterable; returns their count."},
    {"new_line", reinterpret_cast<PyCFunction>(writer_new_line), METH_VARARGS, "A row break."},
    {"settle", reinterpret_cast<PyCFunction>(writer_settle), METH_NOARGS, "Makes owed breaks."},
    {"reset", reinterpret_cast<PyCFunction>(writer_reset), METH_NOARGS, "A new worksheet."},
    {"frame", reinterpret_cast<PyCFunction>(writer_frame), METH_VARARGS, "DataFrame rows."},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot writer_slots[] = {
    {Py_tp_doc, const_cast<char *>("A workbook's context and the row breaks it owes.")},
    {Py_tp_new, reinterpret_cast<void *>(PyType_GenericNew)},
    {Py_tp_init, reinterpret_cast<void *>(writer_init)},
    {Py_tp_dealloc, reinterpret_cast<void *>(writer_dealloc)},
    {Py_tp_methods, writer_methods},
    {0, nullptr}};

PyType_Spec writer_spec = {"gridquill._native.Writer", sizeof(Writer), 0, Py_TPFLAGS_DEFAULT,
                           writer_slots};

PyMethodDef module_methods[] = {
    {"bind", bind, METH_VARARGS, "Finds the library's calls in a ctypes handle."},
    {"widest_text", widest_text, METH_VARARGS, "Widest str of an object column."},
    {"dates_only", dates_only, METH_VARARGS, "Whether a datetime64 column holds dates only."},
    {nullptr, nullptr, 0, nullptr}};

PyModuleDef module = {PyModuleDef_HEAD_INIT, "gridquill._native",
                      "The package's cell path in C++.", -1, module_methods, nullptr, nullptr,
                      nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__native(void) {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) return nullptr;
    PyObject *m = PyModule_Create(&module);
    if (m == nullptr) return nullptr;
    PyObject *type = PyType_FromSpec(&writer_spec);
    if (type == nullptr || PyModule_AddObject(m, "Writer", type) < 0) {
        Py_XDECREF(type);
        Py_DECREF(m);
        return nullptr;
    }
    return m;
}
