#pragma once
// Byte helpers shared by the picture tests.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "swf/swf_bytes.h"  // Bytes, Cat

namespace picture_test {

// A heap block of exactly these bytes (null when there are none), so that
// the sanitizer sees any read past them.
inline std::unique_ptr<uint8_t[]> Exact(const Bytes& bytes)
{
    if (bytes.empty()) return nullptr;
    auto block = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), block.get());
    return block;
}

inline Bytes ReadBytes(const std::string& path)
{
    const std::string s = tavrel_test::ReadFile(path);
    return Bytes(s.begin(), s.end());
}

inline bool WriteBytes(const std::string& path, const Bytes& bytes)
{
    return tavrel_test::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

}  // namespace picture_test
