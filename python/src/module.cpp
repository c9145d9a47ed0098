// kessa._kessa: the library's reader for Python. Each entry point takes the text as str or bytes,
// runs the library over bytes it owns with the GIL released, and hands back Python objects.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/conversion.h"
#include "kessa/findings.h"
#include "kessa/format.h"
#include "kessa/reader.h"
#include "kessa/schema.h"
#include "kessa/schema_fetch.h"
#include "kessa/text_position.h"
#include "object_builder.h"
#include "object_encoder.h"
#include "pelmo/file/utf8.h"
#include "pelmo/json/text_sink.h"
#include "unlocked.h"

namespace {

using kessa_python::PythonError;
using kessa_python::Unlocked;

// kessa.KessaDecodeError, kessa.KessaEncodeError, kessa.Finding and kessa.KessaSchemaError, and
// the note of where an object that is not JSON data lies, from kessa._types.
PyObject* decodeErrorType = nullptr;
PyObject* encodeErrorType = nullptr;
PyObject* findingType = nullptr;
PyObject* schemaErrorType = nullptr;
PyObject* notePath = nullptr;

constexpr const char* kDefaultErrors = "surrogateescape";

/// The bytes of a call's text, kept alive and unchanged by a reference of the call's own: a bytes
/// object itself, an ASCII str's own characters, or a copy: the UTF-8 form of any other str, and
/// the bytes of any other bytes-like object, which another thread could change while the reader
/// runs without the GIL.
class Text {
public:
    Text() = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { Py_XDECREF(owner_); }

    /// Takes `argument`; false, with the exception set, for one that is neither str nor
    /// bytes-like, or a str that `errors` cannot encode.
    bool take(PyObject* argument, const char* errors) {
        if (PyUnicode_Check(argument)) {
            isStr_ = true;
            if (PyUnicode_READY(argument) != 0) return false;
            if (PyUnicode_IS_ASCII(argument)) {
                owner_ = Py_NewRef(argument);
                bytes_ = std::string_view(static_cast<const char*>(PyUnicode_DATA(argument)),
                                          static_cast<std::size_t>(PyUnicode_GET_LENGTH(argument)));
                return true;
            }
            owner_ = PyUnicode_AsEncodedString(argument, "utf-8", errors);
        } else if (PyBytes_Check(argument)) {
            owner_ = Py_NewRef(argument);
        } else if (PyObject_CheckBuffer(argument)) {
            Py_buffer view;
            if (PyObject_GetBuffer(argument, &view, PyBUF_SIMPLE) != 0) return false;
            owner_ = PyBytes_FromStringAndSize(static_cast<const char*>(view.buf), view.len);
            PyBuffer_Release(&view);
        } else {
            PyErr_Format(PyExc_TypeError,
                         "the kessa text must be str or a bytes-like object, not %.200s",
                         Py_TYPE(argument)->tp_name);
            return false;
        }
        if (owner_ == nullptr) return false;
        bytes_ = std::string_view(PyBytes_AS_STRING(owner_),
                                  static_cast<std::size_t>(PyBytes_GET_SIZE(owner_)));
        return true;
    }

    std::string_view bytes() const { return bytes_; }

