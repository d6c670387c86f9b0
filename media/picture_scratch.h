#pragma once
// Buffers that keep their memory from one picture to the next. A picture on
// its way into a movie passes through blocks of megabytes (decoded, the
// scaler's first pass, the frame, the JPEG stream); taken from the system
// and handed back for every picture, their fresh pages cost more system
// time than decoding takes. An export keeps one CPictureScratch for its run,
// so each slide reuses the last one's memory: the largest slide's worth is
// held, and only while the export runs.
#include "media/image.h"
#include "media/kept_block.h"
#include "media/swf_bitmap.h"

struct CPictureScratch {
    CKeptBlock decoded;    // the picture as its decoder gives it
    CKeptBlock firstPass;  // the scaler's horizontal pass
    CImage frame;          // the frame at the display size, filtered and turned
    CSwfBitmap bitmap;     // its JPEG encoder keeps the stream's block
};
