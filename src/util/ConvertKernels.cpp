#include "util/ConvertKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#if defined(__SSE2__)
#include <immintrin.h>

#include <atomic>
#endif

namespace veltra::convert {

namespace {

// 1.5 * 2^36: a sum of this size has its last mantissa bit at 2^-16. Added to it, 0x8002 units of
// 2^-16 round the code (see FloatsToCodes).
constexpr double kMagic = 103079215104.0 + 0x8002 / 65536.0;
constexpr double kTwo34 = 17179869184.0;

// Outputs above this size bypass the cache: they would only push out what the caller works on.
constexpr size_t kStreamingBytes = size_t{16} << 20;

}  // namespace

// Why the vector loop gives the extended result wherever it has no doubt. With y the exact value of
// (x - min) * 2^N / (max - min) and a unit of 2^-16, the sum w = x * scale + offset differs from
// y + 1.5 * 2^36 + 0x8002 units by at most half a unit for rounding x * scale (less than 2^36
// while the code is held), half a unit for rounding the offset, half a unit for rounding the sum,
// and |y| * 2^-52 <= one unit for the rounding of scale itself; the extended computation lies
// within a small fraction of a unit of y. Less than 3 units in all, so a fraction more than two
// units from the middle rounds the same in both.
std::optional<CodeScale> MakeCodeScale(int bits, double min, double max) {
  const double scale = std::ldexp(1.0, bits) / (max - min);
  const double shift = min * scale;
  if (!std::isfinite(scale) || !(std::fabs(shift) < kTwo34)) return std::nullopt;
  return CodeScale{scale, kMagic - shift};
}

#if defined(__SSE2__)

bool HaveKernels() { return true; }

namespace {

// The wider loops run where the processor (and the system, which must save the wider registers)
// offers AVX2 and FMA, unless the tests asked for the SSE2 loops.
bool ProcessorHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
std::atomic<bool> avx2Allowed{ProcessorHasAvx2()};

bool Avx2Allowed() { return avx2Allowed.load(std::memory_order_relaxed); }

}  // namespace

bool UseWiderVectors(bool allowed) {
  const bool available = ProcessorHasAvx2();
  avx2Allowed.store(allowed && available);
  return allowed && available;
}

namespace {

template <bool kSingle>
__m128d LoadTwo(const unsigned char* p) {
  if constexpr (kSingle) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
  } else {
    return _mm_loadu_pd(reinterpret_cast<const double*>(p));
  }
}

// The code of a sample, with 16 fraction bits and 0x8002 added, sits in the low 32 (64) bits of
// its sum's mantissa: bits 16 and up are the rounded code unless the fraction lay within two units
// of the middle, which leaves at most 4 in the low 16 bits. The code is held while the sum lies in
// [2^36, 2^37), where the high word of every sum starts with this sign and exponent:
constexpr int32_t kExponent = 0x42300000;
constexpr int32_t kExponentMask = static_cast<int32_t>(0xFFF00000);

// The sums of four samples.
template <bool kSingle>
void FourSums(const unsigned char* source, const CodeScale& map, __m128d& w0, __m128d& w1) {
  constexpr size_t kStep = kSingle ? 8 : 16;
  const __m128d scale = _mm_set1_pd(map.scale);
  const __m128d offset = _mm_set1_pd(map.offset);
  w0 = _mm_add_pd(_mm_mul_pd(LoadTwo<kSingle>(source), scale), offset);
  w1 = _mm_add_pd(_mm_mul_pd(LoadTwo<kSingle>(source + kStep), scale), offset);
}

// The low and the high 32 bits of four sums.
inline __m128i LowHalves(__m128d w0, __m128d w1) {
  return _mm_castps_si128(
      _mm_shuffle_ps(_mm_castpd_ps(w0), _mm_castpd_ps(w1), _MM_SHUFFLE(2, 0, 2, 0)));
}
inline __m128i HighHalves(__m128d w0, __m128d w1) {
  return _mm_castps_si128(
      _mm_shuffle_ps(_mm_castpd_ps(w0), _mm_castpd_ps(w1), _MM_SHUFFLE(3, 1, 3, 1)));
}

// Gathers the checks of four samples over a block into bits 20 to 31 of `doubt`: a low half whose
// low 16 bits are at most 4 (near the middle) sets them by going negative, a high half of another
// exponent (the code is not held) by differing there.
inline void Check(__m128i low, __m128i high, __m128i& doubt) {
  const __m128i near = _mm_sub_epi32(_mm_and_si128(low, _mm_set1_epi32(0xFFFF)), _mm_set1_epi32(5));
  doubt = _mm_or_si128(doubt, _mm_or_si128(near, _mm_xor_si128(high, _mm_set1_epi32(kExponent))));
}

// Samples [first, count) one at a time, through the same arithmetic as the vector loops; false
// when one of them is in doubt.
template <bool kSingle, int kBits, bool kSigned>
bool ScalarCodes(const unsigned char* source, unsigned char* destination, size_t first,
                 size_t count, const CodeScale& map) {
  constexpr size_t kIn = kSingle ? 4 : 8;
  constexpr size_t kOut = kBits / 8;
  bool ok = true;
  for (size_t i = first; i < count; ++i) {
    double x;
    if constexpr (kSingle) {
      float single;
      std::memcpy(&single, source + i * kIn, 4);
      x = static_cast<double>(single);
    } else {
      std::memcpy(&x, source + i * kIn, 8);
    }
    const double w = x * map.scale + map.offset;
    uint64_t bits;
    std::memcpy(&bits, &w, 8);
    ok = ok && (bits & 0xFFFF) > 4 &&
         (static_cast<uint32_t>(bits >> 32) & 0xFFF00000u) == static_cast<uint32_t>(kExponent);
    auto code = static_cast<uint32_t>(bits >> 16);
    if constexpr (kSigned) code ^= uint32_t{1} << (kBits - 1);
    std::memcpy(destination + i * kOut, &code, kOut);
  }
  return ok;
}

// 16-bit codes with AVX2 and FMA, sixteen samples at a time: the same sums (x * scale + offset
// rounded once instead of twice, which only narrows the error) and the same checks.
#define VELTRA_AVX2 __attribute__((target("avx2,fma")))

template <bool kSingle>
VELTRA_AVX2 __m256 WideSums(const unsigned char* p, __m256d scale, __m256d offset) {
  __m256d x;
  if constexpr (kSingle) {
    x = _mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float*>(p)));
  } else {
    x = _mm256_loadu_pd(reinterpret_cast<const double*>(p));
  }
  return _mm256_castpd_ps(_mm256_fmadd_pd(x, scale, offset));
}