    /// The index in the argument of the byte at `offset`: a character index for a str (a UTF-8
    /// sequence counts one, as does a byte that is not part of one, which surrogateescape made of
    /// a character), the offset itself for bytes.
    std::uint64_t indexOf(std::uint64_t offset) const {
        if (!isStr_) return offset;
        const std::string_view before = bytes_.substr(0, offset);
        std::uint64_t characters = 0;
        for (std::size_t at = 0; at < before.size();) {
            const std::size_t ascii = pelmo::detail::asciiPrefix(before.substr(at));
            characters += ascii;
            at += ascii;
            if (at == before.size()) break;
            const std::size_t length = pelmo::detail::utf8SequenceLength(bytes_.substr(at));
            at += length != 0 ? length : 1;
            ++characters;
        }
        return characters;
    }

private:
    PyObject* owner_ = nullptr;
    std::string_view bytes_;
    bool isStr_ = false;
};

/// Checks that `errors` names an error handler, so that a misspelt one fails at once rather than
/// at the first byte that needs it.
bool knownErrors(const char* errors) {
    if (std::strcmp(errors, kDefaultErrors) == 0 || std::strcmp(errors, "strict") == 0) {
        return true;
    }
    PyObject* handler = PyCodec_LookupError(errors);
    Py_XDECREF(handler);
    return handler != nullptr;
}

/// Raises kessa.KessaDecodeError for `error` in `text`, given as `document`.
void raiseDecodeError(const kessa::SyntaxError& error, const Text& text, PyObject* document) {
    const std::string message = pelmo::detail::printable(error.describe());
    const kessa::TextPosition at = kessa::positionAt(text.bytes(), error.offset());
    PyObject* exception = PyObject_CallFunction(
        decodeErrorType, "s#OKKK", message.data(), static_cast<Py_ssize_t>(message.size()),
        document, static_cast<unsigned long long>(text.indexOf(error.offset())),
        static_cast<unsigned long long>(at.line), static_cast<unsigned long long>(at.column));
    if (exception != nullptr) {
        PyErr_SetObject(decodeErrorType, exception);
        Py_DECREF(exception);
    }
}

/// Sets the Python exception for the C++ one being handled; for use in a catch block.
PyObject* raiseFailure(const Text& text, PyObject* document) {
    try {
        throw;
    } catch (const PythonError&) {
        // Already set.
    } catch (const kessa::SyntaxError& error) {
        raiseDecodeError(error, text, document);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const pelmo::OutputTooLarge& error) {
        PyErr_SetString(PyExc_MemoryError, error.what());
    } catch (const std::length_error&) {
        PyErr_NoMemory();  // a string past the largest size it can have
    } catch (const std::exception& error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    }
    return nullptr;
}

/// The object's hook, or null for None; false with TypeError set for one that is not callable.
bool takeHook(PyObject*& hook, const char* name) {
    if (hook == Py_None) hook = nullptr;
    if (hook != nullptr && !PyCallable_Check(hook)) {
        PyErr_Format(PyExc_TypeError, "%s must be callable, not %.200s", name,
                     Py_TYPE(hook)->tp_name);
        return false;
    }
    return true;
}

PyDoc_STRVAR(loadsDoc,
             "loads($module, s, *, object_hook=None, object_pairs_hook=None,\n"
             "      errors='surrogateescape')\n"
             "--\n"
             "\n"
             "Read the kessa text s (str, or bytes-like) into Python objects.\n"
             "\n"
             "The result equals json.loads(to_json(s)): a dict for the top-level object\n"
             "and for each object, a list for each array, and int, float or str for\n"
             "each value, as the text alone types it. Integers saturate to the 64-bit\n"
             "range; floats are what the JSON text gives, six decimals at most, and\n"
             "float('inf') beyond the double range. A repeated key keeps its last\n"
             "value.\n"
             "\n"
             "A str is read as its UTF-8 bytes. Keys and strings whose bytes are not\n"
             "UTF-8 decode with the error handler named by errors: with the default,\n"
             "'surrogateescape', they encode back to the same bytes; 'strict' raises\n"
             "UnicodeDecodeError.\n"
             "\n"
             "object_pairs_hook, if given, is called with each object's list of\n"
             "(key, value) pairs in the order of the text, repeated keys included,\n"
             "and its result takes the object's place; else object_hook, if given, is\n"
             "called with each dict. Objects are made innermost first.\n"
             "\n"
             "Raises KessaDecodeError (a ValueError) for malformed text, TypeError for\n"
             "an argument of the wrong type, MemoryError when memory runs out. Other\n"
             "threads run while the text is read, and any depth of nesting is read.");

PyObject* loads(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"s", "object_hook", "object_pairs_hook", "errors", nullptr};
    PyObject* document;
    kessa_python::LoadOptions options;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$OOs:loads", const_cast<char**>(keywords),
                                     &document, &options.objectHook, &options.objectPairsHook,
                                     &options.errors) ||
        !takeHook(options.objectHook, "object_hook") ||
        !takeHook(options.objectPairsHook, "object_pairs_hook") || !knownErrors(options.errors)) {
        return nullptr;
    }
    Text text;
    if (!text.take(document, options.errors)) return nullptr;
    try {
        return kessa_python::loadObjects(text.bytes(), options);
    } catch (...) {
        return raiseFailure(text, document);
    }
}

