#pragma once

// The Python objects of a kessa text, built from the reader's events as json.loads builds them
// from JSON text.

#include <string_view>

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kessa_python {

/// What loads() was asked for besides the text. The objects are borrowed.
struct LoadOptions {
    /// Called with each dict; its result takes the dict's place.
    PyObject* objectHook = nullptr;
    /// Called with each object's list of (key, value) pairs instead, repeated keys included.
    PyObject* objectPairsHook = nullptr;
    /// How keys and strings that are not UTF-8 are decoded.
    const char* errors = "surrogateescape";
};

/// The objects of `text`: a new reference to the root's dict (or what a hook made of it). Called
/// with the GIL held; the reader runs without it, so `text` must be bytes the caller owns and no
/// other thread changes. Integers are saturated to 64 bits, floats are what a JSON reader gets
/// from their text in the tool's output (an infinity beyond the double range, None for a NaN).
/// Raises kessa::SyntaxError for malformed text, std::bad_alloc, and PythonError with the Python
/// exception set (a hook's, a decoding error, MemoryError).
PyObject* loadObjects(std::string_view text, const LoadOptions& options);

}  // namespace kessa_python