VELTRA_AVX2 __m256i WideCheck(__m256i low, __m256i high, __m256i doubt) {
  const __m256i near =
      _mm256_sub_epi32(_mm256_and_si256(low, _mm256_set1_epi32(0xFFFF)), _mm256_set1_epi32(5));
  return _mm256_or_si256(
      doubt, _mm256_or_si256(near, _mm256_xor_si256(high, _mm256_set1_epi32(kExponent))));
}

template <bool kSingle, bool kSigned>
VELTRA_AVX2 bool WideFloatsToWords(const unsigned char* source, unsigned char* destination,
                                   size_t count, const CodeScale& map) {
  constexpr size_t kIn = kSingle ? 4 : 8;
  const __m256d scale = _mm256_set1_pd(map.scale);
  const __m256d offset = _mm256_set1_pd(map.offset);
  // Within each 128-bit lane the shuffles and the pack keep pairs of samples in the order
  // 0 1 4 5 8 9 12 13 | 2 3 6 7 10 11 14 15; the permutation puts them back in line.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  __m256i doubt = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const unsigned char* in = source + i * kIn;
    const __m256 w0 = WideSums<kSingle>(in, scale, offset);
    const __m256 w1 = WideSums<kSingle>(in + 4 * kIn, scale, offset);
    const __m256 w2 = WideSums<kSingle>(in + 8 * kIn, scale, offset);
    const __m256 w3 = WideSums<kSingle>(in + 12 * kIn, scale, offset);
    constexpr int kLow = _MM_SHUFFLE(2, 0, 2, 0);
    constexpr int kHigh = _MM_SHUFFLE(3, 1, 3, 1);
    const __m256i low01 = _mm256_castps_si256(_mm256_shuffle_ps(w0, w1, kLow));
    const __m256i low23 = _mm256_castps_si256(_mm256_shuffle_ps(w2, w3, kLow));
    doubt = WideCheck(low01, _mm256_castps_si256(_mm256_shuffle_ps(w0, w1, kHigh)), doubt);
    doubt = WideCheck(low23, _mm256_castps_si256(_mm256_shuffle_ps(w2, w3, kHigh)), doubt);
    __m256i words = _mm256_permutevar8x32_epi32(
        _mm256_packs_epi32(_mm256_srai_epi32(low01, 16), _mm256_srai_epi32(low23, 16)), order);
    if constexpr (kSigned) words = _mm256_xor_si256(words, _mm256_set1_epi16(INT16_MIN));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + 2 * i), words);
  }
  const bool clear = _mm256_testz_si256(doubt, _mm256_set1_epi32(kExponentMask)) != 0;
  _mm256_zeroupper();
  return ScalarCodes<kSingle, 16, kSigned>(source, destination, i, count, map) && clear;
}

