#include "object_builder.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kessa/reader.h"
#include "kessa/scalar.h"
#include "unlocked.h"

namespace kessa_python {

namespace {

/// Returns `object`, a new reference, or raises PythonError for the null of a failed call.
PyObject* checked(PyObject* object) {
    if (object == nullptr) throw PythonError{};
    return object;
}

/// Mixes every bit of `x` into every bit of the result (splitmix64's finalizer).
std::uint64_t mix(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

/// A hash of short byte strings, eight bytes at a time: cheaper than the standard library's.
std::uint64_t hashBytes(std::string_view bytes) {
    std::uint64_t hash = bytes.size();
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        hash = mix(hash ^ word);
    }
    // The last one to seven bytes as two overlapping loads, or three single bytes.
    std::uint64_t word = 0;
    if (left >= 4) {
        std::uint32_t first, last;
        std::memcpy(&first, p, 4);
        std::memcpy(&last, p + left - 4, 4);
        word = std::uint64_t{first} << 32 | last;
    } else if (left != 0) {
        const auto byte = [p](std::size_t i) { return static_cast<unsigned char>(p[i]); };
        word = std::uint64_t{byte(0)} << 16 | std::uint64_t{byte(left / 2)} << 8 | byte(left - 1);
    }
    return left != 0 ? mix(hash ^ word) : hash;
}

/// The str objects of one call by their bytes, so that a key or value that recurs in many
/// records is decoded (and a key hashed) once, and held once. Bounded: a string longer than
/// `maxBytes`, or a new one past the last entry, is not kept. Looking up needs no GIL, as it
/// touches no object.
class StringCache {
public:
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};

    explicit StringCache(std::size_t maxBytes) : maxBytes_(maxBytes) {}
    StringCache(const StringCache&) = delete;
    StringCache& operator=(const StringCache&) = delete;
    /// With the GIL held.
    ~StringCache() {
        for (const Entry& entry : entries_) Py_XDECREF(entry.object);
    }

    /// The entry of `bytes`, which must outlive the cache, added (with no object yet) if new; or
    /// kNone when it cannot be kept.
    std::uint32_t find(std::string_view bytes) {
        if (bytes.size() > maxBytes_) return kNone;
        if (slots_.empty()) slots_.assign(kFirstSlots, 0);
        const std::uint64_t hash = hashBytes(bytes);
        const std::size_t mask = slots_.size() - 1;
        std::size_t slot = hash & mask;
        for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
            const Entry& entry = entries_[slots_[slot] - 1];
            if (entry.hash == hash && entry.bytes == bytes) return slots_[slot] - 1;
        }
        if (entries_.size() == kMaxEntries) return kNone;
        entries_.push_back(Entry{bytes, hash, nullptr});
        slots_[slot] = static_cast<std::uint32_t>(entries_.size());
        if (entries_.size() * 2 > slots_.size()) grow();
        return static_cast<std::uint32_t>(entries_.size() - 1);
    }

    std::string_view bytes(std::uint32_t entry) const { return entries_[entry].bytes; }
    /// The entry's key object, a reference the cache owns; null until one is set.
    PyObject*& object(std::uint32_t entry) { return entries_[entry].object; }

private:
    static constexpr std::size_t kMaxEntries = std::size_t{1} << 16;
    static constexpr std::size_t kFirstSlots = 256;

    struct Entry {
        std::string_view bytes;
        std::uint64_t hash;
        PyObject* object;
    };

    void grow() {
        std::vector<std::uint32_t> slots(slots_.size() * 2, 0);
        const std::size_t mask = slots.size() - 1;
        for (std::size_t i = 0; i != entries_.size(); ++i) {
            std::size_t slot = entries_[i].hash & mask;
            while (slots[slot] != 0) slot = (slot + 1) & mask;
            slots[slot] = static_cast<std::uint32_t>(i + 1);
        }
        slots_.swap(slots);
    }

    const std::size_t maxBytes_;
    std::vector<Entry> entries_;
    /// An entry's index plus one, or 0 for a free slot; open addressing, at most half full.
    std::vector<std::uint32_t> slots_;
};

