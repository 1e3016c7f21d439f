#include "colortreatment.h"

#include <QVarLengthArray>
#include <QtGlobal>

#include <algorithm>
#include <utility>

#include <immintrin.h>

namespace {

enum Step { Multiply = 1, Grey = 2, Invert = 4 };

int div255(int x) { return (x + (x >> 8) + 0x80) >> 8; }

// div255 on eight unsigned 16-bit lanes. Products of two bytes stay below 65026, so the sums
// below stay below 65536 and no lane wraps.
__m128i div255(__m128i x)
{
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), _mm_set1_epi16(0x80)), 8);
}

__m128i lanes(const int channel[4])
{
    return _mm_setr_epi16(short(channel[0]), short(channel[1]), short(channel[2]), short(channel[3]),
        short(channel[0]), short(channel[1]), short(channel[2]), short(channel[3]));
}

// On a page of text about one pixel in six needs arithmetic, which then costs as much as reading
// and writing the whole page; processors with wider vectors do sixteen pixels in one or two steps
// instead of four. Each of these treats the whole blocks of sixteen pixels from the start and
// returns how many pixels it treated; multiply and invert only, as they act on each channel alone.

__attribute__((target("avx2"))) inline __m256i div255(__m256i x)
{
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), _mm256_set1_epi16(0x80)), 8);
}

__attribute__((target("avx2"))) inline __m256i treatWords(
    __m256i v, __m256i multiply, __m256i screen, bool multiplies, bool inverts)
{
    if (multiplies) {
        v = div255(_mm256_mullo_epi16(v, multiply));
    }
    if (inverts) {
        const __m256i inverted = _mm256_sub_epi16(_mm256_set1_epi16(255), v);
        v = _mm256_sub_epi16(
            _mm256_add_epi16(inverted, screen), div255(_mm256_mullo_epi16(inverted, screen)));
    }
    return v;
}

__attribute__((target("avx2"))) inline __m256i treatPixels(
    __m256i v, __m256i multiply, __m256i screen, bool multiplies, bool inverts)
{
    const __m256i zero = _mm256_setzero_si256();
    return _mm256_packus_epi16(
        treatWords(_mm256_unpacklo_epi8(v, zero), multiply, screen, multiplies, inverts),
        treatWords(_mm256_unpackhi_epi8(v, zero), multiply, screen, multiplies, inverts));
}

__attribute__((target("avx2"))) int treatBlocksAvx2(
    quint32 *pixels, int count, quint32 white, const int multiplyBy[4], const int screenBy[4], int steps)
{
    const __m256i ones = _mm256_set1_epi8(char(0xFF));
    const __m256i treatedWhite = _mm256_set1_epi32(int(white));
    const __m256i multiply = _mm256_broadcastsi128_si256(lanes(multiplyBy));
    const __m256i screen = _mm256_broadcastsi128_si256(lanes(screenBy));
    const bool multiplies = steps & Multiply;
    const bool inverts = steps & Invert;
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        auto *block = reinterpret_cast<__m256i *>(pixels + i);
        const __m256i a = _mm256_loadu_si256(block);
        const __m256i b = _mm256_loadu_si256(block + 1);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(a, b), ones)) == -1) {
            _mm256_storeu_si256(block, treatedWhite);
            _mm256_storeu_si256(block + 1, treatedWhite);
            continue;
        }
        _mm256_storeu_si256(block, treatPixels(a, multiply, screen, multiplies, inverts));
        _mm256_storeu_si256(block + 1, treatPixels(b, multiply, screen, multiplies, inverts));
    }
    return i;
}

__attribute__((target("avx512bw"))) inline __m512i div255(__m512i x)
{
    return _mm512_srli_epi16(
        _mm512_add_epi16(_mm512_add_epi16(x, _mm512_srli_epi16(x, 8)), _mm512_set1_epi16(0x80)), 8);
}