template <bool kSingle, int kBits, bool kSigned>
bool FloatsToCodesT(const unsigned char* source, unsigned char* destination, size_t count,
                    const CodeScale& map) {
  constexpr size_t kIn = kSingle ? 4 : 8;
  constexpr size_t kOut = kBits / 8;
  constexpr size_t kGroup = kBits == 8 ? 16 : kBits == 16 ? 8 : 4;  // samples per store
  __m128i doubt = _mm_setzero_si128();
  size_t i = 0;
  for (; i + kGroup <= count; i += kGroup) {
    const unsigned char* in = source + i * kIn;
    __m128i codes;
    if constexpr (kBits == 32) {
      __m128d w0, w1;
      FourSums<kSingle>(in, map, w0, w1);
      Check(LowHalves(w0, w1), HighHalves(w0, w1), doubt);
      const __m128i a0 = _mm_srli_epi64(_mm_castpd_si128(w0), 16);
      const __m128i a1 = _mm_srli_epi64(_mm_castpd_si128(w1), 16);
      codes = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a0), _mm_castsi128_ps(a1),
                                              _MM_SHUFFLE(2, 0, 2, 0)));
      if constexpr (kSigned) codes = _mm_xor_si128(codes, _mm_set1_epi32(INT32_MIN));
    } else {
      __m128i words[(kGroup + 7) / 8];
      for (size_t q = 0; q < kGroup / 4; ++q) {
        __m128d w0, w1;
        FourSums<kSingle>(in + 4 * q * kIn, map, w0, w1);
        const __m128i low = LowHalves(w0, w1);
        Check(low, HighHalves(w0, w1), doubt);
        // Bits 16 to 31 hold the code modulo 2^16; sign-extended they pack without saturating.
        const __m128i sixteen = _mm_srai_epi32(low, 16);
        words[q / 2] = q % 2 == 0 ? sixteen : _mm_packs_epi32(words[q / 2], sixteen);
      }
      if constexpr (kBits == 16) {
        codes = words[0];
        if constexpr (kSigned) codes = _mm_xor_si128(codes, _mm_set1_epi16(INT16_MIN));
      } else {
        const __m128i byteMask = _mm_set1_epi16(0xFF);
        codes = _mm_packus_epi16(_mm_and_si128(words[0], byteMask),
                                 _mm_and_si128(words[1], byteMask));
        if constexpr (kSigned) codes = _mm_xor_si128(codes, _mm_set1_epi8(INT8_MIN));
      }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i * kOut), codes);
  }
  const bool tailOk = ScalarCodes<kSingle, kBits, kSigned>(source, destination, i, count, map);
  const __m128i doubtBits = _mm_and_si128(doubt, _mm_set1_epi32(kExponentMask));
  return tailOk && _mm_movemask_epi8(_mm_cmpeq_epi32(doubtBits, _mm_setzero_si128())) == 0xFFFF;
}

