#include "imageio/dxt_block_fit.h"

#include "raster/pixel_format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace quillmap {

namespace {

// Least-squares steps after each first guess at most; a block stops earlier once its ends repeat
// (colour) or its error stops falling (alpha).
constexpr int k_colour_refinements = 3;
constexpr int k_alpha_refinements = 2;

// 5- and 6-bit channels widened to 8 bits as the decoder does it.
constexpr auto k_widened5 = [] {
    std::array<uint8_t, 32> t{};
    for (int f = 0; f < 32; ++f)
        t[f] = uint8_t(widen_5bit(f));
    return t;
}();
constexpr auto k_widened6 = [] {
    std::array<uint8_t, 64> t{};
    for (int f = 0; f < 64; ++f)
        t[f] = uint8_t(widen_6bit(f));
    return t;
}();

int nearest_step(float v, int steps) {
    const float q = std::clamp(v, 0.0f, 255.0f) * float(steps) / 255.0f + 0.5f;
    return std::min(int(q), steps);
}

uint16_t pack565(float r, float g, float b) {
    return uint16_t(nearest_step(r, 31) << 11 | nearest_step(g, 63) << 5 | nearest_step(b, 31));
}

// The four colours of a four-colour block, with the decoder's rounding.
struct palette {
    float r[4], g[4], b[4];
};

palette four_colours(uint16_t c0, uint16_t c1) {
    const int r0 = widen_5bit(c0 >> 11), g0 = widen_6bit(c0 >> 5), b0 = widen_5bit(c0);
    const int r1 = widen_5bit(c1 >> 11), g1 = widen_6bit(c1 >> 5), b1 = widen_5bit(c1);
    palette p;
    const int r[4] = {r0, r1, (2 * r0 + r1) / 3, (r0 + 2 * r1) / 3};
    const int g[4] = {g0, g1, (2 * g0 + g1) / 3, (g0 + 2 * g1) / 3};
    const int b[4] = {b0, b1, (2 * b0 + b1) / 3, (b0 + 2 * b1) / 3};
    for (int k = 0; k < 4; ++k) {
        p.r[k] = float(r[k]);
        p.g[k] = float(g[k]);
        p.b[k] = float(b[k]);
    }
    return p;
}

float distance(const dxt_block_pixels& px, int i, const palette& p, int k) {
    const float dr = px.r[i] - p.r[k], dg = px.g[i] - p.g[k], db = px.b[i] - p.b[k];
    return dr * dr + dg * dg + db * db;
}

// Four lanes of the compiler's vector extension: SSE2 on x86-64, NEON on ARM, plain code
// elsewhere. Comparisons give -1 or 0 in each lane.
using float4 = float __attribute__((vector_size(16)));
using int4 = int32_t __attribute__((vector_size(16)));

float4 load4(const float* p) {
    float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Each pixel takes its nearest colour (the first of equals), four pixels at a time.
float assign(const dxt_block_pixels& px, const palette& p, uint8_t index[16]) {
    float4 total = {0, 0, 0, 0};
    for (int q = 0; q < 16; q += 4) {
        const float4 r = load4(px.r + q), g = load4(px.g + q), b = load4(px.b + q);
        float4 best = {0, 0, 0, 0};
        int4 chosen = {0, 0, 0, 0};
        for (int k = 0; k < 4; ++k) {
            const float4 dr = r - p.r[k], dg = g - p.g[k], db = b - p.b[k];
            const float4 d = dr * dr + dg * dg + db * db;
            const int4 closer = k == 0 ? int4{-1, -1, -1, -1} : int4(d < best);
            best = float4((int4(d) & closer) | (int4(best) & ~closer));
            chosen = (k & closer) | (chosen & ~closer);
        }
        total += load4(px.w + q) * best;
        for (int j = 0; j < 4; ++j)
            index[q + j] = uint8_t(chosen[j]);
    }
    return (total[0] + total[1]) + (total[2] + total[3]);
}

// Writes a four-colour block: the first colour made the larger (indices follow the swap), both
// colours equal only with every index 0, which both forms read as that colour.
void write_colour_block(uint16_t c0, uint16_t c1, const uint8_t index[16], uint8_t out[8]) {
    uint32_t flip = 0, keep = 3;
    if (c0 < c1) {
        std::swap(c0, c1);
        flip = 1; // 0↔1 and 2↔3
    } else if (c0 == c1) {
        keep = 0;
    }
    uint32_t bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= ((index[i] ^ flip) & keep) << (2 * i);
    out[0] = uint8_t(c0);
    out[1] = uint8_t(c0 >> 8);
    out[2] = uint8_t(c1);
    out[3] = uint8_t(c1 >> 8);
    for (int k = 0; k < 4; ++k)
        out[4 + k] = uint8_t(bits >> (8 * k));
}

// For each 8-bit value, the pair of 5- or 6-bit ends whose blend comes nearest to it.
struct blend_entry {
    uint8_t first, second, error;
};
struct blend_tables {
    blend_entry third5[256], third6[256]; // (2·first + second) / 3
    blend_entry half5[256], half6[256];   // (first + second) / 2, DXT1's three-colour form
};

void fill_blend(blend_entry (&table)[256], int steps, bool half) {
    for (int v = 0; v < 256; ++v)
        table[v] = {0, 0, 255};
    for (int a = 0; a <= steps; ++a)
        for (int b = 0; b <= steps; ++b) {
            const int wa = steps == 31 ? widen_5bit(a) : widen_6bit(a);
            const int wb = steps == 31 ? widen_5bit(b) : widen_6bit(b);
            const int value = half ? (wa + wb) / 2 : (2 * wa + wb) / 3;
            // Only values near the blend can take it: the others have closer pairs.
            for (int v = std::max(0, value - 8); v <= std::min(255, value + 8); ++v) {
                const int error = std::abs(value - v);
                if (error < table[v].error) table[v] = {uint8_t(a), uint8_t(b), uint8_t(error)};
            }
        }
}

const blend_tables& blends() {
    static const blend_tables tables = [] {
        blend_tables t;
        fill_blend(t.third5, 31, false);
        fill_blend(t.third6, 63, false);
        fill_blend(t.half5, 31, true);
        fill_blend(t.half6, 63, true);
        return t;
    }();
    return tables;
}

float squared(float v) {
    return v * v;
}

// A block whose counted pixels share one colour: every pixel takes the same palette entry, an
// end (index 0), the blend of thirds (index 2), or in DXT1 the half-way blend; the least error
// of the three is the least any block can reach.
dxt_colour_fit fit_single_colour(int r, int g, int b, float weight, bool three_colour,
                                 uint8_t out[8]) {
    const blend_tables& t = blends();
    const uint16_t end = pack565(float(r), float(g), float(b));
    const palette ends = four_colours(end, end);
    const float end_error = squared(ends.r[0] - float(r)) + squared(ends.g[0] - float(g)) +
                            squared(ends.b[0] - float(b));
    const float third_error =
        squared(t.third5[r].error) + squared(t.third6[g].error) + squared(t.third5[b].error);
    const float half_error = three_colour ? squared(t.half5[r].error) + squared(t.half6[g].error) +
                                                squared(t.half5[b].error)
                                          : std::numeric_limits<float>::infinity();
    uint8_t index[16];
    if (end_error <= third_error && end_error <= half_error) {
        std::fill(index, index + 16, uint8_t(0));
        write_colour_block(end, end, index, out);
        return {end_error * weight, end_error * weight};
    }
    auto pair = [&](const blend_entry* five, const blend_entry* six, bool first) {
        auto pick = [first](const blend_entry& e) { return first ? e.first : e.second; };
        return uint16_t(pick(five[r]) << 11 | pick(six[g]) << 5 | pick(five[b]));
    };
    if (third_error <= half_error) {
        std::fill(index, index + 16, uint8_t(2));
        write_colour_block(pair(t.third5, t.third6, true), pair(t.third5, t.third6, false), index,
                           out);
        return {third_error * weight, third_error * weight};
    }
    // Three-colour form: the first colour not the larger; index 2 is the half-way colour.
    uint16_t c0 = pair(t.half5, t.half6, true), c1 = pair(t.half5, t.half6, false);
    if (c0 > c1) std::swap(c0, c1);
    const uint8_t bytes[8] = {
        uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), 0xAA, 0xAA, 0xAA, 0xAA};
    std::copy(bytes, bytes + 8, out);
    return {half_error * weight, half_error * weight};
}

// What least squares and the choice of steps need of the pixels once their indices are fixed:
// per index, the summed weight and the weighted sums of red, green and blue.
struct index_sums {
    float w[4];
    float x[3][4];
};

index_sums sums_by_index(const dxt_block_pixels& px, const uint8_t index[16]) {
    index_sums s = {};
    for (int i = 0; i < 16; ++i) {
        const int k = index[i];
        const float w = px.w[i];
        s.w[k] += w;
        s.x[0][k] += w * px.r[i];
        s.x[1][k] += w * px.g[i];
        s.x[2][k] += w * px.b[i];
    }
    return s;
}

// The ends that fit the pixels best by least squares for their indices (index 0 is the first
// end, 1 the second, 2 and 3 two thirds and one third of the way from the first); false when
// the indices leave them undetermined.
bool least_squares_ends(const index_sums& s, float first[3], float second[3]) {
    static constexpr float share[4] = {1.0f, 0.0f, 2.0f / 3, 1.0f / 3};
    float aa = 0, ab = 0, bb = 0, ax[3] = {0, 0, 0}, bx[3] = {0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const float a = share[k], b = 1 - a;
        aa += s.w[k] * a * a;
        ab += s.w[k] * a * b;
        bb += s.w[k] * b * b;
        for (int c = 0; c < 3; ++c) {
            ax[c] += a * s.x[c][k];
            bx[c] += b * s.x[c][k];
        }
    }
    const float det = aa * bb - ab * ab;
    if (det <= 1e-6f * (aa + bb) * (aa + bb)) return false;
    for (int c = 0; c < 3; ++c) {
        first[c] = (bb * ax[c] - ab * bx[c]) / det;
        second[c] = (aa * bx[c] - ab * ax[c]) / det;
    }
    return true;
}

// With the indices fixed, each channel's error depends on that channel's ends alone (up to a
// constant, the sum over indices of v·(v·weight − 2·sum) for the value v the decoder makes of
// that index): the ends of each channel chosen from the steps on either side of the
// least-squares ends, instead of rounded one by one. Returns first << 8 | second.
int best_channel_ends(const index_sums& s, int c, float first, float second, int steps) {
    const uint8_t* widen = steps == 31 ? k_widened5.data() : k_widened6.data();
    auto below = [steps](float v) {
        return std::min(int(std::clamp(v, 0.0f, 255.0f) * float(steps) / 255), steps);
    };
    const int lo0 = below(first), lo1 = below(second);
    float best = std::numeric_limits<float>::max();
    int chosen = 0;
    for (int a = lo0; a <= std::min(lo0 + 1, steps); ++a)
        for (int b = lo1; b <= std::min(lo1 + 1, steps); ++b) {
            const int wa = widen[a], wb = widen[b];
            const float value[4] = {float(wa), float(wb), float((2 * wa + wb) / 3),
                                    float((wa + 2 * wb) / 3)};
            float error = 0;
            for (int k = 0; k < 4; ++k)
                error += value[k] * (value[k] * s.w[k] - 2 * s.x[c][k]);
            if (error < best) {
                best = error;
                chosen = a << 8 | b;
            }
        }
    return chosen;
}

// Least squares and the choice of steps in turn from the given ends; the best block found so
// far (error, ends, indices) is replaced where this one comes closer.
void refine_ends(const dxt_block_pixels& px, float first[3], float second[3], float& best,
                 uint16_t& best0, uint16_t& best1, uint8_t best_index[16]) {
    uint8_t index[16];
    index_sums sums;
    int last0 = -1, last1 = -1;
    uint16_t c0 = pack565(first[0], first[1], first[2]);
    uint16_t c1 = pack565(second[0], second[1], second[2]);
    for (int step = 0; step <= k_colour_refinements; ++step) {
        if (step > 0) {
            const int r = best_channel_ends(sums, 0, first[0], second[0], 31);
            const int g = best_channel_ends(sums, 1, first[1], second[1], 63);
            const int b = best_channel_ends(sums, 2, first[2], second[2], 31);
            c0 = uint16_t((r >> 8) << 11 | (g >> 8) << 5 | (b >> 8));
            c1 = uint16_t((r & 0xFF) << 11 | (g & 0xFF) << 5 | (b & 0xFF));
        }
        if (c0 == last0 && c1 == last1) break;
        last0 = c0;
        last1 = c1;
        const float error = assign(px, four_colours(c0, c1), index);
        if (error < best) {
            best = error;
            best0 = c0;
            best1 = c1;
            std::copy(index, index + 16, best_index);
        }
        if (error <= 0) break;
        sums = sums_by_index(px, index);
        if (!least_squares_ends(sums, first, second)) break;
    }
}

} // namespace

