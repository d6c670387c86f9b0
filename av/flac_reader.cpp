#include "av/flac_reader.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>

#include "av/flac_frames.h"
#include "av/media_words.h"

namespace platform {

// libFLAC's callbacks, over the stream's bytes of the file.
struct FlacReader::Calls {
    static FlacReader* Self(void* client) { return static_cast<FlacReader*>(client); }

    static FLAC__StreamDecoderReadStatus Read(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* client)
    {
        FlacReader* self = Self(client);
        const int64_t left = self->length_ - self->at_;
        if (*bytes == 0) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        if (left <= 0) {
            *bytes = 0;
            return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        }
        // libFLAC asks for 8 KB at a time: the bytes are read in large blocks.
        const size_t got = self->bytes_->Read(self->at_, buffer, size_t(std::min<int64_t>(int64_t(*bytes), left)));
        *bytes = got;
        self->at_ += int64_t(got);
        return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }

    static FLAC__StreamDecoderSeekStatus Seek(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* client)
    {
        FlacReader* self = Self(client);
        if (offset > uint64_t(self->length_)) return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        self->at_ = int64_t(offset);
        return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
    }

    static FLAC__StreamDecoderTellStatus Tell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* client)
    {
        *offset = uint64_t(Self(client)->at_);
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    }

    static FLAC__StreamDecoderLengthStatus Length(const FLAC__StreamDecoder*, FLAC__uint64* length, void* client)
    {
        *length = uint64_t(Self(client)->length_);
        return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
    }

    static FLAC__bool Eof(const FLAC__StreamDecoder*, void* client)
    {
        return Self(client)->at_ >= Self(client)->length_;
    }

    static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* client)
    {
        // libFLAC numbers every frame by its first sample, whichever way its
        // header counts; the stream's own start (a segment of a longer one
        // goes on from the one before) is its 0.
        const FLAC__FrameHeader& h = frame->header;
        const int64_t number = h.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER ? int64_t(h.number.sample_number)
                                                                                      : -1;
        const int64_t first = number >= Self(client)->origin_ ? number - Self(client)->origin_ : -1;
        Self(client)->TakeFrame(first, int64_t(h.blocksize), int(h.channels), int(h.bits_per_sample), buffer);
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client)
    {
        FlacReader* self = Self(client);
        if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || self->gotInfo_) return;
        const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
        self->gotInfo_ = true;
        self->rate_ = int(info.sample_rate);
        self->channels_ = int(info.channels);
        self->bits_ = int(info.bits_per_sample);
        self->stated_ = int64_t(info.total_samples);
    }

    static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client)
    {
        FlacReader* self = Self(client);
        // The first fault since the last frame is what happened there (a
        // frame whose checksum fails, then the search for the next).
        if (!self->said_.empty()) return;
        // The words libsndfile's road gives the same faults.
        switch (status) {
            case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC:
                self->said_ = kFramesLostWords;
                break;
            case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER:
                self->said_ = kFrameHeaderWords;
                break;
            case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH:
                // libFLAC hands the frame out as silence.
                self->said_ = kFrameDamagedWords;
                self->crcFailed_ = true;
                break;
            default:
                self->said_ = DamagedDataWords("FLAC");
                break;
        }
    }
};

namespace {

FLAC__StreamDecoder* Decoder(void* decoder)
{
    return static_cast<FLAC__StreamDecoder*>(decoder);
}

}  // namespace

FlacReader::~FlacReader()
{
    if (decoder_) FLAC__stream_decoder_delete(Decoder(decoder_));
}