template <bool kSingle>
bool FloatsToCodesFrom(const unsigned char* source, unsigned char* destination, int bits,
                       bool signedCodes, size_t count, const CodeScale& map) {
  switch (bits * 2 + (signedCodes ? 1 : 0)) {
    case 16: return FloatsToCodesT<kSingle, 8, false>(source, destination, count, map);
    case 17: return FloatsToCodesT<kSingle, 8, true>(source, destination, count, map);
    case 32:
      return Avx2Allowed() ? WideFloatsToWords<kSingle, false>(source, destination, count, map)
                           : FloatsToCodesT<kSingle, 16, false>(source, destination, count, map);
    case 33:
      return Avx2Allowed() ? WideFloatsToWords<kSingle, true>(source, destination, count, map)
                           : FloatsToCodesT<kSingle, 16, true>(source, destination, count, map);
    case 64: return FloatsToCodesT<kSingle, 32, false>(source, destination, count, map);
    case 65: return FloatsToCodesT<kSingle, 32, true>(source, destination, count, map);
    default: return false;
  }
}

// ---------------------------------------------------------------------------------------------
// Codes to floats

template <bool kStream>
void StoreTwo(unsigned char* p, __m128d v) {
  if constexpr (kStream) {
    _mm_stream_pd(reinterpret_cast<double*>(p), v);
  } else {
    _mm_storeu_pd(reinterpret_cast<double*>(p), v);
  }
}

// Four values from four 32-bit integers: n * step (+ min), stored as doubles or singles.
template <bool kSingleOut, bool kStream, bool kAffine>
void StoreFour(unsigned char* out, __m128d lo, __m128d hi, __m128d step, __m128d min) {
  lo = _mm_mul_pd(lo, step);
  hi = _mm_mul_pd(hi, step);
  if constexpr (kAffine) {
    lo = _mm_add_pd(lo, min);
    hi = _mm_add_pd(hi, min);
  }
  if constexpr (kSingleOut) {
    _mm_storeu_ps(reinterpret_cast<float*>(out), _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)));
  } else {
    StoreTwo<kStream>(out, lo);
    StoreTwo<kStream>(out + 16, hi);
  }
}

inline void ToDoubles(__m128i four, __m128d& lo, __m128d& hi) {
  lo = _mm_cvtepi32_pd(four);
  hi = _mm_cvtepi32_pd(_mm_shuffle_epi32(four, _MM_SHUFFLE(1, 0, 3, 2)));
}

// Codes of 8 or 16 bits, sixteen or eight at a time: code + bias as 32-bit integers (signed codes
// counted from their lowest), then (code + bias) * step (+ min).
template <int kBits, bool kSigned, bool kSingleOut, bool kStream, bool kAffine>
void ShortCodesToFloats(const unsigned char* source, unsigned char* destination, size_t count,
                        int32_t bias, double step, double min) {
  constexpr size_t kOut = kSingleOut ? 4 : 8;
  const __m128d vStep = _mm_set1_pd(step);
  const __m128d vMin = _mm_set1_pd(min);
  const __m128i vBias = _mm_set1_epi32(kSigned ? bias + (1 << (kBits - 1)) : bias);
  // Eight codes widened to 16 bits go out as eight values.
  auto eight = [&](__m128i words, unsigned char* out) {
    __m128i first, second;
    if constexpr (kSigned) {
      first = _mm_srai_epi32(_mm_unpacklo_epi16(words, words), 16);
      second = _mm_srai_epi32(_mm_unpackhi_epi16(words, words), 16);
    } else {
      first = _mm_unpacklo_epi16(words, _mm_setzero_si128());
      second = _mm_unpackhi_epi16(words, _mm_setzero_si128());
    }
    __m128d lo, hi;
    ToDoubles(_mm_add_epi32(first, vBias), lo, hi);
    StoreFour<kSingleOut, kStream, kAffine>(out, lo, hi, vStep, vMin);
    ToDoubles(_mm_add_epi32(second, vBias), lo, hi);
    StoreFour<kSingleOut, kStream, kAffine>(out + 4 * kOut, lo, hi, vStep, vMin);
  };
  size_t i = 0;
  if constexpr (kBits == 8) {
    for (; i + 16 <= count; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
      eight(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()), destination + i * kOut);
      eight(_mm_unpackhi_epi8(bytes, _mm_setzero_si128()), destination + (i + 8) * kOut);
    }
  } else {
    for (; i + 8 <= count; i += 8) {
      eight(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 2 * i)),
            destination + i * kOut);
    }
  }
  for (; i < count; ++i) {
    int32_t code;
    if constexpr (kBits == 8) {
      code = source[i];
    } else {
      uint16_t raw;
      std::memcpy(&raw, source + 2 * i, 2);
      code = kSigned ? static_cast<int16_t>(raw) + (1 << 15) : raw;
    }
    double value = static_cast<double>(code + bias) * step;
    if constexpr (kAffine) value += min;
    if constexpr (kSingleOut) {
      const auto single = static_cast<float>(value);
      std::memcpy(destination + i * kOut, &single, 4);
    } else {
      std::memcpy(destination + i * kOut, &value, 8);
    }
  }
}