namespace {
// The value palette entry `role` takes from widened ends w0, w1 as the decoder forms it.
int entry_value(int role, int w0, int w1, bool four) {
    switch (role) {
    case 0:
        return w0;
    case 1:
        return w1;
    case 2:
        return four ? (2 * w0 + w1) / 3 : (w0 + w1) / 2;
    default:
        return (w0 + 2 * w1) / 3;
    }
}

// End fields of one channel (5 or 6 bits) that give each value its role's entry exactly; the
// second end is tried throughout, the first follows from it. False when none do.
bool channel_ends(const int values[4], const int roles[4], int count, bool four, int bits, int& f0,
                  int& f1) {
    const int steps = (1 << bits) - 1;
    const uint8_t* widen = bits == 5 ? k_widened5.data() : k_widened6.data();
    int fixed0 = -1, fixed1 = -1;
    for (int c = 0; c < count; ++c) {
        const int field = values[c] >> (8 - bits);
        if (roles[c] == 0) fixed0 = widen[field] == values[c] ? field : -2;
        if (roles[c] == 1) fixed1 = widen[field] == values[c] ? field : -2;
    }
    if (fixed0 == -2 || fixed1 == -2) return false;
    for (int b = fixed1 >= 0 ? fixed1 : 0; b <= (fixed1 >= 0 ? fixed1 : steps); ++b) {
        const int w1 = widen[b];
        // The first end's range from the first value that depends on it.
        int low = 0, high = 255;
        if (fixed0 >= 0) {
            low = high = widen[fixed0];
        } else {
            for (int c = 0; c < count; ++c) {
                const int v = values[c];
                if (roles[c] == 2 && four) low = (3 * v - w1 + 1) / 2, high = (3 * v + 2 - w1) / 2;
                if (roles[c] == 2 && !four) low = 2 * v - w1, high = 2 * v + 1 - w1;
                if (roles[c] == 3) low = 3 * v - 2 * w1, high = 3 * v + 2 - 2 * w1;
                if (roles[c] >= 2) break;
            }
        }
        for (int w0 = std::max(low, 0); w0 <= std::min(high, 255); ++w0) {
            const int a = w0 >> (8 - bits);
            if (widen[a] != w0) continue;
            bool all = true;
            for (int c = 0; c < count && all; ++c)
                all = entry_value(roles[c], w0, w1, four) == values[c];
            if (all) {
                f0 = a;
                f1 = b;
                return true;
            }
        }
    }
    return false;
}
} // namespace

