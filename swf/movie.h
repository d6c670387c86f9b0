#pragma once
// The movie being written: the header, then every tag straight to the file
// as it is added; closing patches the length and the frame count.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/path.h"
#include "foundation/signal.h"
#include "swf/object.h"
#include "swf/records.h"

class CSwfHeader : public CSwfObject {
public:
    void Set(int xmin, int ymin, int xmax, int ymax, float rate, uint8_t version);
    void SetFrameRate(float rate) { frameRate = rate; }
    void SetFrameCount(uint16_t count) { frameCount = count; }
    void SetFileLength(uint32_t length) { fileLength = length; }
    int GetWidth() const { return frameRect.xmax - frameRect.xmin; }
    int GetHeight() const { return frameRect.ymax - frameRect.ymin; }

    // Returns 1, not a byte count.
    int Write(CSwfStream& stream) override;
    int Parse(CSwfReader& reader) override { return Parse(reader, true); }
    // Without readSignature the signature and version were consumed already.
    // Returns the bytes consumed, 0 when the signature is not "FWS".
    int Parse(CSwfReader& reader, bool readSignature);

    float frameRate = 12.0f;
    uint16_t frameCount = 0;
    uint32_t fileLength = 0;
    CSwfRect frameRect;
    uint8_t version = 4;
};

class CTypedOutputFile;

class CSwfMovie {
public:
    struct RecordedValue {
        uint16_t value;
        uint32_t offset;
    };

    CSwfMovie();
    ~CSwfMovie();
    CSwfMovie(const CSwfMovie&) = delete;
    CSwfMovie& operator=(const CSwfMovie&) = delete;

    // Width and height in twips.
    void SetHeader(int width, int height, float rate, uint8_t version);
    void SetHeaderFrom(const CSwfHeader& header);
    void GetFrameSize(int& width, int& height) const;
    int GetWidth() const { return frameRect.xmax - frameRect.xmin; }
    int GetHeight() const { return frameRect.ymax - frameRect.ymin; }
    uint16_t GetFrameCount() const { return frameCount; }
    float GetFrameRate() const { return frameRate; }
    uint8_t GetVersion() const { return version; }
    static bool FitsMaxFrame(int width, int height);

    // Creates the file as a SWF movie (an existing one only with replace)
    // and writes the provisional header.
    bool Open(const CPath& path, bool replace);
    // Writes the tag and returns the bytes written; 0 for a null or dropped
    // tag, or one that cannot be written. Deletes the tag unless keep.
    int AddTag(CSwfTag* tag, bool keep = false);
    void SetRecordPlacements(bool on) { recordPlacements = on; }
    void SetRecordClipDepths(bool on) { recordClipDepths = on; }
    // Renumbers the recorded depths to base+1.. in the order of their values.
    bool PatchRecorded(uint16_t base);
    // Patches length and frame count, closes and puts the movie in place;
    // returns the file length, or 0 when any write, seek or the close
    // failed: the file that stood there then stays as it was.
    uint32_t Close();
    // Closes without putting the movie in place.
    void Discard();

    // A failure (write error, value out of range) stays until the movie is
    // destroyed; Close then reports 0. Writers that find the movie cannot be
    // completed (ids run out) fail it too.
    bool Failed() const { return !error.empty(); }
    void Fail(const std::string& why);
    const std::string& GetError() const { return error; }
    // The system's reason (an errno value) when the failure was a write's
    // to the file; 0 otherwise.
    int GetSystemError() const { return systemError; }
    const std::vector<RecordedValue>& GetRecords() const { return records; }

    // Emitted with the 0-based frame index before each ShowFrame is written.
    Signal frameSignal;

private:
    bool WriteAt(uint32_t offset, const uint8_t* bytes, size_t size);
    bool WriteBytes(const uint8_t* bytes, size_t size);
    uint32_t Tell();
    void CloseFile();
    // A failed write, seek or close of the file, with errno's reason.
    void FailWrite(const char* what);

    std::vector<RecordedValue> records;
    // Labels written so far: a second one of a name is dropped.
    std::unordered_set<std::string> frameLabels;
    bool recordPlacements = false;
    bool recordClipDepths = false;
    std::unique_ptr<CTypedOutputFile> output;
    std::FILE* file = nullptr;  // output's stream
    CPath path;
    CSwfRect frameRect;
    float frameRate = 0;
    uint16_t frameCount = 0;
    uint32_t headerEnd = 0;
    uint8_t version = 4;
    std::string error;
    int systemError = 0;
    // Tags are written through one stream that keeps its capacity, so a
    // large tag (a slide's bitmap) takes that memory once per movie rather
    // than once per tag.
    std::unique_ptr<CSwfStream> tagStream;
};
