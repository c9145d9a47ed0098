#pragma once

// The kessa text of Python objects, walked as json.dumps walks them and written by the library's
// encoder, which holds each key and value to the one rule of what kessa text gives it.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "kessa/writer.h"

namespace kessa_python {

/// What dumps() was asked for besides the object.
struct DumpOptions {
    kessa::Layout layout;
    /// Each object's members in the order of their keys, as sorted() orders them.
    bool sortKeys = false;
    /// The class raised for a value no kessa text gives, called as (msg, code, path); borrowed.
    PyObject* encodeError = nullptr;
    /// Called as (exception, path) to note where an object that is not JSON data lies; borrowed.
    PyObject* notePath = nullptr;
};

/// The kessa text of `object`: a new reference to a str, whose bytes that are not UTF-8 (from
/// strings that surrogateescape decoded) are escaped again. Called with the GIL held, which it
/// keeps. Walks without recursing, however deep the objects nest. Returns null with an exception
/// set: the encodeError class for a value no text gives (the first met), TypeError for an object
/// that is not JSON data or a key json.dumps does not take, ValueError for a container that holds
/// itself, MemoryError, or what a comparison of keys or a dict subclass's items() raised.
PyObject* dumpObjects(PyObject* object, const DumpOptions& options);

}  // namespace kessa_python