bool exact_colour_block(const uint8_t* rgba, int mask, bool three_colour, uint8_t out[8],
                        int transparent) {
    // Transparent texels take DXT1's fourth entry of the three-colour form.
    transparent &= mask;
    if (transparent && !three_colour) return false;
    mask &= ~transparent;
    constexpr int k_most = 4;
    uint32_t colours[k_most];
    int count = 0;
    auto rgb = [&](int i) {
        const uint8_t* p = rgba + 4 * i;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    };
    for (int i = 0; i < 16; ++i) {
        if (!(mask & (1 << i))) continue;
        const uint32_t c = rgb(i);
        if (std::find(colours, colours + count, c) != colours + count) continue;
        if (count == k_most) return false;
        colours[count++] = c;
    }
    if (count == 0) {
        if (!transparent) return false;
        std::fill(out, out + 4, uint8_t(0));
        std::fill(out + 4, out + 8, uint8_t(0xFF));
        return true;
    }
    // Each colour takes a palette entry of its own (a role); every order of roles is tried.
    for (const bool four : {true, false}) {
        if ((four && transparent) || (!four && (!three_colour || count > 3))) continue;
        int order[4] = {0, 1, 2, 3};
        do {
            if (!four && std::any_of(order, order + count, [](int r) { return r == 3; })) continue;
            int fields[3][2];
            bool found = true;
            for (int k = 0; k < 3 && found; ++k) {
                int values[4];
                for (int c = 0; c < count; ++c)
                    values[c] = int((colours[c] >> (8 * k)) & 0xFF);
                found = channel_ends(values, order, count, four, k == 1 ? 6 : 5, fields[k][0],
                                     fields[k][1]);
            }
            if (!found) continue;
            int role[4] = {order[0], order[1], order[2], order[3]};
            uint16_t c0 = uint16_t(fields[0][0] << 11 | fields[1][0] << 5 | fields[2][0]);
            uint16_t c1 = uint16_t(fields[0][1] << 11 | fields[1][1] << 5 | fields[2][1]);
            // DXT1 reads four colours only with the first end the larger, three with it the
            // smaller: swapping the ends swaps the roles with them.
            if (three_colour && (four ? c0 < c1 : c0 > c1)) {
                std::swap(c0, c1);
                for (int& r : role)
                    r = r == 0 ? 1 : r == 1 ? 0 : !four ? r : r == 2 ? 3 : 2;
            }
            // Equal ends read as three colours in DXT1, whose fourth entry is black.
            if (three_colour && four && c0 == c1 &&
                std::any_of(role, role + count, [](int r) { return r == 3; }))
                continue;
            uint32_t indices = 0;
            for (int p = 0; p < 16; ++p) {
                if (transparent & (1 << p)) indices |= 3u << (2 * p);
                if (!(mask & (1 << p))) continue;
                const int c = int(std::find(colours, colours + count, rgb(p)) - colours);
                indices |= uint32_t(role[c]) << (2 * p);
            }
            out[0] = uint8_t(c0);
            out[1] = uint8_t(c0 >> 8);
            out[2] = uint8_t(c1);
            out[3] = uint8_t(c1 >> 8);
            for (int k = 0; k < 4; ++k)
                out[4 + k] = uint8_t(indices >> (8 * k));
            return true;
        } while (std::next_permutation(order, order + 4));
    }
    return false;
}