// Codes of 32 bits, four at a time: code * step + min.
template <bool kSigned, bool kSingleOut, bool kStream>
void WideCodesToFloats(const unsigned char* source, unsigned char* destination, size_t count,
                       double step, double min) {
  constexpr size_t kOut = kSingleOut ? 4 : 8;
  const __m128d vStep = _mm_set1_pd(step);
  const __m128d vMin = _mm_set1_pd(min);
  const __m128d half = _mm_set1_pd(2147483648.0);
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    // No unsigned conversion in SSE2: convert with the top bit flipped (signed codes have it
    // flipped already), then add 2^31.
    __m128i codes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i));
    if constexpr (!kSigned) codes = _mm_xor_si128(codes, _mm_set1_epi32(INT32_MIN));
    __m128d lo, hi;
    ToDoubles(codes, lo, hi);
    StoreFour<kSingleOut, kStream, true>(destination + i * kOut, _mm_add_pd(lo, half),
                                         _mm_add_pd(hi, half), vStep, vMin);
  }
  for (; i < count; ++i) {
    uint32_t raw;
    std::memcpy(&raw, source + 4 * i, 4);
    const double value = static_cast<double>(kSigned ? raw ^ 0x80000000u : raw) * step + min;
    if constexpr (kSingleOut) {
      const auto single = static_cast<float>(value);
      std::memcpy(destination + i * kOut, &single, 4);
    } else {
      std::memcpy(destination + i * kOut, &value, 8);
    }
  }
}

// Codes of 8 or 16 bits to doubles with AVX2, eight at a time, as ShortCodesToFloats does it.
template <int kBits, bool kSigned, bool kStream, bool kAffine>
VELTRA_AVX2 void WideShortCodesToDoubles(const unsigned char* source, unsigned char* destination,
                                         size_t count, int32_t bias, double step, double min) {
  const __m256d vStep = _mm256_set1_pd(step);
  const __m256d vMin = _mm256_set1_pd(min);
  const __m256i vBias = _mm256_set1_epi32(kSigned ? bias + (1 << (kBits - 1)) : bias);
  auto store = [](unsigned char* p, __m256d v) VELTRA_AVX2 {
    if constexpr (kStream) {
      _mm256_stream_pd(reinterpret_cast<double*>(p), v);
    } else {
      _mm256_storeu_pd(reinterpret_cast<double*>(p), v);
    }
  };
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const auto* in = reinterpret_cast<const __m128i*>(source + i * (kBits / 8));
    __m256i codes;
    if constexpr (kBits == 8) {
      codes = _mm256_cvtepu8_epi32(_mm_loadl_epi64(in));
    } else if constexpr (kSigned) {
      codes = _mm256_cvtepi16_epi32(_mm_loadu_si128(in));
    } else {
      codes = _mm256_cvtepu16_epi32(_mm_loadu_si128(in));
    }
    codes = _mm256_add_epi32(codes, vBias);
    __m256d lo = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(codes)), vStep);
    __m256d hi = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(codes, 1)), vStep);
    if constexpr (kAffine) {
      lo = _mm256_add_pd(lo, vMin);
      hi = _mm256_add_pd(hi, vMin);
    }
    store(destination + 8 * i, lo);
    store(destination + 8 * i + 32, hi);
  }
  _mm256_zeroupper();
  ShortCodesToFloats<kBits, kSigned, false, false, kAffine>(source + i * (kBits / 8),
                                                          destination + 8 * i, count - i, bias,
                                                          step, min);
}

