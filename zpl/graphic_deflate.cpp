#include "zpl/graphic_deflate.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/word_scan.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using mx_imaging::LoadWord;

constexpr size_t kWindow = 32768;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 258;
// A match this long is taken at once, without looking for a longer one one byte on.
constexpr uint32_t kNiceMatch = 128;
// Three bytes that far back cost more as a match than as literals.
constexpr size_t kFarForThree = 4096;
constexpr int kHashBits = 15;
constexpr int kChainDepth = 8;
// Positions a match covers that still enter the hash: the start of a repeat is where text
// repeats; the inside of a long blank stretch never is.
constexpr uint32_t kInsertedInMatch = 16;
// Input parsed at a time, and tokens per block: a block's codes follow its own statistics.
constexpr size_t kChunk = size_t{1} << 18;
constexpr size_t kBlockTokens = size_t{1} << 15;
constexpr size_t kStoredMax = 65535;
constexpr uint32_t kMatch = 0x80000000u;

uint32_t TokenLength(uint32_t match) {
    return ((match >> 16) & 0xFF) + kMinMatch;
}
uint32_t TokenDistance(uint32_t match) {
    return (match & 0x7FFF) + 1;
}

constexpr int kLitLenCodes = 286;
constexpr int kDistanceCodes = 30;
// The fixed codes are built over two more symbols of each alphabet, which are never sent but
// take their place among the codes.
constexpr int kFixedLitLenCodes = 288;
constexpr int kFixedDistanceCodes = 32;
constexpr int kLengthCodeCodes = 19;
constexpr uint8_t kLengthCodeOrder[kLengthCodeCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Code of every match length (3..258) and of every distance, from the bases above. The codes go
// in order, so 258, which 227 + 31 would also reach, ends with a code of its own.
struct CodeTables {
    uint8_t length[kMaxMatch + 1] = {};
    uint8_t distance[kWindow + 1] = {};
    constexpr CodeTables() {
        for (int code = 0; code < 29; ++code) {
            const int last =
                std::min<int>(kMaxMatch, kLengthBase[code] + (1 << kLengthExtra[code]) - 1);
            for (int n = kLengthBase[code]; n <= last; ++n) length[n] = uint8_t(code);
        }
        for (int code = 0; code < 30; ++code) {
            const int last = kDistanceBase[code] + (1 << kDistanceExtra[code]) - 1;
            for (int d = kDistanceBase[code]; d <= last; ++d) distance[d] = uint8_t(code);
        }
    }
};
constexpr CodeTables kCodes;

uint32_t Hash(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return (v * 0x9E3779B1u) >> (32 - kHashBits);
}

// Bytes from `a` that equal those from `b` (b before a), at most `limit`.
uint32_t Extend(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t n = 0;
    while (n + 8 <= limit) {
        const uint64_t diff = LoadWord(a + n) ^ LoadWord(b + n);
        if (diff != 0) return n + static_cast<uint32_t>(__builtin_ctzll(diff) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
};

class BitWriter {
  public:
    BitWriter(uint8_t* out, size_t capacity) : out_(out), end_(out + capacity) {}
    // Writes the low `n` bits of `value` (n up to 32), least significant first.
    void Put(uint32_t value, int n) {
        acc_ |= uint64_t{value} << bits_;
        bits_ += n;
        if (bits_ >= 32) Spill();
    }
    void AlignToByte() {
        while (bits_ > 0) {
            if (out_ == end_) {
                overflow_ = true;
                bits_ = 0;
                break;
            }
            *out_++ = static_cast<uint8_t>(acc_);
            acc_ >>= 8;
            bits_ = bits_ > 8 ? bits_ - 8 : 0;
        }
        acc_ = 0;
    }
    void PutBytes(const uint8_t* bytes, size_t n) {
        if (static_cast<size_t>(end_ - out_) < n) {
            overflow_ = true;
            return;
        }
        std::memcpy(out_, bytes, n);
        out_ += n;
    }
    bool Overflowed() const { return overflow_; }
    uint8_t* Position() const { return out_; }

  private:
    void Spill() {
        if (end_ - out_ < 4) {
            overflow_ = true;
            out_ = end_;
        } else {
            for (int i = 0; i < 4; ++i) out_[i] = static_cast<uint8_t>(acc_ >> (8 * i));
            out_ += 4;
        }
        acc_ >>= 32;
        bits_ -= 32;
    }

    uint8_t* out_;
    uint8_t* end_;
    uint64_t acc_ = 0;
    int bits_ = 0;
    bool overflow_ = false;
};

// Huffman code lengths no longer than `limit` for the symbols with a count; a code of one
// symbol gets a partner, as decoders want complete codes.
void BuildLengths(const uint32_t* counts, int n, int limit, uint8_t* lengths) {
    std::fill(lengths, lengths + n, uint8_t{0});
    std::array<uint32_t, kLitLenCodes> scaled{};
    std::copy(counts, counts + n, scaled.begin());
    int used = 0;
    for (int s = 0; s < n; ++s) used += scaled[s] != 0;
    for (int s = 0; s < n && used < 2; ++s) {
        if (scaled[s] == 0) {
            scaled[s] = 1;
            ++used;
        }
    }
    // Nodes 0..n-1 are the symbols; inner nodes follow. Two queues: leaves sorted by count, and
    // inner nodes, which are made in order of count.
    struct Node {
        uint64_t weight;
        int parent;
    };
    std::array<Node, 2 * kLitLenCodes> nodes{};
    std::array<int, kLitLenCodes> leaves{};
    for (;;) {
        int leafCount = 0;
        for (int s = 0; s < n; ++s) {
            if (scaled[s] != 0) {
                nodes[s] = {scaled[s], -1};
                leaves[leafCount++] = s;
            }
        }
        std::sort(leaves.begin(), leaves.begin() + leafCount, [&](int a, int b) {
            return nodes[a].weight != nodes[b].weight ? nodes[a].weight < nodes[b].weight : a < b;
        });
        int nextLeaf = 0;
        int nextInner = n;
        int innerEnd = n;
        auto take = [&]() {
            if (nextLeaf < leafCount && (nextInner == innerEnd ||
                                         nodes[leaves[nextLeaf]].weight <= nodes[nextInner].weight))
                return leaves[nextLeaf++];
            return nextInner++;
        };
        for (int made = 0; made < leafCount - 1; ++made) {
            const int a = take();
            const int b = take();
            nodes[innerEnd] = {nodes[a].weight + nodes[b].weight, -1};
            nodes[a].parent = innerEnd;
            nodes[b].parent = innerEnd;
            ++innerEnd;
        }
        int longest = 0;
        for (int i = 0; i < leafCount; ++i) {
            int depth = 0;
            for (int node = leaves[i]; nodes[node].parent != -1; node = nodes[node].parent) ++depth;
            lengths[leaves[i]] = static_cast<uint8_t>(depth);
            longest = std::max(longest, depth);
        }
        if (longest <= limit) return;
        // Too deep: flatten the counts and build again.
        for (int s = 0; s < n; ++s) {
            if (scaled[s] != 0) scaled[s] = (scaled[s] >> 1) | 1;
        }
    }
}

// Canonical codes for the lengths, bit-reversed for the least-significant-first stream.
void BuildCodes(const uint8_t* lengths, int n, uint16_t* codes) {
    uint16_t count[16] = {};
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    uint16_t next[16] = {};
    uint16_t code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = static_cast<uint16_t>((code + count[bits - 1]) << 1);
        next[bits] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int length = lengths[s];
        if (length == 0) continue;
        uint16_t c = next[length]++;
        uint16_t reversed = 0;
        for (int b = 0; b < length; ++b) {
            reversed = static_cast<uint16_t>((reversed << 1) | (c & 1));
            c >>= 1;
        }
        codes[s] = reversed;
    }
}

// The codes of one block and what its tokens cost with them.
struct BlockCodes {
    uint8_t litLenLength[kFixedLitLenCodes] = {};
    uint8_t distanceLength[kFixedDistanceCodes] = {};
    uint16_t litLenCode[kFixedLitLenCodes] = {};
    uint16_t distanceCode[kFixedDistanceCodes] = {};
};

uint64_t PayloadBits(const BlockCodes& c, const uint32_t* litLen, const uint32_t* distance) {
    uint64_t bits = 0;
    for (int s = 0; s < kLitLenCodes; ++s) {
        uint64_t per = c.litLenLength[s];
        if (s > 256) per += kLengthExtra[s - 257];
        bits += per * litLen[s];
    }
    for (int s = 0; s < kDistanceCodes; ++s)
        bits += (uint64_t{c.distanceLength[s]} + kDistanceExtra[s]) * distance[s];
    return bits;
}

BlockCodes FixedCodes() {
    BlockCodes c;
    for (int s = 0; s < kFixedLitLenCodes; ++s)
        c.litLenLength[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    for (int s = 0; s < kFixedDistanceCodes; ++s) c.distanceLength[s] = 5;
    BuildCodes(c.litLenLength, kFixedLitLenCodes, c.litLenCode);
    BuildCodes(c.distanceLength, kFixedDistanceCodes, c.distanceCode);
    return c;
}

// Extra bits after a code length symbol: the repeats 16, 17 and 18 carry their counts.
int RepeatExtraBits(uint8_t symbol) {
    return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0;
}

// The run-length coded code lengths of a dynamic block header.
struct HeaderLengths {
    int litLenCount = 257;
    int distanceCount = 1;
    std::array<uint8_t, kLitLenCodes + kDistanceCodes> symbols{};  // 0..18
    std::array<uint8_t, kLitLenCodes + kDistanceCodes> extra{};
    int size = 0;
    uint32_t counts[kLengthCodeCodes] = {};
    uint8_t lengths[kLengthCodeCodes] = {};
    uint16_t codes[kLengthCodeCodes] = {};
    int lengthCodeCount = 4;

    void Add(uint8_t symbol, uint8_t extraValue) {
        symbols[size] = symbol;
        extra[size] = extraValue;
        ++size;
        ++counts[symbol];
    }

    explicit HeaderLengths(const BlockCodes& c) {
        litLenCount = kLitLenCodes;
        while (litLenCount > 257 && c.litLenLength[litLenCount - 1] == 0) --litLenCount;
        distanceCount = kDistanceCodes;
        while (distanceCount > 1 && c.distanceLength[distanceCount - 1] == 0) --distanceCount;
        uint8_t all[kLitLenCodes + kDistanceCodes];
        std::copy(c.litLenLength, c.litLenLength + litLenCount, all);
        std::copy(c.distanceLength, c.distanceLength + distanceCount, all + litLenCount);
        const int total = litLenCount + distanceCount;
        for (int i = 0; i < total;) {
            const uint8_t value = all[i];
            int run = 1;
            while (i + run < total && all[i + run] == value) ++run;
            i += run;
            if (value == 0) {
                for (; run >= 11; run -= std::min(run, 138))
                    Add(18, static_cast<uint8_t>(std::min(run, 138) - 11));
                if (run >= 3) {
                    Add(17, static_cast<uint8_t>(run - 3));
                    run = 0;
                }
            } else {
                Add(value, 0);
                --run;
                for (; run >= 3; run -= std::min(run, 6))
                    Add(16, static_cast<uint8_t>(std::min(run, 6) - 3));
            }
            for (; run > 0; --run) Add(value, 0);
        }
        BuildLengths(counts, kLengthCodeCodes, 7, lengths);
        BuildCodes(lengths, kLengthCodeCodes, codes);
        lengthCodeCount = kLengthCodeCodes;
        while (lengthCodeCount > 4 && lengths[kLengthCodeOrder[lengthCodeCount - 1]] == 0)
            --lengthCodeCount;
    }

    uint64_t Bits() const {
        uint64_t bits = 5 + 5 + 4 + 3 * uint64_t(lengthCodeCount);
        for (int s = 0; s < kLengthCodeCodes; ++s)
            bits += (uint64_t{lengths[s]} + RepeatExtraBits(static_cast<uint8_t>(s))) * counts[s];
        return bits;
    }

    void Write(BitWriter& w) const {
        w.Put(static_cast<uint32_t>(litLenCount - 257), 5);
        w.Put(static_cast<uint32_t>(distanceCount - 1), 5);
        w.Put(static_cast<uint32_t>(lengthCodeCount - 4), 4);
        for (int i = 0; i < lengthCodeCount; ++i) w.Put(lengths[kLengthCodeOrder[i]], 3);
        for (int i = 0; i < size; ++i) {
            const uint8_t s = symbols[i];
            w.Put(codes[s], lengths[s]);
            w.Put(extra[i], RepeatExtraBits(s));
        }
    }
};

void WriteTokens(BitWriter& w, const BlockCodes& c, const uint32_t* tokens, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint32_t t = tokens[i];
        if ((t & kMatch) == 0) {
            w.Put(c.litLenCode[t], c.litLenLength[t]);
            continue;
        }
        const uint32_t length = TokenLength(t);
        const uint32_t distance = TokenDistance(t);
        const uint8_t lc = kCodes.length[length];
        w.Put(c.litLenCode[257 + lc], c.litLenLength[257 + lc]);
        w.Put(length - kLengthBase[lc], kLengthExtra[lc]);
        const uint8_t dc = kCodes.distance[distance];
        w.Put(c.distanceCode[dc], c.distanceLength[dc]);
        w.Put(distance - kDistanceBase[dc], kDistanceExtra[dc]);
    }
    w.Put(c.litLenCode[256], c.litLenLength[256]);
}

void WriteStored(BitWriter& w, const uint8_t* bytes, size_t size, bool last) {
    do {
        const size_t n = std::min(size, kStoredMax);
        const bool final = last && n == size;
        w.Put(final ? 1 : 0, 3);  // BFINAL, then type 00
        w.AlignToByte();
        w.Put(static_cast<uint32_t>(n) | static_cast<uint32_t>(~n & 0xFFFF) << 16, 32);
        w.AlignToByte();
        w.PutBytes(bytes, n);
        bytes += n;
        size -= n;
    } while (size > 0);
}

// One block of tokens covering `bytes`, written as whichever of dynamic codes, the fixed codes
// or stored bytes is shortest.
void WriteBlock(BitWriter& w, const uint32_t* tokens, size_t count, const uint8_t* bytes,
                size_t size, bool last) {
    uint32_t litLen[kLitLenCodes] = {};
    uint32_t distance[kDistanceCodes] = {};
    for (size_t i = 0; i < count; ++i) {
        const uint32_t t = tokens[i];
        if ((t & kMatch) == 0) {
            ++litLen[t];
        } else {
            ++litLen[257 + kCodes.length[TokenLength(t)]];
            ++distance[kCodes.distance[TokenDistance(t)]];
        }
    }
    litLen[256] = 1;
    BlockCodes dynamic;
    BuildLengths(litLen, kLitLenCodes, 15, dynamic.litLenLength);
    BuildLengths(distance, kDistanceCodes, 15, dynamic.distanceLength);
    BuildCodes(dynamic.litLenLength, kLitLenCodes, dynamic.litLenCode);
    BuildCodes(dynamic.distanceLength, kDistanceCodes, dynamic.distanceCode);
    const HeaderLengths header(dynamic);
    static const BlockCodes kFixed = FixedCodes();
    const uint64_t dynamicBits = header.Bits() + PayloadBits(dynamic, litLen, distance);
    const uint64_t fixedBits = PayloadBits(kFixed, litLen, distance);
    const uint64_t storedBits = 8 * (uint64_t{size} + 5 * ((size + kStoredMax - 1) / kStoredMax));
    if (storedBits < dynamicBits && storedBits < fixedBits) {
        WriteStored(w, bytes, size, last);
    } else if (fixedBits <= dynamicBits) {
        w.Put((last ? 1 : 0) | 1 << 1, 3);
        WriteTokens(w, kFixed, tokens, count);
    } else {
        w.Put((last ? 1 : 0) | 2 << 1, 3);
        header.Write(w);
        WriteTokens(w, dynamic, tokens, count);
    }
}

// The zlib check value: the sum of the bytes, and the sum of those running sums, both modulo
// 65521. Runs of kRun bytes are summed before the reduction, which keeps the sums in range.
constexpr uint32_t kAdlerBase = 65521;
constexpr size_t kRun = 5552;

void AdlerBytes(const uint8_t* data, size_t n, uint32_t& a, uint32_t& b) {
    for (size_t i = 0; i < n; ++i) {
        a += data[i];
        b += a;
    }
}

#ifdef __SSE2__
// Sixteen bytes at a time: b gains sixteen times the a before them, plus each byte weighted by
// the number of running sums it enters (16 for the first, 1 for the last).
void AdlerRun(const uint8_t* data, size_t n, uint32_t& a, uint32_t& b) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i lastWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    __m128i sums = zero;      // bytes, in two 64-bit lanes
    __m128i earlier = zero;   // the byte sums before each step, added up
    __m128i weighted = zero;  // weighted bytes, in four 32-bit lanes
    const size_t steps = n / 16;
    for (size_t i = 0; i < steps; ++i) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i));
        earlier = _mm_add_epi64(earlier, sums);
        sums = _mm_add_epi64(sums, _mm_sad_epu8(x, zero));
        weighted =
            _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(x, zero), firstWeights));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(x, zero), lastWeights));
    }
    uint64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sums);
    const uint64_t sum = lanes[0] + lanes[1];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), earlier);
    const uint64_t before = lanes[0] + lanes[1];
    uint32_t words[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words), weighted);
    const uint64_t weights = uint64_t{words[0]} + words[1] + words[2] + words[3];
    b = static_cast<uint32_t>((b + uint64_t{16} * steps * a + 16 * before + weights) % kAdlerBase);
    a = static_cast<uint32_t>((a + sum) % kAdlerBase);
    AdlerBytes(data + 16 * steps, n % 16, a, b);
}
#else
void AdlerRun(const uint8_t* data, size_t n, uint32_t& a, uint32_t& b) {
    AdlerBytes(data, n, a, b);
}
#endif