dxt_colour_fit fit_colour_block(const dxt_block_pixels& px, bool three_colour, uint8_t out[8]) {
    float total = 0, mean[3] = {0, 0, 0};
    float lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        const float w = px.w[i];
        const float x[3] = {px.r[i], px.g[i], px.b[i]};
        total += w;
        for (int c = 0; c < 3; ++c) {
            mean[c] += w * x[c];
            if (w > 0) {
                lo[c] = std::min(lo[c], x[c]);
                hi[c] = std::max(hi[c], x[c]);
            }
        }
    }
    if (total <= 0) {
        std::fill(out, out + 8, uint8_t(0));
        return {0, 0};
    }
    if (lo[0] == hi[0] && lo[1] == hi[1] && lo[2] == hi[2])
        return fit_single_colour(int(lo[0]), int(lo[1]), int(lo[2]), total, three_colour, out);
    for (float& m : mean)
        m /= total;

    float cov[3][3] = {};
    for (int i = 0; i < 16; ++i) {
        const float d[3] = {px.r[i] - mean[0], px.g[i] - mean[1], px.b[i] - mean[2]};
        for (int a = 0; a < 3; ++a)
            for (int b = a; b < 3; ++b)
                cov[a][b] += px.w[i] * d[a] * d[b];
    }
    cov[1][0] = cov[0][1];
    cov[2][0] = cov[0][2];
    cov[2][1] = cov[1][2];
    // The principal axis by power iteration, from the row of the widest channel (never at right
    // angles to the axis unless the spread is even in every direction).
    const int widest = cov[0][0] >= cov[1][1] && cov[0][0] >= cov[2][2] ? 0
                       : cov[1][1] >= cov[2][2]                         ? 1
                                                                        : 2;
    float axis[3] = {cov[widest][0], cov[widest][1], cov[widest][2]};
    for (int step = 0; step < 8; ++step) {
        float next[3];
        for (int a = 0; a < 3; ++a)
            next[a] = cov[a][0] * axis[0] + cov[a][1] * axis[1] + cov[a][2] * axis[2];
        const float norm = std::max({std::abs(next[0]), std::abs(next[1]), std::abs(next[2])});
        if (norm <= 0) break;
        for (int a = 0; a < 3; ++a)
            axis[a] = next[a] / norm;
    }
    const float length2 = axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2];
    float along = 0; // the spread along the axis (its eigenvalue)
    if (length2 > 0) {
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                along += axis[a] * cov[a][b] * axis[b];
        along /= length2;
    }
    const float spread = cov[0][0] + cov[1][1] + cov[2][2];
    const float bound = std::max(0.0f, spread - along);

    // First guess: the ends of the pixels' projections onto the axis.
    float t_lo = std::numeric_limits<float>::max(), t_hi = -t_lo;
    for (int i = 0; i < 16; ++i) {
        if (px.w[i] <= 0) continue;
        const float t = (px.r[i] - mean[0]) * axis[0] + (px.g[i] - mean[1]) * axis[1] +
                        (px.b[i] - mean[2]) * axis[2];
        t_lo = std::min(t_lo, t);
        t_hi = std::max(t_hi, t);
    }
    // Three starts: the ends on the extremes, and each end pushed half the range further out so
    // that the other extreme falls on a blend (two clusters of which one is spread, such as
    // black beside a textured colour, fit far better so).
    float best = std::numeric_limits<float>::max();
    uint16_t best0 = 0, best1 = 0;
    uint8_t best_index[16] = {};
    static constexpr float starts[3][2] = {{1, 0}, {1.5f, 0}, {1, -0.5f}};
    for (const auto& start : starts) {
        float first[3], second[3];
        for (int c = 0; c < 3; ++c) {
            const float unit = length2 > 0 ? axis[c] / length2 : 0;
            first[c] = mean[c] + (t_lo + start[0] * (t_hi - t_lo)) * unit;
            second[c] = mean[c] + (t_lo + start[1] * (t_hi - t_lo)) * unit;
        }
        refine_ends(px, first, second, best, best0, best1, best_index);
    }
    write_colour_block(best0, best1, best_index, out);
    // Equal ends make every index 0: count that block's own error.
    return {best0 == best1 ? colour_block_error(px, out) : best, bound};
}

