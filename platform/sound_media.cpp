#include "platform/sound_media.h"

#include <samplerate.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/captured_stderr.h"
#include "platform/gestalt.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

// Bits and the four-character code QuickTime would report for the encoding.
void DescribeEncoding(const SF_INFO& sf, SoundInfo& info)
{
    const int sub = sf.format & SF_FORMAT_SUBMASK;
    const bool little =
        (sf.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV || (sf.format & SF_FORMAT_ENDMASK) == SF_ENDIAN_LITTLE;
    struct Encoding {
        int sub;
        int bits;
        uint32_t code;
    };
    static constexpr Encoding kEncodings[] = {
        {SF_FORMAT_PCM_S8, 8, FourCC("twos")},  {SF_FORMAT_PCM_U8, 8, FourCC("raw ")},
        {SF_FORMAT_PCM_16, 16, FourCC("twos")}, {SF_FORMAT_PCM_24, 24, FourCC("in24")},
        {SF_FORMAT_PCM_32, 32, FourCC("in32")}, {SF_FORMAT_FLOAT, 32, FourCC("fl32")},
        {SF_FORMAT_DOUBLE, 64, FourCC("fl64")}, {SF_FORMAT_ULAW, 16, FourCC("ulaw")},
        {SF_FORMAT_ALAW, 16, FourCC("alaw")},   {SF_FORMAT_MPEG_LAYER_III, 16, FourCC(".mp3")},
    };
    info.bitsPerSample = 16;
    info.dataFormat = FourCC("????");
    for (const Encoding& e : kEncodings) {
        if (e.sub != sub) continue;
        info.bitsPerSample = e.bits;
        info.dataFormat = e.code;
    }
    if (sub == SF_FORMAT_PCM_16 && little) info.dataFormat = FourCC("sowt");
    SF_FORMAT_INFO major{}, minor{};
    major.format = sf.format & SF_FORMAT_TYPEMASK;
    minor.format = sub;
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major);
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof minor);
    info.formatName = std::string(major.name ? major.name : "?") + ", " + (minor.name ? minor.name : "?");
    info.framesPlaced = (sf.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC;
}

// The bytes one channel's sample takes in a WAVE file; 0 for encodings
// that pack samples in blocks.
int StoredBytes(int sub)
{
    switch (sub) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
            return 1;
        case SF_FORMAT_PCM_16:
            return 2;
        case SF_FORMAT_PCM_24:
            return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
            return 4;
        case SF_FORMAT_DOUBLE:
            return 8;
        default:
            return 0;
    }
}

// What the open WAVE or AIFF file's own header claims of its length in frames: its
// data chunk over the size of a frame, or its COMM chunk's frame count.
// libsndfile gives the frames present instead. 0 when the file says
// nothing, or says it with the placeholder of a writer that could not go
// back (0 or 0xFFFFFFFF bytes of data).
int64_t ClaimedFrames(std::FILE* file, const SF_INFO& sf)
{
    const int type = sf.format & SF_FORMAT_TYPEMASK;
    const bool aiff = type == SF_FORMAT_AIFF;
    const int64_t frameBytes = int64_t(StoredBytes(sf.format & SF_FORMAT_SUBMASK)) * sf.channels;
    if (!aiff && ((type != SF_FORMAT_WAV && type != SF_FORMAT_WAVEX) || frameBytes <= 0)) return 0;
    unsigned char head[12];
    if (!file || ::fseeko(file, 0, SEEK_SET) != 0 || std::fread(head, 1, sizeof head, file) != sizeof head) return 0;
    const bool big = aiff || std::memcmp(head, "RIFX", 4) == 0;
    if (aiff ? std::memcmp(head, "FORM", 4) != 0 : !big && std::memcmp(head, "RIFF", 4) != 0) return 0;
    auto u32 = [big](const unsigned char* p) {
        return big ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                   : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    // Chunk headers only, a bounded number of them.
    int64_t at = 12;
    for (int chunks = 0; chunks < 1000; ++chunks) {
        unsigned char chunk[14];
        if (::fseeko(file, at, SEEK_SET) != 0 || std::fread(chunk, 1, 8, file) != 8) return 0;
        const uint32_t size = u32(chunk + 4);
        if (aiff && std::memcmp(chunk, "COMM", 4) == 0)
            return std::fread(chunk + 8, 1, 6, file) == 6 ? int64_t(u32(chunk + 10)) : 0;
        if (!aiff && std::memcmp(chunk, "data", 4) == 0)
            return size == 0 || size == 0xFFFFFFFFu ? 0 : int64_t(size) / frameBytes;
        at += 8 + int64_t(size) + (size & 1);
    }
    return 0;
}

// What libsndfile's decoders print during a call: libmpg123's lines
// ("[src/libmpg123/layer3.c:...] error: big_values too large!") reach the
// terminal otherwise. Its errors are complaints; its warnings and notes say
// no more than the file's length does.
struct DecoderSaid {
    bool complained = false;
    std::string words;  // after "error: " on the first error line
};

template <class Call>
auto Quietly(DecoderSaid* said, Call call)
{
    const CapturedStderr capture([said](const std::string& line) {
        static constexpr char kError[] = "] error: ";
        const size_t at = line.find(kError);
        if (at == std::string::npos) return;
        if (!said->complained) said->words = line.substr(at + sizeof kError - 1);
        said->complained = true;
    });
    return call();
}

// libsndfile's words for what went wrong with file, without its "Error : "
// and closing full stop, to stand among a decoder's words.
std::string LibraryWords(SNDFILE* file)
{
    std::string words = sf_strerror(file);
    for (const char* prefix : {"Error : ", "Error: "})
        if (words.rfind(prefix, 0) == 0) words.erase(0, std::strlen(prefix));
    if (!words.empty() && words.back() == '.') words.pop_back();
    return words;
}

// path opened for reading; float data beyond full scale clips instead of
// wrapping around.
SNDFILE* OpenForReading(const std::string& path, SF_INFO* sf, DecoderSaid* said)
{
    // libsndfile owns the descriptor from here, whether it opens or not.
    const int fd = OpenRegularFile(path);
    if (fd < 0) return nullptr;
    SNDFILE* file = Quietly(said, [&] { return sf_open_fd(fd, SFM_READ, sf, SF_TRUE); });
    if (file) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return file;
}

}  // namespace