// One run of the conversion, with the choices fixed.
template <int kBits, bool kSigned, bool kSingleOut, bool kStream>
void CodesToFloatsT(const unsigned char* source, unsigned char* destination, size_t count,
                    const ValueMap& map) {
  if constexpr (kBits == 32) {
    WideCodesToFloats<kSigned, kSingleOut, kStream>(source, destination, count, map.step, map.min);
  } else if (!kSingleOut && Avx2Allowed()) {
    if (map.bias) {
      WideShortCodesToDoubles<kBits, kSigned, kStream, false>(source, destination, count,
                                                             *map.bias, map.step, map.min);
    } else {
      WideShortCodesToDoubles<kBits, kSigned, kStream, true>(source, destination, count, 0,
                                                            map.step, map.min);
    }
  } else if (map.bias) {
    ShortCodesToFloats<kBits, kSigned, kSingleOut, kStream, false>(source, destination, count,
                                                                   *map.bias, map.step, map.min);
  } else {
    ShortCodesToFloats<kBits, kSigned, kSingleOut, kStream, true>(source, destination, count, 0,
                                                                  map.step, map.min);
  }
  if constexpr (kStream) _mm_sfence();
}

template <int kBits, bool kSigned>
void CodesToFloatsFrom(const unsigned char* source, unsigned char* destination,
                       bool singleDestination, size_t count, const ValueMap& map) {
  if (singleDestination) {
    CodesToFloatsT<kBits, kSigned, true, false>(source, destination, count, map);
    return;
  }
  // Streaming stores need 16-byte (AVX2: 32-byte) alignment: the first samples go the ordinary
  // way.
  const auto address = reinterpret_cast<uintptr_t>(destination);
  const uintptr_t alignment = kBits <= 16 && Avx2Allowed() ? 32 : 16;
  const size_t head = (alignment - address % alignment) % alignment / 8;
  if (count * 8 < kStreamingBytes || address % 8 != 0) {
    CodesToFloatsT<kBits, kSigned, false, false>(source, destination, count, map);
    return;
  }
  CodesToFloatsT<kBits, kSigned, false, false>(source, destination, head, map);
  CodesToFloatsT<kBits, kSigned, false, true>(source + head * (kBits / 8), destination + head * 8,
                                              count - head, map);
}

template <int kBits, bool kStream>
void TableToDoubles(const unsigned char* source, unsigned char* destination, size_t count,
                    const double* table) {
  constexpr size_t kPerWord = 8 / (kBits / 8);  // codes in a 64-bit word
  constexpr uint64_t kMask = (uint64_t{1} << kBits) - 1;
  size_t i = 0;
  // The codes come in 64-bit words and are taken apart in registers, which leaves the load units
  // to the table; two values go out per store.
  for (; i + kPerWord <= count; i += kPerWord) {
    uint64_t word;
    std::memcpy(&word, source + i * (kBits / 8), 8);
    for (size_t k = 0; k < kPerWord; k += 2, word >>= 2 * kBits) {
      StoreTwo<kStream>(destination + 8 * (i + k),
                        _mm_loadh_pd(_mm_load_sd(table + (word & kMask)),
                                     table + ((word >> kBits) & kMask)));
    }
  }
  for (; i < count; ++i) {
    uint16_t code = source[i * (kBits / 8)];
    if constexpr (kBits == 16) std::memcpy(&code, source + 2 * i, 2);
    std::memcpy(destination + 8 * i, table + code, 8);
  }
  if constexpr (kStream) _mm_sfence();
}

template <int kBits>
void TableToDoublesFrom(const unsigned char* source, unsigned char* destination, size_t count,
                        const double* table) {
  const size_t head = (reinterpret_cast<uintptr_t>(destination) % 16) / 8;
  if (count * 8 < kStreamingBytes || reinterpret_cast<uintptr_t>(destination) % 8 != 0) {
    TableToDoubles<kBits, false>(source, destination, count, table);
    return;
  }
  TableToDoubles<kBits, false>(source, destination, head, table);
  TableToDoubles<kBits, true>(source + head * (kBits / 8), destination + head * 8, count - head,
                              table);
}

// ---------------------------------------------------------------------------------------------
// Codes to doubles between brackets (BracketMap)

// A code as an exact double; signed codes count from their lowest.
template <int kBits, bool kSigned>
double CodeValue(const unsigned char* p) {
  if constexpr (kBits == 16) {
    uint16_t raw;
    std::memcpy(&raw, p, 2);
    return kSigned ? static_cast<int16_t>(raw) + 32768.0 : raw;
  } else {
    uint32_t raw;
    std::memcpy(&raw, p, 4);
    return static_cast<double>(kSigned ? raw ^ 0x80000000u : raw);
  }
}