uint32_t Adler32(const uint8_t* data, size_t size) {
    uint32_t a = 1;
    uint32_t b = 0;
    for (size_t done = 0; done < size; done += kRun) {
        AdlerRun(data + done, std::min(kRun, size - done), a, b);
        a %= kAdlerBase;
        b %= kAdlerBase;
    }
    return b << 16 | a;
}

}  // namespace

// No block is written longer than its bytes stored, five bytes of header per 64 KiB; blocks
// end at most every kBlockTokens bytes and at every chunk.
size_t GraphicDeflater::Bound(size_t size) {
    return 2 + size + 5 * (size / kStoredMax + size / kBlockTokens + size / kChunk + 2) + 4;
}

void GraphicDeflater::Parse(const uint8_t* data, size_t begin, size_t end, uint32_t bytesPerRow) {
    const uint32_t rowDistance = bytesPerRow <= kWindow ? bytesPerRow : 0;
    // Enters `p` into the hash; returns the position + 1 that the chain continues with (0 for
    // none, also where fewer than four bytes are left).
    auto insert = [&](size_t p) -> uint32_t {
        if (p + 4 > end) return 0;
        uint32_t& slot = head_[Hash(data + p)];
        const uint32_t earlier = slot;
        prev_[p & (kWindow - 1)] = earlier;
        slot = static_cast<uint32_t>(p + 1);
        return earlier;
    };
    // The longest match at `p` among the row above, the byte before, and the hash chain.
    auto find = [&](size_t p) {
        Match best;
        const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, end - p));
        if (limit < kMinMatch) return best;
        // The byte before first: at equal length its distance costs no extra bits.
        if (p >= 1 && data[p - 1] == data[p]) {
            const uint32_t n = Extend(data + p, data + p - 1, limit);
            if (n >= kMinMatch) best = {n, 1};
        }
        if (rowDistance > 1 && p >= rowDistance && best.length < limit) {
            const uint32_t n = Extend(data + p, data + p - rowDistance, limit);
            if (n > best.length && n >= kMinMatch) best = {n, rowDistance};
        }
        uint32_t candidate = insert(p);
        if (best.length >= kNiceMatch) return best;
        for (int depth = 0; depth < kChainDepth && candidate != 0; ++depth) {
            const size_t q = candidate - 1;
            if (q >= p || p - q > kWindow) break;
            if (best.length >= limit) break;
            if (data[q + best.length] == data[p + best.length]) {
                const uint32_t n = Extend(data + p, data + q, limit);
                if (n > best.length && (n > kMinMatch || p - q <= kFarForThree)) {
                    best = {n, static_cast<uint32_t>(p - q)};
                    if (n >= kNiceMatch || n == limit) break;
                }
            }
            const uint32_t next = prev_[q & (kWindow - 1)];
            if (next >= candidate) break;  // a link overwritten by a newer position
            candidate = next;
        }
        return best;
    };
    auto literal = [&](size_t p) { tokens_.push_back(data[p]); };
    // A match starting at `start`; positions from `from` on that it covers enter the hash.
    auto match = [&](size_t start, const Match& m, size_t from) {
        tokens_.push_back(kMatch | (m.length - kMinMatch) << 16 | (m.distance - 1));
        const size_t stop = start + std::min(m.length, kInsertedInMatch);
        for (size_t q = from; q < stop; ++q) insert(q);
    };

    size_t p = begin;
    // A match at p - 1 waiting to see whether p starts a longer one. It is settled before the
    // end: it leaves at least two bytes after p.
    Match pending;
    while (p < end) {
        const Match here = find(p);
        if (pending.length != 0) {
            if (here.length > pending.length) {
                literal(p - 1);
                pending = here;
                ++p;
                continue;
            }
            match(p - 1, pending, p + 1);
            p = p - 1 + pending.length;
            pending = {};
            continue;
        }
        if (here.length >= kNiceMatch) {
            match(p, here, p + 1);
            p += here.length;
        } else if (here.length >= kMinMatch) {
            pending = here;
            ++p;
        } else {
            literal(p);
            ++p;
        }
    }
}