__attribute__((target("avx512bw"))) inline __m512i treatWords(
    __m512i v, __m512i multiply, __m512i screen, bool multiplies, bool inverts)
{
    if (multiplies) {
        v = div255(_mm512_mullo_epi16(v, multiply));
    }
    if (inverts) {
        const __m512i inverted = _mm512_sub_epi16(_mm512_set1_epi16(255), v);
        v = _mm512_sub_epi16(
            _mm512_add_epi16(inverted, screen), div255(_mm512_mullo_epi16(inverted, screen)));
    }
    return v;
}

__attribute__((target("avx512bw"))) int treatBlocksAvx512(
    quint32 *pixels, int count, quint32 white, const int multiplyBy[4], const int screenBy[4], int steps)
{
    const __m512i ones = _mm512_set1_epi8(char(0xFF));
    const __m512i treatedWhite = _mm512_set1_epi32(int(white));
    const __m512i zero = _mm512_setzero_si512();
    const __m512i multiply = _mm512_maskz_broadcast_i32x4(__mmask16(0xFFFF), lanes(multiplyBy));
    const __m512i screen = _mm512_maskz_broadcast_i32x4(__mmask16(0xFFFF), lanes(screenBy));
    const bool multiplies = steps & Multiply;
    const bool inverts = steps & Invert;
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        void *block = pixels + i;
        const __m512i v = _mm512_loadu_si512(block);
        if (_mm512_cmpeq_epi8_mask(v, ones) == ~__mmask64(0)) {
            _mm512_storeu_si512(block, treatedWhite);
            continue;
        }
        _mm512_storeu_si512(block,
            _mm512_packus_epi16(
                treatWords(_mm512_unpacklo_epi8(v, zero), multiply, screen, multiplies, inverts),
                treatWords(_mm512_unpackhi_epi8(v, zero), multiply, screen, multiplies, inverts)));
    }
    return i;
}

using TreatBlocks = int (*)(quint32 *, int, quint32, const int[4], const int[4], int);

// The widest vectors the processor has. NODERA_VECTOR_BITS (128 or 256) narrows the choice, so
// that each road can be checked on a processor that has a wider one.
TreatBlocks wideTreatment()
{
    static const TreatBlocks chosen = [] {
        __builtin_cpu_init();
        const int limit = qEnvironmentVariableIsSet("NODERA_VECTOR_BITS")
            ? qEnvironmentVariableIntValue("NODERA_VECTOR_BITS")
            : 512;
        if (limit >= 512 && __builtin_cpu_supports("avx512bw")) {
            return &treatBlocksAvx512;
        }
        if (limit >= 256 && __builtin_cpu_supports("avx2")) {
            return &treatBlocksAvx2;
        }
        return TreatBlocks(nullptr);
    }();
    return chosen;
}

} // namespace

ColorTreatment::ColorTreatment(int flags, const QColor &color)
{
    // The same bits as RenderParam's Multiply (8), Grey (2) and Invert (1).
    const int channels[4] = { color.blue(), color.green(), color.red(), 255 };
    if (flags & 8) {
        m_steps |= Multiply;
        std::copy(channels, channels + 4, m_multiply);
    }
    if (flags & 2) {
        m_steps |= Grey;
    }
    if (flags & 1) {
        m_steps |= Invert;
        std::copy(channels, channels + 4, m_screen);
    }
    m_white = treatOne(0xFFFFFFFFu);
}

quint32 ColorTreatment::treatOne(quint32 pixel) const
{
    int c[4] = { int(pixel & 0xFF), int((pixel >> 8) & 0xFF), int((pixel >> 16) & 0xFF), int(pixel >> 24) };
    if (m_steps & Multiply) {
        for (int i = 0; i < 4; ++i) {
            c[i] = div255(c[i] * m_multiply[i]);
        }
    }
    if (m_steps & Grey) {
        c[0] = c[1] = c[2] = (11 * c[2] + 16 * c[1] + 5 * c[0]) / 32;
    }
    if (m_steps & Invert) {
        // Inverting, then the screen composition of an opaque fill.
        for (int i = 0; i < 4; ++i) {
            const int inverted = 255 - c[i];
            c[i] = inverted + m_screen[i] - div255(inverted * m_screen[i]);
        }
    }
    return quint32(c[0]) | quint32(c[1]) << 8 | quint32(c[2]) << 16 | quint32(c[3]) << 24;
}

