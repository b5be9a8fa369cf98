#include "imageio/halve_levels.h"

#include "imageio/half_size_rows.h"
#include "imageio/mip_chain.h"
#include "stream/work_pool.h"

#include <algorithm>

namespace quillmap {

namespace {
// Output rows per band: small enough to share a level between threads, large enough that taking
// a band costs nothing beside it.
constexpr uint32_t k_band_rows = 16;
// Output pixels below which a second thread costs more than it saves.
constexpr size_t k_pixels_for_threads = 256 * 256;

bool has_kernel(const rgba_image& image, simd_isa kernel) {
    return kernel != simd_isa::portable && image.width >= 2 && image.height >= 2 &&
           image.rgba.size() == size_t(image.width) * image.height * 4;
}

uint32_t bands(uint32_t rows, uint32_t band_rows) {
    return (rows + band_rows - 1) / band_rows;
}
} // namespace

unsigned halving_threads(const rgba_image& image, uint32_t count) {
    size_t pixels = 0;
    for (uint32_t k = 1, w = image.width, h = image.height; k <= count; ++k) {
        w = std::max(w / 2, 1u);
        h = std::max(h / 2, 1u);
        pixels += size_t(w) * h;
    }
    return pixels < k_pixels_for_threads ? 1 : work_pool::shared().budget();
}

void halve_levels(const rgba_image& image, std::span<rgba_image> out, simd_isa isa,
                  unsigned threads) {
    const size_t count = out.size();
    if (count == 0) return;
    const simd_isa kernel = half_size_kernel(isa);
    bool halved_exactly = true;
    for (size_t k = 0; k < count; ++k) {
        const rgba_image& above = k == 0 ? image : out[k - 1];
        halved_exactly = halved_exactly && has_kernel(above, kernel) && above.height % 2 == 0;
        // Sides halve and stay at least 1 (the kernels need both at least 2 above).
        out[k].width = std::max(above.width / 2, 1u);
        out[k].height = std::max(above.height / 2, 1u);
        out[k].rgba.resize(size_t(out[k].width) * out[k].height * 4);
    }
    work_pool& pool = work_pool::shared();
    // When every level has the kernel and exactly half the rows of the one above, a strip of
    // the first level's rows and the strips below it in the later levels depend on nothing
    // else: a thread takes a strip and works it out down the whole chain while its rows are
    // still in the cache, and no thread waits for another between levels.
    if (halved_exactly) {
        const uint32_t strip = std::max(k_band_rows, 1u << (count - 1));
        pool.for_each(
            bands(out[0].height, strip),
            [&](size_t band) {
                for (size_t k = 0; k < count; ++k)
                    half_size_rows(k == 0 ? image : out[k - 1], out[k], uint32_t(band * strip) >> k,
                                   std::min(out[k].height, uint32_t((band + 1) * strip) >> k),
                                   kernel);
            },
            threads);
        return;
    }
    // Otherwise a level is begun when the one above it is done.
    for (size_t k = 0; k < count; ++k) {
        const rgba_image& above = k == 0 ? image : out[k - 1];
        if (!has_kernel(above, kernel)) {
            out[k] = half_size_plain(above);
            continue;
        }
        const uint32_t height = out[k].height;
        pool.for_each(
            bands(height, k_band_rows),
            [&](size_t band) {
                half_size_rows(above, out[k], uint32_t(band) * k_band_rows,
                               std::min(height, uint32_t(band + 1) * k_band_rows), kernel);
            },
            threads);
    }
}

} // namespace quillmap