float colour_block_error(const dxt_block_pixels& px, const uint8_t block[8]) {
    const palette p =
        four_colours(uint16_t(block[0] | block[1] << 8), uint16_t(block[2] | block[3] << 8));
    const uint32_t bits = uint32_t(block[4]) | uint32_t(block[5]) << 8 | uint32_t(block[6]) << 16 |
                          uint32_t(block[7]) << 24;
    float total = 0;
    for (int i = 0; i < 16; ++i)
        total += px.w[i] * distance(px, i, p, int(bits >> (2 * i)) & 3);
    return total;
}

namespace {

// The eight alpha values of a DXT5 block with ends a0 and a1, as the decoder computes them.
void alpha_values(int a0, int a1, int values[8]) {
    values[0] = a0;
    values[1] = a1;
    if (a0 > a1) {
        for (int i = 1; i <= 6; ++i)
            values[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (int i = 1; i <= 4; ++i)
            values[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        values[6] = 0;
        values[7] = 255;
    }
}

int assign_alpha(const uint8_t alpha[16], int mask, int a0, int a1, uint8_t index[16]) {
    int values[8];
    alpha_values(a0, a1, values);
    int total = 0;
    for (int i = 0; i < 16; ++i) {
        int best = 1 << 20, chosen = 0;
        for (int k = 0; k < 8; ++k) {
            const int d = (int(alpha[i]) - values[k]) * (int(alpha[i]) - values[k]);
            if (d < best) {
                best = d;
                chosen = k;
            }
        }
        const bool counted = (mask >> i) & 1;
        index[i] = uint8_t(counted ? chosen : 0);
        total += counted ? best : 0;
    }
    return total;
}

// Least-squares ends of the eight-value form for the given indices, rounded; false when they
// are undetermined or no longer in the eight-value order.
bool least_squares_alpha(const uint8_t alpha[16], int mask, const uint8_t index[16], int& a0,
                         int& a1) {
    static constexpr float share[8] = {1,        0,        6.0f / 7, 5.0f / 7,
                                       4.0f / 7, 3.0f / 7, 2.0f / 7, 1.0f / 7};
    float aa = 0, ab = 0, bb = 0, ax = 0, bx = 0;
    for (int i = 0; i < 16; ++i) {
        if (!((mask >> i) & 1)) continue;
        const float a = share[index[i]], b = 1 - a;
        aa += a * a;
        ab += a * b;
        bb += b * b;
        ax += a * alpha[i];
        bx += b * alpha[i];
    }
    const float det = aa * bb - ab * ab;
    if (det <= 1e-6f) return false;
    const int n0 = int(std::clamp((bb * ax - ab * bx) / det, 0.0f, 255.0f) + 0.5f);
    const int n1 = int(std::clamp((aa * bx - ab * ax) / det, 0.0f, 255.0f) + 0.5f);
    if (n0 <= n1 || (n0 == a0 && n1 == a1)) return false;
    a0 = n0;
    a1 = n1;
    return true;
}

} // namespace

void fit_alpha_block(const uint8_t alpha[16], int mask, uint8_t out[8]) {
    int lo = 255, hi = 0, inner_lo = 255, inner_hi = 0;
    for (int i = 0; i < 16; ++i) {
        if (!((mask >> i) & 1)) continue;
        const int a = alpha[i];
        lo = std::min(lo, a);
        hi = std::max(hi, a);
        if (a != 0 && a != 255) {
            inner_lo = std::min(inner_lo, a);
            inner_hi = std::max(inner_hi, a);
        }
    }
    uint8_t index[16] = {}, best_index[16] = {};
    int best0 = std::min(lo, hi), best1 = best0, best = 0;
    if (lo < hi) {
        // Eight values between the extremes, refined.
        int a0 = hi, a1 = lo;
        best = assign_alpha(alpha, mask, a0, a1, best_index);
        best0 = a0;
        best1 = a1;
        std::copy(best_index, best_index + 16, index);
        for (int step = 0; step < k_alpha_refinements && best > 0; ++step) {
            if (!least_squares_alpha(alpha, mask, index, a0, a1)) break;
            const int error = assign_alpha(alpha, mask, a0, a1, index);
            if (error >= best) break;
            best = error;
            best0 = a0;
            best1 = a1;
            std::copy(index, index + 16, best_index);
        }
        // Six values between the inner extremes, with 0 and 255 exact.
        if (best > 0) {
            const int i0 = inner_lo <= inner_hi ? inner_lo : 0;
            const int i1 = inner_lo <= inner_hi ? inner_hi : 0;
            const int error = assign_alpha(alpha, mask, i0, i1, index);
            if (error < best) {
                best0 = i0;
                best1 = i1;
                std::copy(index, index + 16, best_index);
            }
        }
    }
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= uint64_t(best_index[i]) << (3 * i);
    out[0] = uint8_t(best0);
    out[1] = uint8_t(best1);
    for (int k = 0; k < 6; ++k)
        out[2 + k] = uint8_t(bits >> (8 * k));
}

} // namespace quillmap