bool SoundSource::Open(const std::string& path)
{
    Close();
    error_.clear();
    // Ogg goes to the movie layer, which reads it too: libsndfile's Vorbis
    // reader leaks its stream state on every damaged file it refuses. The
    // file stays open for the length its header claims.
    std::string why;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> head(OpenRegularStream(path, &why), std::fclose);
    if (!head) {
        error_ = why;
        return false;
    }
    char magic[4] = {};
    if (head && std::fread(magic, 1, 4, head.get()) == 4 && std::memcmp(magic, "OggS", 4) == 0) {
        error_ = "an Ogg file: read as a movie";
        return false;
    }
    SF_INFO sf{};
    DecoderSaid said;
    SNDFILE* file = OpenForReading(path, &sf, &said);
    if (!file) {
        error_ = sf_strerror(nullptr);
        return false;
    }
    if (sf.samplerate <= 0 || sf.channels <= 0 || sf.frames < 0) {
        Quietly(&said, [&] { return sf_close(file); });
        error_ = "no sound in the file";
        return false;
    }
    file_ = file;
    path_ = path;
    info_ = SoundInfo{};
    info_.sampleRate = sf.samplerate;
    info_.channels = sf.channels;
    info_.frames = sf.frames;
    const int64_t claimed = ClaimedFrames(head.get(), sf);
    info_.claimedFrames = claimed > sf.frames ? claimed : 0;
    DescribeEncoding(sf, info_);
    // The decoder reads ahead as the file opens: what it met is of the start.
    if (said.complained) complaints_.Add(0, 0, said.words);
    return true;
}

void SoundSource::Close()
{
    DecoderSaid said;
    if (file_) Quietly(&said, [&] { return sf_close(static_cast<SNDFILE*>(file_)); });
    file_ = nullptr;
    path_.clear();
    info_ = SoundInfo{};
    position_ = 0;
    stopped_ = false;
    stopWords_.clear();
    complaints_.Clear();
}

bool SoundSource::Seek(int64_t frame)
{
    if (!file_) return false;
    // A decoder that gave up seeks no more (libFLAC once it lost sync): the
    // file is read afresh.
    if (stopped_ && !Reopen()) return false;
    DecoderSaid said;
    const sf_count_t at = Quietly(&said, [&] { return sf_seek(static_cast<SNDFILE*>(file_), frame, SEEK_SET); });
    if (said.complained) complaints_.Add(frame, frame, said.words);
    if (at != frame) return false;
    position_ = frame;
    stopped_ = false;
    stopWords_.clear();
    return true;
}

bool SoundSource::Reopen()
{
    // What the decoder says of the start was said when the file first opened.
    SF_INFO sf{};
    DecoderSaid said;
    SNDFILE* again = OpenForReading(path_, &sf, &said);
    const bool same =
        again && sf.samplerate == info_.sampleRate && sf.channels == info_.channels && sf.frames == info_.frames;
    if (again) Quietly(&said, [&] { return sf_close(same ? static_cast<SNDFILE*>(file_) : again); });
    if (!same) return false;
    file_ = again;
    position_ = 0;
    stopped_ = false;
    stopWords_.clear();
    return true;
}

