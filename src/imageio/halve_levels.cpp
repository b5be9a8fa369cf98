#include "imageio/halve_levels.h"

#include "imageio/half_size_rows.h"
#include "imageio/helper_threads.h"
#include "imageio/mip_chain.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace quillmap {

namespace {
// Output rows per band: small enough to share a level between threads, large enough that taking
// a band costs nothing beside it.
constexpr uint32_t k_band_rows = 16;
// Output pixels below which a second thread costs more than it saves.
constexpr size_t k_pixels_for_threads = 256 * 256;

// Threads meet at the end of each level. A level's last bands take microseconds, less than
// waking a sleeping thread takes: so the waits spin, yielding only when they run long.
class spinning_barrier {
  public:
    explicit spinning_barrier(unsigned threads) : threads_(threads) {}

    void arrive_and_wait() {
        const uint32_t round = round_.load(std::memory_order_acquire);
        if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == threads_) {
            arrived_.store(0, std::memory_order_relaxed);
            round_.fetch_add(1, std::memory_order_release);
            return;
        }
        for (uint32_t spins = 0; round_.load(std::memory_order_acquire) == round; ++spins)
            if (spins >= k_spins_before_yield) std::this_thread::yield();
    }

  private:
    static constexpr uint32_t k_spins_before_yield = 1u << 14;
    const unsigned threads_;
    std::atomic<unsigned> arrived_{0};
    std::atomic<uint32_t> round_{0};
};

bool has_kernel(const rgba_image& image, simd_isa isa) {
    return image.width >= 2 && image.height >= 2 &&
           image.rgba.size() == size_t(image.width) * image.height * 4 &&
           half_size_kernel_available(isa);
}
} // namespace

unsigned halving_threads(const rgba_image& image, uint32_t count) {
    size_t pixels = 0;
    for (uint32_t k = 1, w = image.width, h = image.height; k <= count; ++k) {
        w = std::max(w / 2, 1u);
        h = std::max(h / 2, 1u);
        pixels += size_t(w) * h;
    }
    if (pixels < k_pixels_for_threads) return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, helper_threads::k_most + 1);
}

void halve_levels(const rgba_image& image, std::span<rgba_image> out, simd_isa isa,
                  unsigned threads) {
    const size_t count = out.size();
    helper_threads& helpers = helper_threads::shared();
    const unsigned taken = threads > 1 ? helpers.take(threads - 1) : 0;
    spinning_barrier meet(taken + 1);
    std::vector<bool> kernel(count);
    std::unique_ptr<std::atomic<uint32_t>[]> next_band(new std::atomic<uint32_t>[count]);
    bool sized = false;
    // When every level has the kernel and exactly half the rows of the one above, a strip of
    // the first level's rows and the strips below it in the later levels depend on nothing
    // else: a thread takes a strip and works it out down the whole chain while its rows are
    // still in the cache, and no thread waits for another between levels.
    uint32_t strip = 0;
    const auto work = [&](bool first) {
        meet.arrive_and_wait(); // the levels are sized
        if (!sized) return;
        if (strip) {
            const uint32_t height = out[0].height;
            for (uint32_t band; (band = next_band[0]++) * strip < height;)
                for (size_t k = 0; k < count; ++k)
                    half_size_rows(k == 0 ? image : out[k - 1], out[k], (band * strip) >> k,
                                   std::min(out[k].height, ((band + 1) * strip) >> k), isa);
            return;
        }
        for (size_t k = 0; k < count; ++k) {
            const rgba_image& above = k == 0 ? image : out[k - 1];
            if (kernel[k]) {
                const uint32_t height = out[k].height;
                for (uint32_t band; (band = next_band[k]++) * k_band_rows < height;)
                    half_size_rows(above, out[k], band * k_band_rows,
                                   std::min(height, (band + 1) * k_band_rows), isa);
            } else if (first) {
                out[k] = half_size_plain(above);
            }
            meet.arrive_and_wait();
        }
    };
    // The helpers start on the job while this thread sizes the levels; they wait for it.
    std::exception_ptr failure;
    const auto size_levels = [&] {
        bool halved_exactly = count > 0;
        for (size_t k = 0; k < count; ++k) {
            const rgba_image& above = k == 0 ? image : out[k - 1];
            kernel[k] = has_kernel(above, isa);
            halved_exactly = halved_exactly && kernel[k] && above.height % 2 == 0;
            // Sides halve and stay at least 1 (the kernels need both at least 2 above).
            out[k].width = std::max(above.width / 2, 1u);
            out[k].height = std::max(above.height / 2, 1u);
            out[k].rgba.resize(size_t(out[k].width) * out[k].height * 4);
            next_band[k] = 0;
        }
        if (halved_exactly) strip = std::max(k_band_rows, 1u << (count - 1));
        sized = true;
    };
    helpers.run([&](unsigned) { work(false); },
                [&] {
                    try {
                        size_levels();
                    } catch (...) {
                        failure = std::current_exception();
                    }
                    work(true);
                });
    if (failure) std::rethrow_exception(failure);
}

} // namespace quillmap
