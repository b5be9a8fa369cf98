#pragma once

// Peak heap use of a stretch of code, for the tests that bound what a hostile file may make the
// readers allocate.

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QM_ALLOCATION_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QM_ALLOCATION_HOOKS 1
#endif
#endif

#ifdef QM_ALLOCATION_HOOKS
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// gcc ships the runtime without this header; the functions are the sanitizer runtime's own.
extern "C" {
size_t __sanitizer_get_current_allocated_bytes(void);
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*));
}
#endif
#endif

namespace quillmap {

namespace qm_fuzz {

// Peak heap use while an input is handled, from the sanitizer allocator's own count.
// Without AddressSanitizer there is no count and the bound is not checked.
class heap_watch {
  public:
    static bool available() {
#ifdef QM_ALLOCATION_HOOKS
        return true;
#else
        return false;
#endif
    }
    void start() {
#ifdef QM_ALLOCATION_HOOKS
        static const bool installed = [] {
            return __sanitizer_install_malloc_and_free_hooks(&on_malloc, &on_free) != 0;
        }();
        (void)installed;
        baseline_ = __sanitizer_get_current_allocated_bytes();
        peak_ = baseline_;
        watching_ = true;
#endif
    }
    // Bytes above the level at start().
    size_t stop() {
        watching_ = false;
        return peak_ > baseline_ ? peak_ - baseline_ : 0;
    }

  private:
#ifdef QM_ALLOCATION_HOOKS
    static void on_malloc(const volatile void*, size_t) {
        if (!watching_) return;
        const size_t now = __sanitizer_get_current_allocated_bytes();
        size_t seen = peak_.load(std::memory_order_relaxed);
        while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
        }
    }
    static void on_free(const volatile void*) {}
#endif
    static inline std::atomic<bool> watching_{false};
    static inline std::atomic<size_t> peak_{0};
    static inline size_t baseline_ = 0;
};

// Heap a hostile file may cost: a small multiple of its size (a 4-bit raster shown at 32 bits is
// eight times its bytes, and export and render hold a few copies) plus a fixed allowance.
inline size_t heap_budget(size_t file_bytes) {
    return 48 * file_bytes + (8u << 20);
}

} // namespace qm_fuzz

} // namespace quillmap
