#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/mp3_frames.h"

namespace {

// An MPEG audio header word: version bits, bit-rate index, rate index, padding.
uint32_t Header(int version, int bitIndex, int rateIndex, int padding)
{
    return 0xFFE00000u | uint32_t(version) << 19 | 1u << 17 | 1u << 16 | uint32_t(bitIndex) << 12 |
           uint32_t(rateIndex) << 10 | uint32_t(padding) << 9;
}

void PutFrame(std::vector<uint8_t>& out, uint32_t header, uint8_t fill)
{
    CMp3Frame f;
    f.header = header;
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(header >> s));
    out.insert(out.end(), size_t(f.GetFrameLength()), fill);
}

TEST(Mp3Frame, HeaderFieldsAndFrameLengths)
{
    struct Case {
        uint32_t header;
        bool isHeader;
        int bitRate, sampleRate, length;
    } cases[] = {
        {Header(3, 9, 0, 0), true, 128000, 44100, 413},                  // MPEG-1 128 kbit/s 44100 Hz
        {Header(3, 9, 0, 1), true, 128000, 44100, 414},                  // padded
        {Header(0, 4, 0, 0), true, 32000, 11025, 204},                   // MPEG-2.5 32 kbit/s 11025 Hz
        {Header(2, 8, 0, 0), true, 64000, 22050, 204},                   // MPEG-2 64 kbit/s 22050 Hz
        {Header(3, 14, 2, 0), true, 320000, 32000, 1436},                // MPEG-1 top rate
        {Header(1, 9, 0, 0), false, 0, 0, -1},                           // reserved version: no rate
        {Header(3, 0, 0, 0), false, 0, 44100, 0},                        // free format
        {Header(3, 15, 0, 0), false, 0, 44100, 0},                       // bad bit rate
        {Header(3, 9, 3, 0), false, 128000, 0, -1},                      // bad sample rate
        {Header(3, 9, 0, 0) & ~0x00200000u, false, 128000, 44100, 413},  // sync broken
    };
    for (const Case& c : cases) {
        CMp3Frame f;
        f.header = c.header;
        EXPECT_EQ(CMp3Frame::IsFrameHeader(c.header), c.isHeader) << std::hex << c.header;
        if (c.length == 0) continue;
        EXPECT_EQ(f.GetBitRate(), c.bitRate) << std::hex << c.header;
        EXPECT_EQ(f.GetSampleRate(), c.sampleRate) << std::hex << c.header;
        EXPECT_EQ(f.GetFrameLength(), c.length) << std::hex << c.header;
    }
}

TEST(Mp3FrameList, SplitSkipsJunkAndStopsAtACutFrame)
{
    std::vector<uint8_t> bytes(10, 0x11);  // junk before the first frame
    PutFrame(bytes, Header(3, 9, 0, 0), 0xA1);
    PutFrame(bytes, Header(3, 9, 0, 1), 0xA2);
    std::vector<uint8_t> cut = bytes;
    PutFrame(cut, Header(3, 9, 0, 0), 0xA3);
    cut.resize(cut.size() - 1);  // the third frame lacks its last byte

    CMp3FrameList list;
    EXPECT_TRUE(list.Split(cut.data(), cut.size()));
    ASSERT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(list.GetAt(0)->length, 413);
    EXPECT_EQ(list.GetAt(0)->data.front(), 0xA1);
    EXPECT_EQ(list.GetAt(1)->length, 414);
    EXPECT_EQ(list.GetAt(1)->data.back(), 0xA2);

    // Packed, the frames Split cuts lie joined at the start: the junk before
    // and between them and the cut frame are gone.
    std::vector<uint8_t> gapped = cut;
    gapped.insert(gapped.begin() + 10 + 417, 5, 0x22);
    const std::vector<uint8_t> joined(bytes.begin() + 10, bytes.end());
    ASSERT_EQ(PackFrames(gapped.data(), gapped.size()), joined.size());
    EXPECT_EQ(std::vector<uint8_t>(gapped.begin(), gapped.begin() + std::ptrdiff_t(joined.size())), joined);
    EXPECT_EQ(PackFrames(bytes.data(), 10), 0u);

    size_t offset = 99;
    CMp3Frame f;
    ASSERT_TRUE(f.FindNext(bytes.data(), bytes.size(), &offset));
    EXPECT_EQ(offset, 10u);

    // A frame cut short is not taken, however few bytes are left.
    std::vector<uint8_t> tail(bytes.begin() + 10, bytes.begin() + 41);
    EXPECT_FALSE(f.FindNext(tail.data(), tail.size(), nullptr));
    // At 8 kbit/s and 22050 Hz a frame is 26 bytes: the last one, which ends
    // the encoder's data, is taken whole, and not one byte short.
    std::vector<uint8_t> small;
    PutFrame(small, Header(2, 1, 0, 0), 0xB1);
    PutFrame(small, Header(2, 1, 0, 0), 0xB2);
    list.Clear();
    list.Split(small.data(), small.size());
    ASSERT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(list.GetAt(1)->data.back(), 0xB2);
    EXPECT_EQ(PackFrames(small.data(), small.size()), 52u);
    EXPECT_FALSE(f.FindNext(small.data() + 26, 25, nullptr));
    list.Clear();
    EXPECT_TRUE(list.Split(nullptr, 100));
    EXPECT_EQ(list.GetCount(), 0u);
}

struct FakeMenu {
    std::vector<std::string> items{"stale"};
    void RemoveAllItems() { items.clear(); }
    void AddItems(const char* text) { items.push_back(text); }
};

TEST(Mp3QualityList, FindsPresetsAndFillsTheMenu)
{
    CMp3QualityList list;
    list.Fill();
    list.Fill();  // refilled, not appended
    ASSERT_EQ(list.GetCount(), 9u);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(list.GetAt(9), nullptr);
    const struct {
        int rate, bitRate;
        bool stereo;
        int index;
    } finds[] = {{44100, 160, false, 5}, {11025, 96, false, 3},  {22050, 64, false, 0},
                 {44100, 320, true, 6},  {44100, 320, false, 0}, {11025, 32, false, 8}};
    for (const auto& f : finds)
        EXPECT_EQ(list.Find(f.rate, f.bitRate, f.stereo), f.index) << f.rate << " " << f.bitRate;
    FakeMenu menu;
    list.FillMenu(menu);
    ASSERT_EQ(menu.items.size(), 9u);
    EXPECT_EQ(menu.items[0], "Custom");
    EXPECT_EQ(menu.items[8], list.GetAt(8)->name);
}

}  // namespace