// Samples [first, count), two at a time; each pair's doubts go into the mask.
template <int kBits, bool kSigned>
void BracketedCodesToDoubles(const unsigned char* source, unsigned char* destination, size_t first,
                             size_t count, const BracketMap& map, uint64_t (&doubt)[kDoubtWords]) {
  constexpr size_t kIn = kBits / 8;
  const __m128d high = _mm_set1_pd(map.high);
  const __m128d minHigh = _mm_set1_pd(map.minHigh);
  const __m128d low = _mm_set1_pd(map.low);
  const __m128d lowBelow = _mm_set1_pd(map.lowBelow);
  const __m128d lowAbove = _mm_set1_pd(map.lowAbove);
  size_t i = first;
  for (; i + 2 <= count; i += 2) {
    const __m128d code = _mm_set_pd(CodeValue<kBits, kSigned>(source + (i + 1) * kIn),
                                    CodeValue<kBits, kSigned>(source + i * kIn));
    const __m128d whole = _mm_add_pd(_mm_mul_pd(code, high), minHigh);
    const __m128d part = _mm_mul_pd(code, low);
    const __m128d below = _mm_add_pd(whole, _mm_add_pd(part, lowBelow));
    const __m128d above = _mm_add_pd(whole, _mm_add_pd(part, lowAbove));
    _mm_storeu_pd(reinterpret_cast<double*>(destination + 8 * i), below);
    const auto differ = static_cast<uint64_t>(_mm_movemask_pd(_mm_cmpneq_pd(below, above)));
    doubt[i / 64] |= differ << (i % 64);
  }
  if (i < count) {
    const double code = CodeValue<kBits, kSigned>(source + i * kIn);
    const double whole = code * map.high + map.minHigh;
    const double part = code * map.low;
    const double below = whole + (part + map.lowBelow);
    std::memcpy(destination + 8 * i, &below, 8);
    if (below != whole + (part + map.lowAbove)) doubt[i / 64] |= uint64_t{1} << (i % 64);
  }
}

// The same with AVX2 and FMA, eight samples at a time (products and sums rounded once instead of
// twice, which only narrows the brackets' error).
template <int kBits, bool kSigned>
VELTRA_AVX2 void WideBracketedCodesToDoubles(const unsigned char* source,
                                             unsigned char* destination, size_t count,
                                             const BracketMap& map,
                                             uint64_t (&doubt)[kDoubtWords]) {
  const __m256d high = _mm256_set1_pd(map.high);
  const __m256d minHigh = _mm256_set1_pd(map.minHigh);
  const __m256d low = _mm256_set1_pd(map.low);
  const __m256d lowBelow = _mm256_set1_pd(map.lowBelow);
  const __m256d lowAbove = _mm256_set1_pd(map.lowAbove);
  // Four samples; the lanes whose brackets differ.
  auto four = [&](__m256d code, unsigned char* out) VELTRA_AVX2 {
    const __m256d whole = _mm256_fmadd_pd(code, high, minHigh);
    const __m256d below = _mm256_add_pd(whole, _mm256_fmadd_pd(code, low, lowBelow));
    const __m256d above = _mm256_add_pd(whole, _mm256_fmadd_pd(code, low, lowAbove));
    _mm256_storeu_pd(reinterpret_cast<double*>(out), below);
    return static_cast<uint64_t>(_mm256_movemask_pd(_mm256_cmp_pd(below, above, _CMP_NEQ_OQ)));
  };
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const auto* in = reinterpret_cast<const __m128i*>(source + i * (kBits / 8));
    __m256d first, second;
    if constexpr (kBits == 16) {
      __m256i codes = kSigned ? _mm256_add_epi32(_mm256_cvtepi16_epi32(_mm_loadu_si128(in)),
                                                 _mm256_set1_epi32(32768))
                              : _mm256_cvtepu16_epi32(_mm_loadu_si128(in));
      first = _mm256_cvtepi32_pd(_mm256_castsi256_si128(codes));
      second = _mm256_cvtepi32_pd(_mm256_extracti128_si256(codes, 1));
    } else {
      // No unsigned conversion: convert with the top bit flipped (signed codes have it flipped
      // already), then add 2^31.
      __m256i codes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
      if constexpr (!kSigned) codes = _mm256_xor_si256(codes, _mm256_set1_epi32(INT32_MIN));
      const __m256d half = _mm256_set1_pd(2147483648.0);
      first = _mm256_add_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(codes)), half);
      second = _mm256_add_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(codes, 1)), half);
    }
    const uint64_t differ = four(first, destination + 8 * i) |
                            four(second, destination + 8 * i + 32) << 4;
    doubt[i / 64] |= differ << (i % 64);
  }
  _mm256_zeroupper();
  BracketedCodesToDoubles<kBits, kSigned>(source, destination, i, count, map, doubt);
}