PyDoc_STRVAR(toJsonDoc,
             "to_json($module, s, *, errors='surrogateescape')\n"
             "--\n"
             "\n"
             "The indented JSON text that kessa2json writes for the kessa text s.\n"
             "\n"
             "Bytes that are not UTF-8, which the tool copies as they are, decode\n"
             "with the error handler named by errors: with the default,\n"
             "'surrogateescape', to_json(s).encode('utf-8', 'surrogateescape') is the\n"
             "tool's output byte for byte.\n"
             "\n"
             "Raises KessaDecodeError for malformed text.");

PyObject* toJson(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"s", "errors", nullptr};
    PyObject* document;
    const char* errors = kDefaultErrors;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$s:to_json", const_cast<char**>(keywords),
                                     &document, &errors) ||
        !knownErrors(errors)) {
        return nullptr;
    }
    Text text;
    if (!text.take(document, errors)) return nullptr;
    try {
        std::string json;
        {
            const Unlocked unlocked;
            pelmo::StringSink sink(json, kessa::inMemoryLayoutBound(text.bytes().size()),
                                   kessa::kLayoutTooLarge);
            kessa::writeIndentedJson(text.bytes(), sink);
        }
        return PyUnicode_DecodeUTF8(json.data(), static_cast<Py_ssize_t>(json.size()), errors);
    } catch (...) {
        return raiseFailure(text, document);
    }
}

/// Sets the layout's indentation from `indent` (not given: the default): a number of spaces from
/// 1 to 16, or "\t"; false, with TypeError or ValueError set, for anything else.
bool takeIndent(PyObject* indent, kessa::Layout& layout) {
    constexpr long kMostSpaces = 16;
    if (indent == nullptr) return true;
    if (PyUnicode_Check(indent)) {
        if (PyUnicode_CompareWithASCIIString(indent, "\t") == 0) {
            layout.tabs = true;
            return true;
        }
    } else if (PyLong_Check(indent)) {
        const long spaces = PyLong_AsLong(indent);
        if (spaces >= 1 && spaces <= kMostSpaces) {
            layout.indent = static_cast<unsigned>(spaces);
            return true;
        }
        PyErr_Clear();  // an int beyond a long is refused below as any other
    } else {
        PyErr_Format(PyExc_TypeError, "indent must be an int or \"\\t\", not %.200s",
                     Py_TYPE(indent)->tp_name);
        return false;
    }
    PyErr_Format(PyExc_ValueError,
                 "indent must be \"\\t\" or a number of spaces from 1 to %ld, not %R", kMostSpaces,
                 indent);
    return false;
}

PyDoc_STRVAR(formatDoc,
             "format($module, s, *, indent=4)\n"
             "--\n"
             "\n"
             "The kessa text s laid out in the project's layout, as kessafmt writes it:\n"
             "str for a str, bytes for bytes-like. Only the layout changes (blanks, line\n"
             "breaks, indentation, where items stand); every key and value keeps its\n"
             "text, so the result converts to the same JSON, byte for byte.\n"
             "\n"
             "indent is the number of spaces a level, from 1 to 16, or \"\\t\" for a tab.\n"
             "A str is read as its UTF-8 bytes, and bytes that are not UTF-8 (as\n"
             "surrogateescape decodes them) are kept.\n"
             "\n"
             "Raises KessaDecodeError for malformed text, as loads() does.");