enum class Op : std::uint8_t {
    Key,           // bytes, copied or not
    CachedKey,     // entry
    String,        // bytes, copied or not
    CachedString,  // entry
    Integer,
    Float,
    None,
    OpenObject,
    OpenArray,
    CloseObject,
    CloseArray,
};

/// One event of a batch, its value typed and its bytes located.
struct Event {
    Op op;
    /// Whether the bytes lie in the batch's copies, from `at`, rather than in the text.
    bool copied = false;
    std::uint32_t entry = StringCache::kNone;
    union {
        const char* bytes;
        std::size_t at;
        std::int64_t integer;
        double number;
    };
    std::size_t size = 0;
    explicit Event(Op kind) : op(kind), bytes(nullptr) {}
};

/// The events the reader reports, kept without the GIL until they are built into objects.
struct Batch {
    /// Events per batch: enough that taking the GIL costs little beside building them, few
    /// enough that a batch stays in the processor's cache.
    static constexpr std::size_t kSize = 4096;

    std::vector<Event> events;
    /// The bytes of keys and values that are not a run of the text.
    std::string copies;
};

/// The batch of this thread's last call, kept for the next: freed after every call, its memory
/// would go back to the system and come again as page faults, which cost more than reading a
/// small text. Null while a call uses it.
thread_local std::unique_ptr<Batch> spareBatch;

/// Holds off the collector's automatic runs while a call builds objects (as gc.disable() would),
/// and lets them resume after the last call that does. The objects built form no cycles, so a run
/// would find nothing to free in them; yet every 700 containers it would start one, and each run
/// of the oldest generation walks every object the program holds. Used with the GIL held.
class CollectorPause {
public:
    CollectorPause() {
        if (pauses_++ == 0) resume_ = PyGC_Disable() != 0;
    }
    ~CollectorPause() {
        if (--pauses_ == 0 && resume_) PyGC_Enable();
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    static inline int pauses_ = 0;
    static inline bool resume_ = false;
};

/// Receives the reader's events without the GIL, as a batch of typed values and looked-up keys,
/// and turns each full batch, and the last one, into objects with the GIL held. The objects wait
/// on a stack of their own until their container closes, so that each container is made whole
/// (a list at its final size), and no step recurses, however deep the text nests.
class ObjectBuilder final : public kessa::KessaHandler {
public:
    ObjectBuilder(std::string_view text, const LoadOptions& options)
        : text_(text), options_(options), batch_(std::move(spareBatch)) {
        if (batch_ == nullptr) {
            batch_ = std::make_unique<Batch>();
            batch_->events.reserve(Batch::kSize);
        }
    }
    ObjectBuilder(const ObjectBuilder&) = delete;
    ObjectBuilder& operator=(const ObjectBuilder&) = delete;
    /// With the GIL held.
    ~ObjectBuilder() override {
        // A call made by a hook of this one has left its batch already.
        if (spareBatch == nullptr) {
            batch_->events.clear();
            batch_->copies.clear();
            batch_->copies.shrink_to_fit();  // held only for copies longer than most
            spareBatch = std::move(batch_);
        }
        for (PyObject* value : values_) Py_DECREF(value);
        Py_XDECREF(pendingKey_);
        Py_XDECREF(root_);
        Py_XDECREF(emptyKey_);
    }

    /// Reads the text, without the GIL but while a batch is built, and returns the root. Called
    /// and returns with the GIL held.
    PyObject* run() {
        emptyKey_ = checked(PyUnicode_FromStringAndSize("", 0));
        {
            Unlocked unlocked;
            unlocked_ = &unlocked;
            kessa::readKessa(text_, *this);
            unlocked_ = nullptr;
        }
        build();
        PyObject* root = root_;
        root_ = nullptr;
        return root;
    }

    void key(std::string_view bytes) override {
        Event event{Op::Key};
        if (within(bytes)) {
            event.entry = keys_.find(bytes);
            if (event.entry != StringCache::kNone) event.op = Op::CachedKey;
        }
        if (event.op == Op::Key) keep(bytes, event);
        record(event);
    }

