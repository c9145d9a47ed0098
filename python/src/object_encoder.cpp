#include "object_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "kessa/finding_kinds.h"
#include "kessa/kessa_encoder.h"
#include "pelmo/json/text_sink.h"
#include "unlocked.h"

namespace kessa_python {

namespace {

/// Raised by the refusal handler, to stop at the first value no text gives.
struct Refused {
    kessa::FindingKind reason;
};

/// Raised with a TypeError set for an object that is not JSON data, to add where it lies.
struct NotJsonData {};

/// A reference the holder owns, dropped when it goes.
class Owned {
public:
    explicit Owned(PyObject* object = nullptr) : object_(object) {}
    ~Owned() { Py_XDECREF(object_); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    PyObject* get() const { return object_; }
    PyObject* release() { return std::exchange(object_, nullptr); }
    void reset(PyObject* object) {
        Py_XDECREF(object_);
        object_ = object;
    }

private:
    PyObject* object_;
};

PyObject* checked(PyObject* object) {
    if (object == nullptr) throw PythonError{};
    return object;
}

/// Writes the UTF-8 of `size` code points at `units` into `out`. A surrogate from U+DC80 to
/// U+DCFF, which surrogateescape makes of a byte that is not UTF-8, becomes that byte again (and
/// `escaped` is set); false for any other surrogate, which no UTF-8 holds.
template <class Unit>
bool encodeUtf8(const Unit* units, std::size_t size, std::string& out, bool& escaped) {
    out.resize(size * (sizeof(Unit) == 1 ? 2 : sizeof(Unit) == 2 ? 3 : 4));
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    for (std::size_t i = 0; i != size; ++i) {
        const std::uint32_t c = units[i];
        if (c < 0x80) {
            *p++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            *p++ = static_cast<unsigned char>(0xC0 | c >> 6);
            *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (c < 0xDC80 || c > 0xDCFF) return false;
            *p++ = static_cast<unsigned char>(c - 0xDC00);
            escaped = true;
        } else if (c < 0x10000) {
            *p++ = static_cast<unsigned char>(0xE0 | c >> 12);
            *p++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
            *p++ = static_cast<unsigned char>(0xF0 | c >> 18);
            *p++ = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
    }
    out.resize(static_cast<std::size_t>(p - reinterpret_cast<unsigned char*>(out.data())));
    return true;
}

/// The bytes of the str `s` in a text, as loads reads them back into `s`: its own characters
/// where it is ASCII, else its UTF-8 in `buffer`, with the bytes surrogateescape stands for. None
/// for a string with a surrogate that no such bytes give back: one surrogateescape does not
/// make, or escaped bytes that read as UTF-8 together ("\udcc3\udca9" would come back as "é").
std::optional<std::string_view> textOf(PyObject* s, std::string& buffer) {
    if (PyUnicode_READY(s) != 0) throw PythonError{};
    const auto size = static_cast<std::size_t>(PyUnicode_GET_LENGTH(s));
    if (PyUnicode_IS_ASCII(s)) {
        return std::string_view(static_cast<const char*>(PyUnicode_DATA(s)), size);
    }
    bool escaped = false;
    bool encoded;
    switch (PyUnicode_KIND(s)) {
        case PyUnicode_1BYTE_KIND:
            encoded = encodeUtf8(PyUnicode_1BYTE_DATA(s), size, buffer, escaped);
            break;
        case PyUnicode_2BYTE_KIND:
            encoded = encodeUtf8(PyUnicode_2BYTE_DATA(s), size, buffer, escaped);
            break;
        default:
            encoded = encodeUtf8(PyUnicode_4BYTE_DATA(s), size, buffer, escaped);
    }
    if (!encoded) return std::nullopt;
    if (escaped) {
        const Owned back(checked(PyUnicode_DecodeUTF8(
            buffer.data(), static_cast<Py_ssize_t>(buffer.size()), "surrogateescape")));
        if (PyUnicode_Compare(back.get(), s) != 0) return std::nullopt;
    }
    return std::string_view(buffer);
}

/// The str json.dumps makes of the dict key `key`: a new reference. Raises PythonError with
/// TypeError set for a key of a type json.dumps does not take.
PyObject* keyText(PyObject* key) {
    if (PyUnicode_Check(key)) return Py_NewRef(key);
    if (key == Py_True || key == Py_False || key == Py_None) {
        return checked(PyUnicode_FromString(key == Py_True    ? "true"
                                            : key == Py_False ? "false"
                                                              : "null"));
    }
    if (PyLong_Check(key)) return checked(PyLong_Type.tp_repr(key));
    if (PyFloat_Check(key)) {
        const double value = PyFloat_AS_DOUBLE(key);
        if (std::isnan(value)) return checked(PyUnicode_FromString("NaN"));
        if (std::isinf(value)) {
            return checked(PyUnicode_FromString(value > 0 ? "Infinity" : "-Infinity"));
        }
        return checked(PyFloat_Type.tp_repr(key));
    }
    PyErr_Format(PyExc_TypeError, "keys must be str, int, float, bool or None, not %.100s",
                 Py_TYPE(key)->tp_name);
    throw NotJsonData{};
}

/// Walks the objects depth first on a stack of its own, handing each to the encoder as a JSON
/// value; the encoder writes the text, and reports a value it has none for, which stops the walk.
class Walker final : public kessa::RefusalHandler {
public:
    Walker(std::string& out, const DumpOptions& options)
        : sink_(out),
          writer_(sink_, options.layout),
          encoder_(&writer_, *this),
          options_(options) {}
    ~Walker() override {
        for (Frame& frame : frames_) release(frame);
    }
    Walker(const Walker&) = delete;
    Walker& operator=(const Walker&) = delete;

    void refused(kessa::FindingKind reason, const kessa::KessaEncoder&) override {
        throw Refused{reason};
    }

    /// Writes `top`. Raises PythonError with the exception set.
    void run(PyObject* top) {
        try {
            value(top);
            while (!frames_.empty()) step();
            encoder_.finish();
        } catch (const Refused& refused) {
            raiseRefusal(refused.reason);
            throw PythonError{};
        } catch (const NotJsonData&) {
            notePath();
            throw PythonError{};
        }
    }

private:
    enum class Kind : std::uint8_t {
        Sequence,  // a list or tuple, by index
        Dict,      // a dict's own entries, by PyDict_Next
        Items,     // a list of (key, value) pairs: sorted, or a dict subclass's items()
    };

    /// An open container, with references of its own: the walk holds what it still has to visit
    /// even where a key's comparison or an items() method changes the objects meanwhile.
    struct Frame {
        PyObject* container;
        PyObject* items;   // for Kind::Items
        PyObject* key;     // the str of the member being written, for a dict
        Py_ssize_t next;   // PyDict_Next's position, or the index of the next entry
        Py_ssize_t index;  // the element being written, for a sequence
        Kind kind;
    };

    /// Open containers looked for one by one, below this depth; by a hash beyond it.
    static constexpr std::size_t kScanned = 32;
    /// Values between two looks for a signal (Ctrl-C stops a long walk).
    static constexpr unsigned kSignalPeriod = 1u << 16;

    static void release(Frame& frame) {
        Py_DECREF(frame.container);
        Py_XDECREF(frame.items);
        Py_XDECREF(frame.key);
    }

    void step() {
        if (++sinceSignals_ == kSignalPeriod) {
            sinceSignals_ = 0;
            if (PyErr_CheckSignals() != 0) throw PythonError{};
        }
        Frame& frame = frames_.back();
        PyObject* key = nullptr;
        PyObject* item = nullptr;
        switch (frame.kind) {
            case Kind::Sequence:
                // The size is read each time: a list may have shrunk meanwhile.
                if (frame.next >= PySequence_Fast_GET_SIZE(frame.container)) return close();
                frame.index = frame.next++;
                item = PySequence_Fast_GET_ITEM(frame.container, frame.index);
                break;
            case Kind::Dict:
                if (!PyDict_Next(frame.container, &frame.next, &key, &item)) return close();
                member(frame, key);
                break;
            case Kind::Items: {
                if (frame.next >= PyList_GET_SIZE(frame.items)) return close();
                PyObject* pair = PyList_GET_ITEM(frame.items, frame.next++);
                if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) {
                    PyErr_SetString(PyExc_ValueError, "items must return 2-tuples");
                    throw PythonError{};
                }
                member(frame, PyTuple_GET_ITEM(pair, 0));
                item = PyTuple_GET_ITEM(pair, 1);
                break;
            }
        }
        value(item);
    }

    void member(Frame& frame, PyObject* key) {
        // A key not taken leaves the path at its dict.
        Py_CLEAR(frame.key);
        frame.key = keyText(key);
        if (const auto bytes = textOf(frame.key, buffer_)) {
            encoder_.key(*bytes);
        } else {
            encoder_.refuseKey({}, kessa::FindingKind::LoneSurrogate);
        }
    }

    /// Writes a value, or opens it, in the order of json.dumps's checks.
    void value(PyObject* object) {
        if (PyUnicode_Check(object)) {
            if (const auto bytes = textOf(object, buffer_)) {
                encoder_.string(*bytes);
            } else {
                encoder_.refuse(kessa::FindingKind::LoneSurrogate);
            }
        } else if (object == Py_None) {
            encoder_.refuse(kessa::FindingKind::NoNull);
        } else if (object == Py_True || object == Py_False) {
            encoder_.refuse(kessa::FindingKind::NoBoolean);
        } else if (PyLong_Check(object)) {
            int overflow = 0;
            const long long integer = PyLong_AsLongLongAndOverflow(object, &overflow);
            if (overflow != 0) {
                encoder_.refuse(kessa::FindingKind::BigInteger);
            } else {
                encoder_.integer(integer);
            }
        } else if (PyFloat_Check(object)) {
            encoder_.number(PyFloat_AS_DOUBLE(object));
        } else if (PyList_Check(object) || PyTuple_Check(object)) {
            open(object, false);
        } else if (PyDict_Check(object)) {
            open(object, true);
        } else {
            PyErr_Format(PyExc_TypeError, "Object of type %.100s is not JSON serializable",
                         Py_TYPE(object)->tp_name);
            throw NotJsonData{};
        }
    }

    void open(PyObject* object, bool dict) {
        Owned container(Py_NewRef(object));
        if (isOpen(object)) {
            PyErr_SetString(PyExc_ValueError, "Circular reference detected");
            throw PythonError{};
        }
        Owned items;
        Kind kind = Kind::Sequence;
        if (dict) {
            kind = Kind::Dict;
            if (options_.sortKeys || !PyDict_CheckExact(object)) {
                // As json.dumps: a subclass's own items(), and pairs sorted as sorted() sorts.
                kind = Kind::Items;
                items.reset(checked(PyMapping_Items(object)));
                if (options_.sortKeys && PyList_Sort(items.get()) != 0) throw PythonError{};
            }
            encoder_.openObject();
        } else {
            encoder_.openArray();
        }
        if (frames_.size() >= kScanned) deep_.insert(object);
        frames_.push_back(Frame{container.release(), items.release(), nullptr, 0, 0, kind});
    }

    void close() {
        Frame frame = frames_.back();
        frames_.pop_back();
        if (frames_.size() >= kScanned) deep_.erase(frame.container);
        release(frame);
        encoder_.close();
    }

    bool isOpen(PyObject* object) const {
        const auto scanned = frames_.begin() + std::min(frames_.size(), kScanned);
        return std::any_of(frames_.begin(), scanned,
                           [object](const Frame& frame) { return frame.container == object; }) ||
               (frames_.size() > kScanned && deep_.count(object) != 0);
    }

    /// The keys and indices that lead to the value or key being written: a new tuple.
    PyObject* path() const {
        std::size_t steps = frames_.size();
        if (steps != 0 && frames_.back().kind != Kind::Sequence && frames_.back().key == nullptr) {
            --steps;
        }
        Owned path(checked(PyTuple_New(static_cast<Py_ssize_t>(steps))));
        for (std::size_t i = 0; i != steps; ++i) {
            const Frame& frame = frames_[i];
            PyObject* step = frame.kind == Kind::Sequence ? checked(PyLong_FromSsize_t(frame.index))
                                                          : Py_NewRef(frame.key);
            PyTuple_SET_ITEM(path.get(), static_cast<Py_ssize_t>(i), step);
        }
        return path.release();
    }

    void raiseRefusal(kessa::FindingKind reason) const {
        std::string_view words = kessa::summary(reason);
        if (!words.empty() && words.back() == '.') words.remove_suffix(1);
        const std::string_view code = kessa::code(reason);
        const Owned where(path());
        const Owned error(checked(PyObject_CallFunction(
            options_.encodeError, "s#s#O", words.data(), static_cast<Py_ssize_t>(words.size()),
            code.data(), static_cast<Py_ssize_t>(code.size()), where.get())));
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.get())), error.get());
    }

    /// Adds to the exception set a note of where the object lies, below the top.
    void notePath() const {
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        PyErr_NormalizeException(&type, &value, &traceback);
        try {
            const Owned where(path());
            if (PyTuple_GET_SIZE(where.get()) != 0) {
                Py_XDECREF(
                    PyObject_CallFunctionObjArgs(options_.notePath, value, where.get(), nullptr));
            }
        } catch (const PythonError&) {
        }
        PyErr_Clear();  // the note is a help: its failure leaves the error as it was
        PyErr_Restore(type, value, traceback);
    }

    pelmo::StringSink sink_;
    kessa::KessaWriter writer_;
    kessa::KessaEncoder encoder_;
    const DumpOptions& options_;
    std::vector<Frame> frames_;
    std::unordered_set<PyObject*> deep_;
    std::string buffer_;
    unsigned sinceSignals_ = 0;
};

}  // namespace

PyObject* dumpObjects(PyObject* object, const DumpOptions& options) {
    try {
        std::string text;
        {
            Walker walker(text, options);
            walker.run(object);
        }
        return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                                    "surrogateescape");
    } catch (const PythonError&) {
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::length_error&) {
        PyErr_NoMemory();
    }
    return nullptr;
}

}  // namespace kessa_python