PyObject* format(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"s", "indent", nullptr};
    PyObject* document;
    PyObject* indent = nullptr;
    kessa::Layout layout;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$O:format", const_cast<char**>(keywords),
                                     &document, &indent) ||
        !takeIndent(indent, layout)) {
        return nullptr;
    }
    Text text;
    if (!text.take(document, kDefaultErrors)) return nullptr;
    try {
        std::string formatted;
        {
            const Unlocked unlocked;
            formatted = kessa::formatKessa(text.bytes(), layout);
        }
        const auto size = static_cast<Py_ssize_t>(formatted.size());
        return PyUnicode_Check(document)
                   ? PyUnicode_DecodeUTF8(formatted.data(), size, kDefaultErrors)
                   : PyBytes_FromStringAndSize(formatted.data(), size);
    } catch (...) {
        return raiseFailure(text, document);
    }
}

PyDoc_STRVAR(dumpsDoc,
             "dumps($module, obj, *, sort_keys=False, indent=4)\n"
             "--\n"
             "\n"
             "The kessa text of obj, a dict, in the layout of format(): what loads()\n"
             "reads back into an equal object.\n"
             "\n"
             "Takes what json.dumps takes: dict, list and tuple, str, int, float;\n"
             "dict keys of str, and of int, float, bool and None, made str as\n"
             "json.dumps makes them (1 becomes '1', True 'true'). sort_keys writes\n"
             "each dict's members in the order of their keys. indent is the number of\n"
             "spaces a level, from 1 to 16, or \"\\t\". Strings keep their characters;\n"
             "those that surrogateescape made of bytes that are not UTF-8 (as loads()\n"
             "makes them) stand for those bytes again.\n"
             "\n"
             "A value that no kessa text gives raises KessaEncodeError (a ValueError)\n"
             "naming it by its path and the reason, and nothing is written: True,\n"
             "False and None (the notation has neither), a str that reads as a number\n"
             "('007', '1e3'), a str that needs quotes but holds a tab or a double\n"
             "quote, a key holding = , { } or a line break or blanks at an end, a\n"
             "float that six decimals do not keep (0.1 + 0.2), NaN, an int beyond 64\n"
             "bits, a lone surrogate, a top level that is not a dict.\n"
             "\n"
             "Raises TypeError for an object that is not JSON data or a key of another\n"
             "type, worded as json.dumps words it, and ValueError for a container that\n"
             "holds itself. Any depth of nesting is written: nothing recurses per\n"
             "level.");

PyObject* dumps(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"obj", "sort_keys", "indent", nullptr};
    PyObject* object;
    int sortKeys = 0;
    PyObject* indent = nullptr;
    kessa_python::DumpOptions options;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$pO:dumps", const_cast<char**>(keywords),
                                     &object, &sortKeys, &indent) ||
        !takeIndent(indent, options.layout)) {
        return nullptr;
    }
    options.sortKeys = sortKeys != 0;
    options.encodeError = encodeErrorType;
    options.notePath = notePath;
    return kessa_python::dumpObjects(object, options);
}

/// A finding as check() lists it, worded and placed without the GIL.
struct Item {
    std::string_view code;
    kessa::Severity severity;
    std::string message;
    kessa::TextPosition start, end;
    std::uint64_t offset, length;
};

/// Receives every finding, to be put in document order at the end.
class FindingList final : public kessa::FindingHandler {
public:
    void found(const kessa::Finding& finding) override { findings.push_back(finding); }
    std::vector<kessa::Finding> findings;
};