    void scalar(std::string_view token) override {
        const kessa::Scalar scalar = kessa::typeAsWritten(token);
        Event event{Op::Integer};
        switch (scalar.type) {
            case pelmo::JsonType::Integer:
                event.integer = scalar.integer;
                break;
            case pelmo::JsonType::Float:
                // The tool writes NaN as null.
                event.number = scalar.number;
                event.op = std::isnan(event.number) ? Op::None : Op::Float;
                break;
            default:
                event.op = Op::String;
                if (within(token)) {
                    event.entry = strings_.find(token);
                    if (event.entry != StringCache::kNone) event.op = Op::CachedString;
                }
                if (event.op == Op::String) keep(token, event);
        }
        record(event);
    }

    void openObject() override { record(Event{Op::OpenObject}); }
    void openArray() override { record(Event{Op::OpenArray}); }
    void closeObject() override { record(Event{Op::CloseObject}); }
    void closeArray() override { record(Event{Op::CloseArray}); }
    void end() override {}

private:
    /// A container being filled: where its values begin on the stack (an object's as key, value
    /// pairs), and its kind.
    struct Open {
        std::size_t base;
        bool object;
    };

    bool within(std::string_view bytes) const {
        const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
        const auto begin = reinterpret_cast<std::uintptr_t>(text_.data());
        return at >= begin && bytes.size() <= text_.size() &&
               at - begin <= text_.size() - bytes.size();
    }

    /// Points `event` at `bytes`: where they lie in the text, or at a copy, since the reader's
    /// views of bytes it joined last only during its call.
    void keep(std::string_view bytes, Event& event) {
        event.size = bytes.size();
        if (within(bytes)) {
            event.bytes = bytes.data();
        } else {
            event.copied = true;
            event.at = batch_->copies.size();
            batch_->copies.append(bytes);
        }
    }

    void record(const Event& event) {
        batch_->events.push_back(event);
        if (batch_->events.size() == Batch::kSize) unlocked_->locked([this] { build(); });
    }

    std::string_view bytesOf(const Event& event) const {
        return event.copied ? std::string_view(batch_->copies).substr(event.at, event.size)
                            : std::string_view(event.bytes, event.size);
    }

    PyObject* decode(std::string_view bytes) const {
        return checked(PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                                            options_.errors));
    }

    /// Turns the batch into objects. With the GIL held.
    void build() {
        // Ctrl-C stops a long read here, as it stops Python code.
        if (PyErr_CheckSignals() != 0) throw PythonError{};
        for (const Event& event : batch_->events) {
            // Room for a key and a value, so that no push below fails once an object is made.
            if (values_.capacity() - values_.size() < 2) values_.reserve(2 * values_.size() + 16);
            switch (event.op) {
                case Op::Key:
                    setKey(decode(bytesOf(event)));
                    break;
                case Op::CachedKey:
                    setKey(Py_NewRef(cached(keys_, event.entry)));
                    break;
                case Op::String:
                    add(decode(bytesOf(event)));
                    break;
                case Op::CachedString:
                    add(Py_NewRef(cached(strings_, event.entry)));
                    break;
                case Op::Integer:
                    add(checked(PyLong_FromLongLong(event.integer)));
                    break;
                case Op::Float:
                    add(checked(PyFloat_FromDouble(event.number)));
                    break;
                case Op::None:
                    add(Py_NewRef(Py_None));
                    break;
                case Op::OpenObject:
                case Op::OpenArray:
                    open(event.op == Op::OpenObject);
                    break;
                case Op::CloseObject:
                    finish(makeObject());
                    break;
                case Op::CloseArray:
                    finish(makeList());
                    break;
            }
        }
        batch_->events.clear();
        batch_->copies.clear();
    }

    /// The cache's object for `entry`, made on first use.
    PyObject* cached(StringCache& cache, std::uint32_t entry) {
        PyObject*& object = cache.object(entry);
        if (object == nullptr) object = decode(cache.bytes(entry));
        return object;
    }