size_t GraphicDeflater::Compress(const uint8_t* data, size_t size, uint32_t bytesPerRow,
                                 uint8_t* out, size_t capacity) {
    // Positions are kept in 32 bits.
    if (data == nullptr || out == nullptr || capacity < 6 || size >= UINT32_MAX) return 0;
    out[0] = 0x78;  // deflate, 32 KiB window
    out[1] = 0x9C;  // default level; 0x789C is a multiple of 31
    BitWriter w(out + 2, capacity - 6);
    head_.assign(size_t{1} << kHashBits, 0);
    prev_.resize(kWindow);
    // Chunks of input, each in blocks of at most kBlockTokens tokens that know the bytes they
    // cover; empty data is one empty block.
    size_t begin = 0;
    do {
        const size_t end = std::min(size, begin + kChunk);
        tokens_.clear();
        Parse(data, begin, end, bytesPerRow);
        size_t first = 0;
        do {
            const size_t count = std::min(kBlockTokens, tokens_.size() - first);
            size_t covered = 0;
            for (size_t i = first; i < first + count; ++i)
                covered += (tokens_[i] & kMatch) ? TokenLength(tokens_[i]) : 1;
            const bool last = end == size && first + count == tokens_.size();
            WriteBlock(w, tokens_.data() + first, count, data + begin, covered, last);
            first += count;
            begin += covered;
        } while (first < tokens_.size());
    } while (begin < size);
    w.AlignToByte();
    if (w.Overflowed()) return 0;
    uint8_t* tail = w.Position();
    const uint32_t adler = Adler32(data, size);
    for (int i = 0; i < 4; ++i) tail[i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
    return static_cast<size_t>(tail + 4 - out);
}
