#pragma once
// A reader of written movies kept apart from the product's own: it walks
// the tags of a plain or compressed file and decodes the few fields the
// export tests look at.
#include <cstdint>
#include <string>
#include <vector>

namespace show_test {

struct WalkedTag {
    int code = 0;
    int frame = 0;  // counted from 0
    std::string body;
};

struct WalkedAction {
    int code = 0;
    std::string payload;
};

struct WalkedMovie {
    bool ok = false;
    std::string signature;
    int version = 0;
    uint32_t length = 0;     // as the header says
    uint32_t fileSize = 0;   // as written, or inflated for a compressed file
    std::string body;        // everything after the first eight bytes, inflated
    int width = 0, height = 0;  // twips
    double rate = 0;
    int frameCount = 0;
    std::vector<WalkedTag> tags;

    // Tags of a code, in file order.
    std::vector<const WalkedTag*> Find(int code) const;
    // The index-th tag of a code, the last for -1. A missing tag fails the
    // test and reads as a tag of zeros, so the checks after it go on safely.
    const WalkedTag& Nth(int code, int index) const;
    // The frame of the first FrameLabel with this text; -1 when none.
    int LabelFrame(const std::string& label) const;
};

WalkedMovie WalkMovie(const std::string& path);

uint16_t U16(const std::string& bytes, size_t at);

// PlaceObject2 fields; -1 for the ones the tag leaves out.
struct WalkedPlace {
    int depth = -1, character = -1, clipDepth = -1;
    std::string name;
};
WalkedPlace ReadPlace(const std::string& body);
// The actions of a DoAction body.
std::vector<WalkedAction> ReadActions(const std::string& body);
std::vector<int> ActionCodes(const std::string& body);

}  // namespace show_test