template <int kBits, bool kSigned>
void BracketedFrom(const unsigned char* source, unsigned char* destination, size_t count,
                   const BracketMap& map, uint64_t (&doubt)[kDoubtWords]) {
  if (Avx2Allowed()) {
    WideBracketedCodesToDoubles<kBits, kSigned>(source, destination, count, map, doubt);
  } else {
    BracketedCodesToDoubles<kBits, kSigned>(source, destination, 0, count, map, doubt);
  }
}

}  // namespace

void CodesToDoublesBracketed(const void* source, int bits, bool signedCodes, void* destination,
                             size_t count, const BracketMap& map, uint64_t (&doubt)[kDoubtWords]) {
  const auto* in = static_cast<const unsigned char*>(source);
  auto* out = static_cast<unsigned char*>(destination);
  std::fill(std::begin(doubt), std::end(doubt), uint64_t{0});
  switch (bits * 2 + (signedCodes ? 1 : 0)) {
    case 32: BracketedFrom<16, false>(in, out, count, map, doubt); break;
    case 33: BracketedFrom<16, true>(in, out, count, map, doubt); break;
    case 64: BracketedFrom<32, false>(in, out, count, map, doubt); break;
    case 65: BracketedFrom<32, true>(in, out, count, map, doubt); break;
    default: break;
  }
}

void CodesToDoublesByTable(const void* source, int bits, void* destination, size_t count,
                           const double* table) {
  const auto* in = static_cast<const unsigned char*>(source);
  auto* out = static_cast<unsigned char*>(destination);
  if (bits == 8) {
    TableToDoublesFrom<8>(in, out, count, table);
  } else {
    TableToDoublesFrom<16>(in, out, count, table);
  }
}

bool FloatsToCodes(const void* source, bool singleSource, void* destination, int bits,
                   bool signedCodes, size_t count, const CodeScale& map) {
  const auto* in = static_cast<const unsigned char*>(source);
  auto* out = static_cast<unsigned char*>(destination);
  return singleSource ? FloatsToCodesFrom<true>(in, out, bits, signedCodes, count, map)
                      : FloatsToCodesFrom<false>(in, out, bits, signedCodes, count, map);
}

void CodesToFloats(const void* source, int bits, bool signedCodes, void* destination,
                   bool singleDestination, size_t count, const ValueMap& map) {
  const auto* in = static_cast<const unsigned char*>(source);
  auto* out = static_cast<unsigned char*>(destination);
  switch (bits * 2 + (signedCodes ? 1 : 0)) {
    case 16: CodesToFloatsFrom<8, false>(in, out, singleDestination, count, map); break;
    case 32: CodesToFloatsFrom<16, false>(in, out, singleDestination, count, map); break;
    case 33: CodesToFloatsFrom<16, true>(in, out, singleDestination, count, map); break;
    case 64: CodesToFloatsFrom<32, false>(in, out, singleDestination, count, map); break;
    case 65: CodesToFloatsFrom<32, true>(in, out, singleDestination, count, map); break;
    default: break;
  }
}

#undef VELTRA_AVX2

#else

bool HaveKernels() { return false; }
bool UseWiderVectors(bool) { return false; }
bool FloatsToCodes(const void*, bool, void*, int, bool, size_t, const CodeScale&) { return false; }
void CodesToFloats(const void*, int, bool, void*, bool, size_t, const ValueMap&) {}
void CodesToDoublesByTable(const void*, int, void*, size_t, const double*) {}
void CodesToDoublesBracketed(const void*, int, bool, void*, size_t, const BracketMap&,
                             uint64_t (&)[kDoubtWords]) {}

#endif

}  // namespace veltra::convert