    void setKey(PyObject* key) {
        Py_XDECREF(pendingKey_);
        pendingKey_ = key;
    }

    /// Pushes the key a value takes in the innermost object: the one given, or the empty key.
    /// Inside an array a given key waits for the next value added to an object.
    void pushKey() {
        values_.push_back(pendingKey_ != nullptr ? pendingKey_ : Py_NewRef(emptyKey_));
        pendingKey_ = nullptr;
    }

    /// Adds `value`, a new reference, to the innermost container.
    void add(PyObject* value) {
        if (open_.back().object) pushKey();
        values_.push_back(value);
    }

    void open(bool object) {
        if (!open_.empty() && open_.back().object) pushKey();
        open_.push_back(Open{values_.size(), object});
    }

    /// Adds the container just made, a new reference, to its parent, or keeps it as the root.
    void finish(PyObject* container) {
        open_.pop_back();
        if (open_.empty()) {
            root_ = container;
        } else {
            values_.push_back(container);
        }
    }

    PyObject* makeList() {
        const std::size_t base = open_.back().base;
        const std::size_t size = values_.size() - base;
        PyObject* list = checked(PyList_New(static_cast<Py_ssize_t>(size)));
        if (size != 0) {
            // The list takes over the stack's references.
            std::memcpy(reinterpret_cast<PyListObject*>(list)->ob_item, values_.data() + base,
                        size * sizeof(PyObject*));
            values_.resize(base);
        }
        return list;
    }

    PyObject* makeObject() {
        const std::size_t base = open_.back().base;
        const std::size_t pairs = (values_.size() - base) / 2;
        PyObject* const* member = values_.data() + base;
        PyObject* result;
        if (options_.objectPairsHook != nullptr) {
            PyObject* list = checked(PyList_New(static_cast<Py_ssize_t>(pairs)));
            for (std::size_t i = 0; i != pairs; ++i) {
                PyObject* pair = PyTuple_Pack(2, member[2 * i], member[2 * i + 1]);
                if (pair == nullptr) {
                    Py_DECREF(list);
                    throw PythonError{};
                }
                PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), pair);
            }
            result = PyObject_CallOneArg(options_.objectPairsHook, list);
            Py_DECREF(list);
        } else {
            result = makeDict(member, pairs);
            if (result != nullptr && options_.objectHook != nullptr) {
                PyObject* dict = result;
                result = PyObject_CallOneArg(options_.objectHook, dict);
                Py_DECREF(dict);
            }
        }
        checked(result);
        for (std::size_t i = base; i != values_.size(); ++i) Py_DECREF(values_[i]);
        values_.resize(base);
        return result;
    }

    /// A dict of the `pairs` keys and values at `member`; a repeated key keeps its first place
    /// and its last value, as json.loads does. Null with an exception set on failure. (A dict
    /// made at its final size would hold its keys in the slower form meant for keys of any type.)
    static PyObject* makeDict(PyObject* const* member, std::size_t pairs) {
        PyObject* dict = PyDict_New();
        if (dict == nullptr) return nullptr;
        for (std::size_t i = 0; i != pairs; ++i) {
            if (PyDict_SetItem(dict, member[2 * i], member[2 * i + 1]) != 0) {
                Py_DECREF(dict);
                return nullptr;
            }
        }
        return dict;
    }

    const std::string_view text_;
    const LoadOptions& options_;
    Unlocked* unlocked_ = nullptr;

    // Filled without the GIL.
    std::unique_ptr<Batch> batch_;
    StringCache keys_{64};
    /// Short values only: most longer ones are not repeated.
    StringCache strings_{16};

    // What is built, with the GIL: references the builder owns.
    std::vector<PyObject*> values_;
    std::vector<Open> open_;
    PyObject* pendingKey_ = nullptr;
    PyObject* root_ = nullptr;
    PyObject* emptyKey_ = nullptr;
};

}  // namespace

PyObject* loadObjects(std::string_view text, const LoadOptions& options) {
    const CollectorPause pause;
    ObjectBuilder builder(text, options);
    return builder.run();
}

}  // namespace kessa_python