void ColorTreatment::apply(quint32 *pixels, int count) const
{
    if (isIdentity() || count <= 0) {
        return;
    }
    // Pages are mostly paper: sixteen white pixels in a row are checked with one comparison and
    // written as the treated white without arithmetic.
    const __m128i ones = _mm_set1_epi8(char(0xFF));
    const __m128i white = _mm_set1_epi32(int(m_white));
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    const __m128i multiply = lanes(m_multiply);
    const __m128i screen = lanes(m_screen);
    const bool vector = !(m_steps & Grey);
    const auto treatHalf = [&](__m128i v) {
        if (m_steps & Multiply) {
            v = div255(_mm_mullo_epi16(v, multiply));
        }
        if (m_steps & Invert) {
            const __m128i inverted = _mm_sub_epi16(full, v);
            v = _mm_sub_epi16(_mm_add_epi16(inverted, screen), div255(_mm_mullo_epi16(inverted, screen)));
        }
        return v;
    };
    const TreatBlocks wide = vector ? wideTreatment() : nullptr;
    int i = wide ? wide(pixels, count, m_white, m_multiply, m_screen, m_steps) : 0;
    for (; i + 16 <= count; i += 16) {
        auto *block = reinterpret_cast<__m128i *>(pixels + i);
        const __m128i a = _mm_loadu_si128(block);
        const __m128i b = _mm_loadu_si128(block + 1);
        const __m128i c = _mm_loadu_si128(block + 2);
        const __m128i d = _mm_loadu_si128(block + 3);
        const __m128i all = _mm_and_si128(_mm_and_si128(a, b), _mm_and_si128(c, d));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, ones)) == 0xFFFF) {
            _mm_storeu_si128(block, white);
            _mm_storeu_si128(block + 1, white);
            _mm_storeu_si128(block + 2, white);
            _mm_storeu_si128(block + 3, white);
            continue;
        }
        if (!vector) {
            for (int j = i; j < i + 16; ++j) {
                pixels[j] = pixels[j] == 0xFFFFFFFFu ? m_white : treatOne(pixels[j]);
            }
            continue;
        }
        for (__m128i *part = block; part != block + 4; ++part) {
            const __m128i v = _mm_loadu_si128(part);
            _mm_storeu_si128(part,
                _mm_packus_epi16(
                    treatHalf(_mm_unpacklo_epi8(v, zero)), treatHalf(_mm_unpackhi_epi8(v, zero))));
        }
    }
    // Rows, and the spans between kept pictures, end anywhere, leaving a few pixels here, mostly paper.
    for (; i < count; ++i) {
        pixels[i] = pixels[i] == 0xFFFFFFFFu ? m_white : treatOne(pixels[i]);
    }
}

void ColorTreatment::applyToRow(quint32 *row, int y, int from, int to, const QVector<QRect> &kept) const
{
    if (isIdentity() || from >= to) {
        return;
    }
    // Pictures are few, so the row's kept spans are gathered afresh for each row.
    QVarLengthArray<std::pair<int, int>, 8> spans;
    for (const QRect &rect : kept) {
        if (y >= rect.top() && y <= rect.bottom() && rect.left() < to && rect.right() >= from) {
            spans.append({ std::max(rect.left(), from), std::min(rect.right() + 1, to) });
        }
    }
    std::sort(spans.begin(), spans.end());
    int x = from;
    for (const auto &span : spans) {
        if (span.first > x) {
            apply(row + x, span.first - x);
        }
        x = std::max(x, span.second);
    }
    apply(row + x, to - x);
}
