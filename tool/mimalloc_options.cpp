// Linked into the tool only when it is built with mimalloc, which then serves every allocation.
// A large document is millions of small nodes, and on such inputs the time goes mostly into
// faulting in fresh memory a 4 KiB page at a time; large OS pages cut that cost several times.
// The allocator's own messages stay off: the tool writes nothing to standard error but its one
// failure line.

#include <mimalloc.h>

namespace {

const bool largePages = [] {
    mi_option_enable(mi_option_large_os_pages);
    mi_option_disable(mi_option_verbose);
    mi_option_disable(mi_option_show_errors);
    return true;
}();

}  // namespace