int64_t SoundSource::Read16(int16_t* out, int64_t frames)
{
    if (!file_ || frames < 0 || stopped_) return -1;
    auto* file = static_cast<SNDFILE*>(file_);
    DecoderSaid said;
    const sf_count_t got = Quietly(&said, [&] { return sf_readf_short(file, out, frames); });
    const bool failed = sf_error(file) != SF_ERR_NO_ERROR;
    if (said.complained || (failed && got == frames))
        complaints_.Add(position_, position_ + std::max<int64_t>(got, 0), said.complained ? said.words : LibraryWords(file));
    position_ += std::max<int64_t>(got, 0);
    // A decoder that gives up midway (libFLAC losing sync) has still
    // handed out the frames before the fault: they are kept.
    if (got < frames && failed) {
        stopped_ = true;
        stopWords_ = said.complained ? said.words : LibraryWords(file);
        return got > 0 ? got : -1;
    }
    return got;
}

ConvertedReader::~ConvertedReader()
{
    if (resampler_) src_delete(static_cast<SRC_STATE*>(resampler_));
}

bool ConvertedReader::Restart(SampleSource& source, int rate, int channels)
{
    if (resampler_) src_delete(static_cast<SRC_STATE*>(resampler_));
    resampler_ = nullptr;
    source_ = &source;
    rate_ = rate;
    channels_ = channels;
    in_.clear();
    inAt_ = 0;
    inputEnded_ = outputEnded_ = false;
    outPosition_ = -1;
    silent_ = true;
    readAny_ = false;
    const SoundInfo& info = source.Info();
    if (info.channels <= 0 || info.sampleRate <= 0 || rate <= 0 || channels <= 0 || !source.Seek(0)) return false;
    if (rate != info.sampleRate) {
        int error = 0;
        resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error);
        if (!resampler_) return false;
    }
    outPosition_ = 0;
    return true;
}

bool ConvertedReader::Fill(int64_t frames)
{
    const int in = source_->Info().channels;
    std::vector<int16_t> raw(size_t(frames) * size_t(in));
    const int64_t got = source_->Read16(raw.data(), frames);
    // A decoder that gives up after some sound ends the sound there.
    if (got < 0 && !readAny_) return false;
    if (got <= 0) {
        inputEnded_ = true;
        return true;
    }
    readAny_ = true;
    in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(inAt_));
    inAt_ = 0;
    const size_t base = in_.size();
    in_.resize(base + size_t(got) * size_t(channels_));
    for (int64_t f = 0; f < got; ++f) {
        const int16_t* frame = &raw[size_t(f * in)];
        for (int c = 0; c < channels_; ++c) {
            float v = 0;
            if (channels_ == 1 && in > 1) {
                for (int k = 0; k < in; ++k) v += frame[k];
                v /= float(in);
            } else {
                v = frame[c % in];
            }
            silent_ = silent_ && v == 0;
            in_[base + size_t(f * channels_ + c)] = v / 32768.0f;
        }
    }
    return true;
}

bool ConvertedReader::Produce(int64_t frames, std::vector<float>* out)
{
    constexpr int64_t kBlockFrames = 16384;
    const size_t ch = size_t(channels_);
    int64_t produced = 0;
    while (produced < frames && !outputEnded_) {
        const size_t held = (in_.size() - inAt_) / ch;
        if (!resampler_) {
            if (held == 0) {
                if (inputEnded_) break;
                if (!Fill(std::min(kBlockFrames, frames - produced))) return false;
                continue;
            }
            const size_t take = size_t(std::min<int64_t>(frames - produced, int64_t(held)));
            out->insert(out->end(), in_.begin() + std::ptrdiff_t(inAt_), in_.begin() + std::ptrdiff_t(inAt_ + take * ch));
            inAt_ += take * ch;
            produced += int64_t(take);
            continue;
        }
        if (held == 0 && !inputEnded_) {
            if (!Fill(kBlockFrames)) return false;
            continue;
        }
        const int64_t want = std::min(kBlockFrames, frames - produced);
        const size_t base = out->size();
        out->resize(base + size_t(want) * ch);
        SRC_DATA data{};
        data.data_in = in_.data() + inAt_;
        data.input_frames = long(held);
        data.data_out = out->data() + base;
        data.output_frames = long(want);
        data.end_of_input = inputEnded_ ? 1 : 0;
        data.src_ratio = double(rate_) / source_->Info().sampleRate;
        if (src_process(static_cast<SRC_STATE*>(resampler_), &data) != 0) return false;
        inAt_ += size_t(data.input_frames_used) * ch;
        out->resize(base + size_t(data.output_frames_gen) * ch);
        produced += data.output_frames_gen;
        if (data.output_frames_gen == 0 && data.input_frames_used == 0) {
            if (inputEnded_)
                outputEnded_ = true;
            else if (!Fill(kBlockFrames))
                return false;
        }
    }
    outPosition_ += produced;
    return true;
}

