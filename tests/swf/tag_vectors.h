#pragma once
// Both directions of one (tag, bytes) vector: writing the tag gives the
// bytes, parsing the bytes (header included) gives a tag equal to it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "swf_bytes.h"

template <class Tag>
void ExpectTagBothWays(Tag& tag, const Bytes& bytes, const std::function<bool(const Tag&, const Tag&)>& same,
                       const std::string& what)
{
    CSwfStream s(4);
    const int written = tag.Write(s);
    EXPECT_EQ(s.GetBuffer(), bytes) << what;
    EXPECT_EQ(written, static_cast<int>(bytes.size())) << what;
    EXPECT_FALSE(s.Failed()) << what;
    Tag parsed;
    const int consumed = ParseTag(parsed, bytes);
    EXPECT_GT(consumed, 0) << what;
    EXPECT_TRUE(same(tag, parsed)) << what;
}

inline Bytes Filled(size_t n, uint8_t first = 0)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(first + i);
    return b;
}
