#include "heapmeter.h"

#include <atomic>
#include <malloc.h>

// AddressSanitizer brings its own malloc, which must be the process's only one: under it
// nothing is wrapped and the figures stay 0.
#ifndef __SANITIZE_ADDRESS__

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
}

namespace {
std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};

void added(void *p)
{
    if (!p)
        return;
    const std::size_t now = g_inUse += malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void removed(void *p)
{
    if (p)
        g_inUse -= malloc_usable_size(p);
}
} // namespace

extern "C" {
void *malloc(size_t n)
{
    void *p = __libc_malloc(n);
    added(p);
    return p;
}

void *calloc(size_t n, size_t size)
{
    void *p = __libc_calloc(n, size);
    added(p);
    return p;
}

void *realloc(void *old, size_t n)
{
    removed(old);
    void *p = __libc_realloc(old, n);
    added(p ? p : (n ? old : nullptr));
    return p;
}

void *memalign(size_t alignment, size_t n)
{
    void *p = __libc_memalign(alignment, n);
    added(p);
    return p;
}

int posix_memalign(void **out, size_t alignment, size_t n)
{
    void *p = __libc_memalign(alignment, n);
    if (!p)
        return 12; // ENOMEM
    added(p);
    *out = p;
    return 0;
}

void *aligned_alloc(size_t alignment, size_t n)
{
    return memalign(alignment, n);
}

void free(void *p)
{
    removed(p);
    __libc_free(p);
}
}

#else

namespace {
std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};
} // namespace

#endif

std::size_t HeapInUse()
{
    return g_inUse.load();
}

std::size_t HeapPeak()
{
    return g_peak.load();
}

void ResetHeapPeak()
{
    g_peak.store(g_inUse.load());
}