bool ConvertedReader::Read(SampleSource& source, int rate, int channels, int64_t first, int64_t frames,
                           std::vector<float>* out)
{
    out->clear();
    if (first < 0 || frames < 0) return false;
    const bool onward = source_ == &source && rate == rate_ && channels == channels_ && first == outPosition_;
    if (!onward) {
        if (!Restart(source, rate, channels)) return false;
        // Unresampled frames are the source's own: straight there.
        if (!resampler_ && first > 0) {
            if (!source.Seek(first)) return false;
            outPosition_ = first;
        }
    }
    // A resampled sound is read from its start, so that every piece comes
    // out of the one resampler as the whole sound does.
    std::vector<float> skipped;
    while (outPosition_ < first && !outputEnded_ && !(inputEnded_ && !resampler_)) {
        skipped.clear();
        const int64_t before = outPosition_;
        if (!Produce(std::min<int64_t>(first - outPosition_, 65536), &skipped)) return false;
        if (outPosition_ == before) break;
    }
    return outPosition_ == first && Produce(frames, out);
}

bool ExportAiff16(SampleSource& source, const std::string& path, int64_t maxFrames,
                  const std::function<bool(double)>& progress, std::string* error, SoundExportResult* result)
{
    auto fail = [&](const std::string& why, SNDFILE* out) {
        if (out) sf_close(out);
        ::unlink(path.c_str());
        if (error) *error = why;
        return false;
    };
    if (result) *result = SoundExportResult{};
    const SoundInfo& info = source.Info();
    if (info.channels <= 0 || info.sampleRate <= 0) return fail("no sound is open", nullptr);
    // The whole sound is what the source delivers: a decoded track may run
    // a little past the length its container gives.
    const int64_t total = maxFrames >= 0 ? maxFrames : INT64_MAX;
    const int64_t claim = std::max(info.frames, info.claimedFrames);
    const int64_t claimed = maxFrames >= 0 ? std::min(maxFrames, claim) : claim;
    const double expected = double(std::max<int64_t>(claimed, 1));
    if (!source.Seek(0)) return fail("cannot rewind the sound", nullptr);

    SF_INFO outInfo{};
    outInfo.samplerate = info.sampleRate;
    outInfo.channels = info.channels;
    outInfo.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;  // plain AIFF: big-endian "twos" samples
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &outInfo);
    if (!out) return fail(sf_strerror(nullptr), nullptr);

    constexpr int64_t kBlockFrames = 16384;
    std::vector<int16_t> block(size_t(kBlockFrames) * size_t(info.channels));
    int64_t done = 0;
    double reported = 0;
    bool silent = true, stopped = false;
    while (done < total) {
        const int64_t want = std::min(kBlockFrames, total - done);
        const int64_t got = source.Read16(block.data(), want);
        // A read error after some sound keeps what came before it.
        if (got < 0 && done == 0) return fail("its sound cannot be decoded", out);
        stopped = got < 0;
        if (got <= 0) break;  // the source was shorter than announced
        silent = silent && std::all_of(block.begin(), block.begin() + got * info.channels, [](int16_t v) { return v == 0; });
        if (sf_writef_short(out, block.data(), got) != got) return fail(sf_strerror(out), out);
        done += got;
        reported = std::min(double(done) / expected, 1.0);
        if (progress && !progress(reported)) return fail("cancelled", out);
    }
    std::string damage = source.Damage();
    if (NothingDecodes(source, done, silent))
        return fail(damage.empty() ? "nothing of its sound decodes" : "nothing of its sound decodes (" + damage + ")",
                    out);
    // Beside what the decoder said: an end well before the claimed length,
    // or a decoder that gave up.
    const int64_t shortBy = claimed - done;
    auto seconds = [&](int64_t frames) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", double(frames) / info.sampleRate);
        return std::string(text);
    };
    std::string end;
    if (shortBy > info.sampleRate / 10 && shortBy > claimed / 50)
        end = "it ends after " + seconds(done) + " of the " + seconds(claimed) + " it claims";
    else if (stopped)
        end = "decoding stops after " + seconds(done);
    if (!end.empty()) damage = damage.empty() ? end : damage + "; " + end;
    // A source shorter than announced still ends at 100%.
    if (progress && reported < 1.0 && !progress(1.0)) return fail("cancelled", out);
    if (sf_close(out) != 0) return fail("cannot finish the AIFF file", nullptr);
    if (result) {
        result->frames = done;
        result->damage = damage;
    }
    return true;
}

}  // namespace platform
