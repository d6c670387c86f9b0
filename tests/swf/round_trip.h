#pragma once
// The round trip every movie our writer makes must survive: read by the
// reader, every tag written back after the header gives the file's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/path.h"
#include "reader_movies.h"
#include "support/test_support.h"

inline void ExpectReadsBackToSameBytes(const std::string& path)
{
    const std::string text = tavrel_test::ReadFile(path);
    const Bytes file(text.begin(), text.end());
    OwnedReader reader;
    ASSERT_TRUE(reader.Parse(CPath(path), true, 0, true)) << path;
    const Bytes again = RewriteMovie(reader, reader.GetTags(nullptr));
    // The first difference after the file length, which differs whenever the lengths do.
    const size_t skip = std::min<size_t>(8, std::min(again.size(), file.size()));
    const auto where = std::mismatch(again.begin() + long(skip), again.end(), file.begin() + long(skip), file.end());
    EXPECT_TRUE(again == file) << path << ": " << again.size() << " bytes written back for " << file.size()
                               << ", first difference at byte " << (where.first - again.begin());
}
