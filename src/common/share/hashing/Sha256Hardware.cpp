#include "common/share/hashing/Sha256Hardware.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#define KITEBOOT_SHA_TARGET
#else
#include <cpuid.h>
#define KITEBOOT_SHA_TARGET __attribute__((target("sha,sse4.1")))
#endif

namespace {

// cpuid leaf and subleaf into registers a, b, c, d.
void cpuid(unsigned leaf, unsigned registers[4]) {
#if defined(_MSC_VER) && !defined(__clang__)
    int values[4];
    __cpuidex(values, static_cast<int>(leaf), 0);
    for (int i = 0; i < 4; ++i)
        registers[i] = static_cast<unsigned>(values[i]);
#else
    if (!__get_cpuid_count(leaf, 0, &registers[0], &registers[1], &registers[2], &registers[3]))
        registers[0] = registers[1] = registers[2] = registers[3] = 0;
#endif
}

bool detect() {
    unsigned basic[4];
    cpuid(0, basic);
    if (basic[0] < 7) return false;
    unsigned features[4];
    cpuid(1, features);
    unsigned extended[4];
    cpuid(7, extended);
    const bool sse41 = (features[2] >> 19) & 1;
    const bool sha = (extended[1] >> 29) & 1;
    return sse41 && sha;
}

}  // namespace

bool sha256HardwareAvailable() {
    static const bool available = detect();
    return available;
}

// Four rounds with the message words w of the given group.
KITEBOOT_SHA_TARGET inline void fourRounds(__m128i& abef, __m128i& cdgh, __m128i w, int group) {
    __m128i k = _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(&kSha256Round[4 * group])));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
    k = _mm_shuffle_epi32(k, 0x0E);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, k);
}

// The group-th four message words of a block, as the instructions want them (big-endian words).
KITEBOOT_SHA_TARGET inline __m128i loadWords(const std::uint8_t* block, int group, __m128i byteSwap) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * group)), byteSwap);
}

// The next group of message words from the four before it, oldest first.
KITEBOOT_SHA_TARGET inline __m128i nextWords(__m128i oldest, __m128i older, __m128i old, __m128i newest) {
    const __m128i sum = _mm_add_epi32(_mm_sha256msg1_epu32(oldest, older), _mm_alignr_epi8(newest, old, 4));
    return _mm_sha256msg2_epu32(sum, newest);
}

// The state is kept as the instructions want it: ABEF in one register, CDGH in the other. The four groups
// of message words live in four named registers, each replaced in turn by the group it makes: kept in an
// array indexed in a loop, they went through memory and the hash ran at two thirds of its speed.
KITEBOOT_SHA_TARGET void sha256HardwareBlocks(std::uint32_t state[8], const std::uint8_t* data,
                                              std::size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefSaved = abef;
        const __m128i cdghSaved = cdgh;
        __m128i w0 = loadWords(data, 0, byteSwap), w1 = loadWords(data, 1, byteSwap);
        __m128i w2 = loadWords(data, 2, byteSwap), w3 = loadWords(data, 3, byteSwap);
        fourRounds(abef, cdgh, w0, 0);
        fourRounds(abef, cdgh, w1, 1);
        fourRounds(abef, cdgh, w2, 2);
        fourRounds(abef, cdgh, w3, 3);
        for (int group = 4; group < 16; group += 4) {
            w0 = nextWords(w0, w1, w2, w3);
            fourRounds(abef, cdgh, w0, group);
            w1 = nextWords(w1, w2, w3, w0);
            fourRounds(abef, cdgh, w1, group + 1);
            w2 = nextWords(w2, w3, w0, w1);
            fourRounds(abef, cdgh, w2, group + 2);
            w3 = nextWords(w3, w0, w1, w2);
            fourRounds(abef, cdgh, w3, group + 3);
        }
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), hgfe);
}

#else

bool sha256HardwareAvailable() {
    return false;
}

void sha256HardwareBlocks(std::uint32_t*, const std::uint8_t*, std::size_t) {}

#endif