/// The findings of `text` in document order, then, for malformed text, its fault; with a schema,
/// its findings among the notation's, as kessa2json --check --schema gives them.
std::vector<Item> findingsOf(std::string_view text, const kessa::Schema* schema = nullptr) {
    FindingList list;
    std::optional<Item> fault;
    // A schema's findings own their words only during the call: kept here.
    std::vector<std::string> messages;
    struct SchemaList final : kessa::FindingHandler {
        void found(const kessa::Finding& finding) override {
            findings.push_back(finding);
            messages.emplace_back(kessa::describe(finding));
        }
        std::vector<kessa::Finding> findings;
        std::vector<std::string> messages;
    } schemaList;
    try {
        // A malformed text is refused by the schema's check before any finding.
        if (schema != nullptr) kessa::checkSchemaFindings(text, *schema, schemaList);
    } catch (const kessa::SyntaxError&) {
        schemaList.findings.clear();
        schemaList.messages.clear();
    }
    try {
        kessa::checkKessaFindings(text, list);
    } catch (const kessa::SyntaxError& error) {
        const std::uint64_t length = error.length(text);
        fault = Item{"malformed",
                     kessa::Severity::Error,
                     pelmo::detail::printable(error.describe()),
                     kessa::positionAt(text, error.offset()),
                     kessa::positionAt(text, error.offset() + length),
                     error.offset(),
                     length};
    }
    // Some findings are reported once a later value comes; ties keep the order of their reports,
    // a schema's before the notation's, as the tool gives them.
    struct Entry {
        const kessa::Finding* finding;
        const std::string* message;  // a schema's words; the notation's are made below
    };
    std::vector<Entry> entries;
    for (std::size_t i = 0; i != schemaList.findings.size(); ++i) {
        entries.push_back({&schemaList.findings[i], &schemaList.messages[i]});
    }
    for (const kessa::Finding& finding : list.findings) entries.push_back({&finding, nullptr});
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.finding->offset < b.finding->offset;
    });
    // Two counters, since the end of one finding may lie past the start of the next.
    kessa::PositionCounter starts(text), ends(text);
    std::vector<Item> items;
    items.reserve(entries.size() + 1);
    for (const Entry& entry : entries) {
        const kessa::Finding& finding = *entry.finding;
        items.push_back(Item{finding.code(), finding.severity(),
                             entry.message != nullptr ? *entry.message : kessa::describe(finding),
                             starts.at(finding.offset),
                             ends.at(finding.offset + finding.bytes.size()), finding.offset,
                             finding.bytes.size()});
    }
    if (fault) items.push_back(std::move(*fault));
    return items;
}

PyObject* makeFinding(const Item& item) {
    const std::string_view severity = kessa::name(item.severity);
    PyObject* fields[] = {
        PyUnicode_FromStringAndSize(item.code.data(), static_cast<Py_ssize_t>(item.code.size())),
        PyUnicode_FromStringAndSize(severity.data(), static_cast<Py_ssize_t>(severity.size())),
        PyUnicode_FromStringAndSize(item.message.data(),
                                    static_cast<Py_ssize_t>(item.message.size())),
        PyLong_FromUnsignedLongLong(item.start.line),
        PyLong_FromUnsignedLongLong(item.start.column),
        PyLong_FromUnsignedLongLong(item.end.line),
        PyLong_FromUnsignedLongLong(item.end.column),
        PyLong_FromUnsignedLongLong(item.offset),
        PyLong_FromUnsignedLongLong(item.length),
    };
    constexpr std::size_t kFields = sizeof fields / sizeof fields[0];
    PyObject* finding = nullptr;
    if (std::none_of(fields, fields + kFields, [](PyObject* field) { return field == nullptr; })) {
        finding = PyObject_Vectorcall(findingType, fields, kFields, nullptr);
    }
    for (PyObject* field : fields) Py_XDECREF(field);
    return finding;
}

PyDoc_STRVAR(checkDoc,
             "check($module, s, schema=None, schema_json=None, schema_draft=None)\n"
             "--\n"
             "\n"
             "The places where the conversion of the kessa text s changes or drops what\n"
             "it says, as kessa2json --check reports them: a list of Finding, in\n"
             "document order. For malformed text the list ends with a finding of code\n"
             "'malformed' at the fault. Lines and columns count from 1, columns in\n"
             "characters; offset and length count bytes of the text's UTF-8 form.\n"
             "With schema (a path or an http(s) URL) or schema_json (a schema's JSON\n"
             "text), also each place where what s becomes does not fit that JSON Schema,\n"
             "as kessa2json --check --schema reports it; schema_draft ('4', '6', '7',\n"
             "'2019-09', '2020-12') is the draft of a schema that names none. A schema\n"
             "that cannot be used raises KessaSchemaError.");