bool FlacReader::Open(FileWindow& bytes, int64_t length, std::string* error)
{
    bytes_ = &bytes;
    length_ = std::max<int64_t>(length, 0);
    at_ = 0;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    decoder_ = decoder;
    if (!decoder) {
        *error = "out of memory";
        return false;
    }
    FLAC__stream_decoder_set_md5_checking(decoder, false);
    if (FLAC__stream_decoder_init_stream(decoder, Calls::Read, Calls::Seek, Calls::Tell, Calls::Length, Calls::Eof,
                                         Calls::Write, Calls::Metadata, Calls::Error,
                                         this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        *error = "it cannot be read";
        return false;
    }
    // What the decoder says of the metadata is no damage of the sound.
    const bool read = FLAC__stream_decoder_process_until_end_of_metadata(decoder);
    said_.clear();
    if (!read || !gotInfo_ || rate_ <= 0 || channels_ <= 0) {
        *error = "its headers are damaged or cut short";
        return false;
    }
    frames_ = stated_;
    origin_ = FlacFirstSample(bytes, 0, length_);
    return true;
}

void FlacReader::TakeFrame(int64_t first, int64_t block, int frameChannels, int frameBits,
                           const int32_t* const* samples)
{
    const size_t channels = size_t(channels_);
    // A frame that starts past the samples placed: those between were lost,
    // and keep their time as silence, up to the stream's length (or, where
    // none is known, ten minutes: a header may name a place hours away).
    int64_t gap = first > placed_ ? first - placed_ : 0;
    bool timeLost = first < 0;
    const int64_t room = frames_ > 0 ? std::max<int64_t>(frames_ - placed_ - block, 0) : kMostSilenceSeconds * rate_;
    if (gap > room) {
        gap = room;
        timeLost = true;
    }
    const int64_t from = placed_;
    owed_ += gap;
    placed_ += gap;
    // What is already placed (a frame read twice) is not placed again.
    const int64_t skip = first >= 0 && first < placed_ ? std::min(block, placed_ - first) : 0;
    const bool fits = frameChannels == channels_ && frameBits >= 4 && frameBits <= 32;
    const int64_t count = block - skip;
    const size_t base = pending_.size();
    pending_.resize(base + size_t(count) * channels, 0);
    if (fits) {
        const int shift = frameBits - 16;
        for (size_t c = 0; c < channels; ++c)
            for (int64_t i = 0; i < count; ++i) {
                const int32_t v = samples[c][skip + i];
                pending_[base + size_t(i) * channels + c] = int16_t(shift >= 0 ? v >> shift : v * (1 << -shift));
            }
    }
    placed_ += count;
    const std::string words = !fits && said_.empty() ? std::string(kFrameDamagedWords) : said_;
    if (!words.empty() || gap > 0) {
        // A frame libFLAC made silence of (its checksum failed) is part of
        // the place; a lost stretch is where it lies.
        const bool silent = crcFailed_ || !fits;
        complaints_.Add(from, silent ? placed_ : from + gap, words.empty() ? kFramesLostWords : words);
        if (timeLost) complaints_.MarkTimeLost();
    }
    said_.clear();
    crcFailed_ = false;
}

bool FlacReader::DecodeNext()
{
    FLAC__StreamDecoder* decoder = Decoder(decoder_);
    while (!ended_ && pendingAt_ == pending_.size() && owed_ == 0) {
        pending_.clear();
        pendingAt_ = 0;
        if (!FLAC__stream_decoder_process_single(decoder)) {
            failed_ = true;
            ended_ = true;
            break;
        }
        const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder);
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM) ended_ = true;
    }
    // What libFLAC said after the last frame is at the end.
    if (ended_ && !said_.empty()) {
        complaints_.Add(placed_, placed_, said_);
        said_.clear();
    }
    return pendingAt_ < pending_.size() || owed_ > 0;
}

int64_t FlacReader::Read16(int16_t* out, int64_t frames)
{
    if (!decoder_ || frames < 0) return -1;
    const size_t channels = size_t(channels_);
    int64_t done = 0;
    while (done < frames) {
        if (owed_ > 0) {
            const int64_t take = std::min(owed_, frames - done);
            std::fill(out + size_t(done) * channels, out + size_t(done + take) * channels, int16_t(0));
            owed_ -= take;
            done += take;
            continue;
        }
        if (pendingAt_ < pending_.size()) {
            const size_t take = std::min(size_t(frames - done), (pending_.size() - pendingAt_) / channels);
            std::copy_n(pending_.begin() + std::ptrdiff_t(pendingAt_), take * channels, out + size_t(done) * channels);
            pendingAt_ += take * channels;
            done += int64_t(take);
            continue;
        }
        if (!DecodeNext()) break;
    }
    position_ += done;
    return done == 0 && failed_ && position_ == 0 ? -1 : done;
}

bool FlacReader::Restart()
{
    FLAC__StreamDecoder* decoder = Decoder(decoder_);
    pending_.clear();
    pendingAt_ = 0;
    owed_ = placed_ = position_ = 0;
    ended_ = failed_ = crcFailed_ = false;
    // Read again, the stream says again what it holds.
    complaints_.Clear();
    if (!FLAC__stream_decoder_reset(decoder) || !FLAC__stream_decoder_process_until_end_of_metadata(decoder))
        return false;
    said_.clear();
    return true;
}

bool FlacReader::Seek(int64_t frame)
{
    if (!decoder_ || frame < 0) return false;
    if (frame == position_) return true;
    // libFLAC finds the frame by its headers, and hands out the rest of it
    // as it does; where damage stops it, the stream is read afresh up to
    // the frame.
    if (frame > 0 && (frames_ <= 0 || frame < frames_) && !failed_) {
        pending_.clear();
        pendingAt_ = 0;
        owed_ = 0;
        placed_ = frame;
        said_.clear();
        crcFailed_ = false;
        if (FLAC__stream_decoder_seek_absolute(Decoder(decoder_), uint64_t(origin_ + frame))) {
            position_ = frame;
            ended_ = false;
            return true;
        }
    }
    if (!Restart()) return false;
    std::vector<int16_t> skipped(size_t(std::min<int64_t>(frame, 16384)) * size_t(channels_));
    while (position_ < frame)
        if (Read16(skipped.data(), std::min<int64_t>(16384, frame - position_)) <= 0) return false;
    return true;
}

}  // namespace platform
