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
    const auto where = std::mismatch(again.begin(), again.end(), file.begin(), file.end());
    EXPECT_TRUE(again == file) << path << ": " << again.size() << " bytes written back for " << file.size()
                               << ", first difference at byte " << (where.first - again.begin());
}
