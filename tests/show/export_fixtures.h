#pragma once
// Files the export tests compile shows from: pictures, a sound, and a
// private temporary folder.
#include <cstdint>
#include <string>

#include "support/scoped_env.h"
#include "support/test_support.h"

namespace show_test {

// A JPEG of one colour (0xRRGGBB), or of four: top-left, top-right,
// bottom-left, bottom-right.
std::string WriteColourJpeg(const tavrel_test::TempDir& dir, const std::string& name, int w, int h, uint32_t rgb);
std::string WriteQuadrantJpeg(const tavrel_test::TempDir& dir, const std::string& name, int w, int h,
                              const uint32_t (&quadrants)[4]);
// A PNG of one colour.
std::string WriteColourPng(const tavrel_test::TempDir& dir, const std::string& name, int w, int h, uint32_t rgb);
// One second of a mono 16-bit tone.
std::string WriteWave(const tavrel_test::TempDir& dir, int rate);

// Points the temporary folder (and the roots it may come from) at dir.
struct PrivateTemp {
    explicit PrivateTemp(const tavrel_test::TempDir& dir)
        : tmp("TMPDIR", dir.path().c_str()), config("XDG_CONFIG_HOME", dir.path().c_str())
    {
    }
    tavrel_test::ScopedEnv tmp, config;
};
// Files under root whose names begin as the compressed export's temporary file.
int CountTemporaries(const std::string& root);

}  // namespace show_test