/// Raises KessaSchemaError(reason, file, line, column) for `error`.
PyObject* raiseSchemaError(const kessa::SchemaError& error) {
    const auto position = error.position();
    PyObject* exception =
        PyObject_CallFunction(schemaErrorType, "sszz", error.reason().c_str(), error.file().c_str(),
                              position ? std::to_string(position->line).c_str() : nullptr,
                              position ? std::to_string(position->column).c_str() : nullptr);
    if (exception != nullptr) {
        PyErr_SetObject(schemaErrorType, exception);
        Py_DECREF(exception);
    }
    return nullptr;
}

PyObject* check(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"s", "schema", "schema_json", "schema_draft", nullptr};
    PyObject* document;
    const char* location = nullptr;
    const char* json = nullptr;
    Py_ssize_t jsonSize = 0;
    const char* draftName = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|zz#z:check", const_cast<char**>(keywords),
                                     &document, &location, &json, &jsonSize, &draftName)) {
        return nullptr;
    }
    kessa::SchemaOptions options;
    if (draftName != nullptr) {
        const auto draft = kessa::schemaDraftOfName(draftName);
        if (!draft) {
            PyErr_Format(PyExc_ValueError,
                         "unknown draft '%s'; the drafts are 4, 6, 7, 2019-09 and 2020-12",
                         draftName);
            return nullptr;
        }
        options.draft = *draft;
    }
    Text text;
    if (!text.take(document, kDefaultErrors)) return nullptr;
    std::optional<kessa::Schema> schema;
    std::vector<Item> items;
    try {
        const Unlocked unlocked;
        options.fetch = kessa::httpSchemaFetch();
        if (location != nullptr) {
            schema.emplace(kessa::Schema::load(location, options));
        } else if (json != nullptr) {
            schema.emplace(kessa::Schema::parse(
                std::string_view(json, static_cast<std::size_t>(jsonSize)), "<schema>", options));
        }
        items = findingsOf(text.bytes(), schema ? &*schema : nullptr);
    } catch (const kessa::SchemaError& error) {
        return raiseSchemaError(error);
    } catch (...) {
        return raiseFailure(text, document);
    }
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(items.size()));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i != items.size(); ++i) {
        PyObject* finding = makeFinding(items[i]);
        if (finding == nullptr) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), finding);
    }
    return list;
}

PyMethodDef methods[] = {
    {"loads", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(loads)),
     METH_VARARGS | METH_KEYWORDS, loadsDoc},
    {"to_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(toJson)),
     METH_VARARGS | METH_KEYWORDS, toJsonDoc},
    {"check", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(check)),
     METH_VARARGS | METH_KEYWORDS, checkDoc},
    {"format", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(format)),
     METH_VARARGS | METH_KEYWORDS, formatDoc},
    {"dumps", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(dumps)),
     METH_VARARGS | METH_KEYWORDS, dumpsDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef moduleDef = {
    PyModuleDef_HEAD_INIT,
    "kessa._kessa",
    "The kessa reader and writer, over the kessa2json library.",
    -1,
    methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__kessa() {
    PyObject* types = PyImport_ImportModule("kessa._types");
    if (types == nullptr) return nullptr;
    decodeErrorType = PyObject_GetAttrString(types, "KessaDecodeError");
    encodeErrorType = PyObject_GetAttrString(types, "KessaEncodeError");
    findingType = PyObject_GetAttrString(types, "Finding");
    schemaErrorType = PyObject_GetAttrString(types, "KessaSchemaError");
    notePath = PyObject_GetAttrString(types, "_note_path");
    Py_DECREF(types);
    if (decodeErrorType == nullptr || encodeErrorType == nullptr || findingType == nullptr ||
        schemaErrorType == nullptr || notePath == nullptr) {
        return nullptr;
    }
    PyObject* module = PyModule_Create(&moduleDef);
    if (module == nullptr) return nullptr;
    if (PyModule_AddStringConstant(module, "__version__", KESSA2JSON_VERSION) != 0) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}
