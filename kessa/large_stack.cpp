#include "kessa/large_stack.h"

#include <pthread.h>

#include <exception>
#include <new>

namespace kessa::detail {

namespace {

struct Call {
    const std::function<void()>* work;
    std::exception_ptr error;
};

void* runCall(void* argument) {
    auto* call = static_cast<Call*>(argument);
    try {
        (*call->work)();
    } catch (...) {
        call->error = std::current_exception();
    }
    return nullptr;
}

}  // namespace

void runOnLargeStack(std::size_t size, const std::function<void()>& work) {
    Call call{&work, nullptr};
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) throw std::bad_alloc();
    pthread_t thread;
    const bool started = pthread_attr_setstacksize(&attributes, size) == 0 &&
                         pthread_create(&thread, &attributes, runCall, &call) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) throw std::bad_alloc();
    pthread_join(thread, nullptr);
    if (call.error) std::rethrow_exception(call.error);
}

}  // namespace kessa::detail
