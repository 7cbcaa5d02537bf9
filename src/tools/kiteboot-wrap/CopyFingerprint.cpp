#include "CopyFingerprint.h"

#include <cstring>

namespace wrap {

namespace {

// Odd, so multiplying by one is a bijection of the 64-bit words: a word that differs leaves its lane
// different after every later step, whatever follows.
constexpr std::uint64_t kLaneMultipliers[4] = {0x9e3779b97f4a7c15, 0xc2b2ae3d27d4eb4f, 0x165667b19e3779f9,
                                               0xd6e8feb86659fd93};

std::uint64_t rotateLeft(std::uint64_t value, unsigned bits) {
    return (value << bits) | (value >> (64 - bits));
}

// The word as the machine loads it: the fingerprint is compared only with one made by the same program.
std::uint64_t wordAt(const std::uint8_t* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// One lane's step: its word of the block mixed in.
std::uint64_t step(std::uint64_t lane, const std::uint8_t* word, std::uint64_t multiplier) {
    return rotateLeft((lane ^ wordAt(word)) * multiplier, 29);
}

// Spreads every bit of value over the result (the finalizer of the splitmix64 generator).
std::uint64_t mixed(std::uint64_t value) {
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9;
    value = (value ^ (value >> 27)) * 0x94d049bb133111eb;
    return value ^ (value >> 31);
}

}  // namespace

CopyFingerprint::CopyFingerprint() : lanes_{1, 2, 3, 4} {}

// The four lanes in named variables: kept in an array indexed in a loop, they went through memory and the
// fingerprint ran at a third of this speed.
void CopyFingerprint::addBlocks(const std::uint8_t* data, std::size_t blocks) {
    std::uint64_t lane0 = lanes_[0], lane1 = lanes_[1], lane2 = lanes_[2], lane3 = lanes_[3];
    for (; blocks > 0; --blocks, data += kBlockSize) {
        lane0 = step(lane0, data, kLaneMultipliers[0]);
        lane1 = step(lane1, data + 8, kLaneMultipliers[1]);
        lane2 = step(lane2, data + 16, kLaneMultipliers[2]);
        lane3 = step(lane3, data + 24, kLaneMultipliers[3]);
    }
    lanes_ = {lane0, lane1, lane2, lane3};
}

void CopyFingerprint::add(const std::uint8_t* data, std::size_t size) {
    length_ += size;
    if (partialSize_ > 0) {
        const std::size_t taken = size < kBlockSize - partialSize_ ? size : kBlockSize - partialSize_;
        std::memcpy(partial_ + partialSize_, data, taken);
        partialSize_ += taken;
        data += taken;
        size -= taken;
        if (partialSize_ < kBlockSize) return;
        addBlocks(partial_, 1);
        partialSize_ = 0;
    }
    addBlocks(data, size / kBlockSize);
    partialSize_ = size % kBlockSize;
    if (partialSize_ > 0) std::memcpy(partial_, data + size - partialSize_, partialSize_);
}

CopyFingerprint::Value CopyFingerprint::finish() const {
    CopyFingerprint last = *this;
    std::memset(last.partial_ + partialSize_, 0, kBlockSize - partialSize_);
    if (partialSize_ > 0) last.addBlocks(last.partial_, 1);
    Value value;
    for (std::size_t lane = 0; lane < 4; ++lane)
        value[lane] = mixed(last.lanes_[lane] ^ mixed(length_ + lane));
    return value;
}

}  // namespace wrap
