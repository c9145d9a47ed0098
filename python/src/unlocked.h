#pragma once

// Running the library while other threads run Python code.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <chrono>

namespace kessa_python {

/// Releases the GIL for its lifetime, so that other threads run Python code while this one reads
/// bytes it owns; locked() takes it back for a while. Constructed and destroyed with the GIL held,
/// also when an exception passes.
class Unlocked {
public:
    Unlocked() : state_(PyEval_SaveThread()) {}
    ~Unlocked() {
        if (state_ != nullptr) PyEval_RestoreThread(state_);
    }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

    /// Runs `work` with the GIL held, and releases it again however `work` ends; unless taking it
    /// back had to wait for a thread running Python code, which hands the GIL over only once per
    /// switch interval (5 ms): this thread then keeps it to the end, rather than wait once per
    /// call of locked().
    template <class Work>
    void locked(Work&& work) {
        if (state_ == nullptr) {
            work();
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        PyEval_RestoreThread(state_);
        state_ = nullptr;
        if (std::chrono::steady_clock::now() - start > kContended) {
            work();
            return;
        }
        struct Release {
            Unlocked& self;
            ~Release() { self.state_ = PyEval_SaveThread(); }
        } release{*this};
        work();
    }

private:
    /// A wait longer than another thread's locked() call takes, and shorter than a switch
    /// interval.
    static constexpr std::chrono::microseconds kContended{1000};

    PyThreadState* state_;  // null while the GIL is held
};

/// Raised through the library when a Python exception is set, which the entry point then returns
/// to the interpreter as it stands.
struct PythonError {};

}  // namespace kessa_python
