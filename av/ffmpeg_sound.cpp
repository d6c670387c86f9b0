#include "av/ffmpeg_sound.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <utility>

#include "av/adts_frames.h"
#include "av/channel_mix.h"
#include "av/file_walks.h"
#include "av/media_words.h"

namespace platform::ffmpeg_layer {

namespace {

// Each channel's place in a layout, where FFmpeg names one the mixing rule
// knows; empty otherwise.
std::vector<int> Places(const AVChannelLayout& layout)
{
    if (layout.order == AV_CHANNEL_ORDER_NATIVE) return PlacesOfMask(layout.u.mask, layout.nb_channels);
    if (layout.order != AV_CHANNEL_ORDER_CUSTOM) return {};
    std::vector<int> places;
    for (int i = 0; i < layout.nb_channels; ++i) {
        const int place = int(av_channel_layout_channel_from_index(&layout, unsigned(i)));
        if (place < 0 || place >= kPlaceCount) return {};
        places.push_back(place);
    }
    return places;
}

class SoundReader : public SampleSource {
public:
    SoundReader(std::string path, int stream, SoundInfo info, SoundTime time)
        : path_(std::move(path)),
          stream_(stream),
          info_(std::move(info)),
          end_(time.end),
          adtsRate_(time.adtsRate),
          links_(std::move(time.links)),
          edits_(std::move(time.edits))
    {
        said_.demuxers = true;
    }
    ~SoundReader() override
    {
        swr_free(&resampler_);
        av_channel_layout_uninit(&inLayout_);
    }

    const SoundInfo& Info() const override { return info_; }

    DecodeComplaints Complaints() const override
    {
        if (edits_.empty()) return complaints_;
        // Said of the media's time: placed where the first edit of media
        // plays it.
        int64_t at = 0;
        for (const SoundEdit& e : edits_) {
            if (e.start < 0) {
                at += e.length;
                continue;
            }
            DecodeComplaints placed;
            placed.Add(complaints_, at - e.start);
            return placed;
        }
        return complaints_;
    }

    bool Seek(int64_t frame) override
    {
        if (frame < 0 || !Ready()) return false;
        if (frame < position_ && !Restart()) return false;
        std::vector<int16_t> scratch(size_t(4096) * size_t(info_.channels));
        while (position_ < frame) {
            const int64_t n = Read16(scratch.data(), std::min<int64_t>(4096, frame - position_));
            if (n <= 0) return false;
        }
        return true;
    }

    int64_t Read16(int16_t* out, int64_t frames) override
    {
        if (frames < 0 || !Ready()) return -1;
        if (!edits_.empty()) return ReadEdited(out, frames);
        if (end_ > 0) frames = std::min(frames, std::max<int64_t>(end_ - position_, 0));
        const int64_t got = ReadMedia(out, frames);
        position_ += std::max<int64_t>(got, 0);
        return got;
    }

private:
    // The edit list's stretches one after another: silence, or the media
    // from where the stretch starts in it.
    int64_t ReadEdited(int16_t* out, int64_t frames)
    {
        const size_t channels = size_t(info_.channels);
        int64_t done = 0;
        while (done < frames && edit_ < edits_.size()) {
            const SoundEdit& e = edits_[edit_];
            int16_t* to = out + size_t(done) * channels;
            const int64_t want = e.length < 0 ? frames - done : std::min(frames - done, e.length - intoEdit_);
            int64_t got = 0;
            if (e.start < 0) {
                std::memset(to, 0, size_t(want) * channels * 2);
                got = want;
            } else if (want > 0) {
                const int there = intoEdit_ > 0 ? 1 : MediaTo(e.start);
                got = there > 0 ? ReadMedia(to, want) : there;
                if (got < 0 && done == 0) return -1;
                if (got < 0) break;
            }
            intoEdit_ += got;
            done += got;
            // A stretch ends at its length, or where the media does.
            if (got == 0 || (e.length >= 0 && intoEdit_ >= e.length)) {
                ++edit_;
                intoEdit_ = 0;
            }
        }
        position_ += done;
        return done;
    }

    // The media's place of the next frame handed out.
    int64_t MediaNext() const
    {
        return placed_ - owed_ - int64_t((pending_.size() - pendingAt_) / size_t(info_.channels));
    }

    // On to the media's frame at, from its start again where it has passed
    // it; a media whose first frame lies later (a codec that drops its own
    // priming) starts there. 1 there, 0 where the media ends before, -1 on
    // a fault.
    int MediaTo(int64_t at)
    {
        if (based_ && MediaNext() > at && !RestartMedia()) return -1;
        std::vector<int16_t> scratch(size_t(4096) * size_t(info_.channels));
        for (;;) {
            if (pendingAt_ == pending_.size() && owed_ == 0) {
                const int more = Decode();
                if (more <= 0) return more;
                continue;
            }
            const int64_t next = MediaNext();
            if (next >= at) return 1;
            const int64_t skipped = ReadMedia(scratch.data(), std::min<int64_t>(4096, at - next));
            if (skipped <= 0) return skipped < 0 ? -1 : 0;
        }
    }

    // Up to frames frames of the media as decoded, silence put in for what
    // did not decode: how many, -1 on a fault before any.
    int64_t ReadMedia(int16_t* out, int64_t frames)
    {
        const size_t channels = size_t(info_.channels);
        int64_t done = 0;
        bool fault = false;
        while (done < frames) {
            if (owed_ > 0) {
                const int64_t take = std::min(owed_, frames - done);
                std::memset(out + size_t(done) * channels, 0, size_t(take) * channels * 2);
                owed_ -= take;
                done += take;
                continue;
            }
            if (pendingAt_ == pending_.size()) {
                const int more = Decode();
                fault = more < 0;
                if (more <= 0) break;
                continue;
            }
            const size_t take = std::min(size_t(frames - done), (pending_.size() - pendingAt_) / channels);
            std::memcpy(out + size_t(done) * channels, pending_.data() + pendingAt_, take * channels * 2);
            pendingAt_ += take * channels;
            done += take;
        }
        return fault && done == 0 ? -1 : done;
    }

    bool Ready()
    {
        if (failed_) return false;
        if (codec_) return true;
        std::string why;
        failed_ = true;
        const WatchComplaints watch(&said_, nullptr);
        if (!links_.empty()) {
            // The first link that gives sound, each before it said.
            while (link_ < links_.size() && !links_[link_].fault.empty()) SkipLink();
            if (link_ == links_.size()) return false;
            stream_ = links_[link_].stream;
        }
        demuxer_.ownEdits = !edits_.empty();
        const bool opened = links_.empty() ? demuxer_.Open(path_, &why)
                                           : demuxer_.Open(path_, &why, nullptr, links_[link_].begin, links_[link_].end);
        if (!opened || stream_ >= int(demuxer_.format->nb_streams)) return false;
        codec_ = OpenDecoder(demuxer_.format->streams[stream_], 0, &why);
        if (!codec_) return false;
        reader_.format = demuxer_.format;
        reader_.stream = stream_;
        reader_.codec = codec_.get();
        // Packets are contiguous to their tick, and to the two milliseconds
        // frames are held to. What the demuxer said as the file opened is of
        // no place.
        const AVRational base = demuxer_.format->streams[stream_]->time_base;
        watch_ = PacketWatch(&said_, base.num > 0 && base.den > 0 ? 2 + av_rescale_q(2, AVRational{1, 1000}, base) : 0);
        reader_.watch = &watch_;
        if (adtsRate_ > 0) {
            adts_ = std::make_unique<AdtsWalker>(::fileno(demuxer_.file), demuxer_.size);
            reader_.read = [this](AVPacket* packet) { return NextAdtsFrame(packet); };
        }
        frame_.reset(av_frame_alloc());
        failed_ = !frame_ || !reader_.packet;
        return !failed_;
    }

    // Back to the first sample: the file is opened afresh, as exact as a
    // first reading wherever the container's seeking is not.
    bool Restart()
    {
        position_ = 0;
        edit_ = 0;
        intoEdit_ = 0;
        return RestartMedia();
    }

    // The media from its first sample again, where the sound read stays.
    bool RestartMedia()
    {
        codec_.reset();
        demuxer_.Close();
        reader_ = FrameReader{};
        swr_free(&resampler_);
        pending_.clear();
        pendingAt_ = 0;
        ended_ = false;
        failed_ = false;
        complaints_.Clear();
        owed_ = placed_ = 0;
        based_ = false;
        sentAtFrame_ = 0;
        widestFrame_ = 0;
        said_.dropped = 0;
        undecoded_ = false;
        adts_.reset();
        link_ = 0;
        linkStart_ = 0;
        linkEnded_ = false;
        return Ready();
    }

    // A link whose sound cannot be read: said where it would have played,
    // its length unknown.
    void SkipLink()
    {
        complaints_.Add(placed_, placed_, links_[link_].fault);
        complaints_.MarkTimeLost();
        ++link_;
    }

    // On to the next link of a chain, once the decoder gave out all of the
    // one before: its own demuxer and decoder, its time from where the one
    // before ended. What the resampler holds of the one before is its time
    // too. false when no link is left or the next cannot be read.
    bool NextLink()
    {
        if (links_.empty() || link_ + 1 >= links_.size()) return false;
        if (resampler_ && !Convert(nullptr, 0)) return false;
        swr_free(&resampler_);
        Place();
        EndLink();
        codec_.reset();
        demuxer_.Close();
        reader_ = FrameReader{};
        ++link_;
        based_ = false;
        linkStart_ = placed_;
        sentAtFrame_ = 0;
        undecoded_ = false;
        // The link before is ended whether or not the next opens.
        linkEnded_ = !Ready();
        return !linkEnded_;
    }

    // Where the link read ends, at the output rate: its last granule
    // position, which counts what the reference decoder plays; -1 where a
    // file is no chain or the link's length is not known.
    int64_t LinkEnd() const
    {
        // Past the last link (those after it gave no sound), none.
        if (link_ >= links_.size() || links_[link_].frames <= 0 || links_[link_].rate <= 0) return -1;
        return linkStart_ + av_rescale(links_[link_].frames, info_.sampleRate, links_[link_].rate);
    }

    // What FFmpeg's decoder hands out past the link's end (its Vorbis
    // decoder, up to a block of a short link's padding) is cut off, so the
    // next link starts on time.
    void CutAtLinkEnd()
    {
        const int64_t end = LinkEnd();
        if (end < 0 || placed_ <= end) return;
        const size_t channels = size_t(info_.channels);
        const int64_t held = int64_t((pending_.size() - pendingAt_) / channels);
        const int64_t over = std::min(placed_ - end, held);
        pending_.resize(pending_.size() - size_t(over) * channels);
        placed_ -= over;
        const int64_t owedOver = std::min(placed_ - end, owed_);
        if (owedOver > 0) {
            owed_ -= owedOver;
            placed_ -= owedOver;
        }
    }

    // The link's end, once its decoder gave out all: cut there, or, where
    // the decoder ended short of it by no more than a frame holds (FFmpeg's
    // Vorbis decoder drops a short link's last block), silence up to it. A
    // link whose last page is cut short lost what that page held: said, its
    // time not known.
    void EndLink()
    {
        CutAtLinkEnd();
        if (link_ < links_.size() && links_[link_].cutShort) {
            complaints_.Add(placed_, placed_, kPacketsLostWords);
            complaints_.MarkTimeLost();
            return;
        }
        const int64_t end = LinkEnd();
        if (end < 0 || placed_ >= end || end - placed_ > widestFrame_) return;
        pending_.resize(pending_.size() + size_t(end - placed_) * size_t(info_.channels), 0);
        placed_ = end;
    }

    // Samples into pending_, or silence owed before them: 1 when some came,
    // 0 at the end, -1 on a fault.
    int Decode()
    {
        pending_.clear();
        pendingAt_ = 0;
        const WatchComplaints watch(&said_, nullptr);
        while (!ended_) {
            const int before = reader_.errors;
            const FrameReader::Result r = reader_.Next(frame_.get(), false);
            // What the decoder skipped or concealed is said, not passed over.
            if (reader_.errors > before) {
                complaints_.Add(placed_, placed_, DamagedDataWords(CodecShortName(codec_->codec_id)));
                undecoded_ = true;
            }
            if (r == FrameReader::kFault) return -1;
            if (r == FrameReader::kEnd && NextLink()) {
                if (!pending_.empty()) return 1;
                continue;
            }
            if (r == FrameReader::kEnd) {
                ended_ = true;
                // What the resampler still holds.
                if (resampler_) Convert(nullptr, 0);
                Place();
                if (!linkEnded_) EndLink();
                break;
            }
            const int64_t gap = Gap(*frame_);
            const bool ok = Convert(frame_.get(), frame_->nb_samples);
            av_frame_unref(frame_.get());
            if (!ok) return -1;
            // What did not decode keeps its time as silence, so that all
            // after it plays when it should.
            if (gap > 0) {
                owed_ = gap;
                placed_ += gap;
            }
            Place();
            CutAtLinkEnd();
            if (!pending_.empty() || owed_ > 0) return 1;
        }
        // Frames lost at the end of a raw AAC stream keep their time too.
        if (pending_.empty() && adtsRate_ > 0 && placed_ < info_.frames) {
            owed_ = info_.frames - placed_;
            placed_ = info_.frames;
        }
        return pending_.empty() && owed_ == 0 ? 0 : 1;
    }

    // Counts the samples pending_ holds as placed.
    void Place() { placed_ += int64_t(pending_.size() / size_t(info_.channels)); }

    // A raw AAC stream's next frame as a packet, placed by the frames before
    // it; what the walk skipped is said here, where it lies.
    int NextAdtsFrame(AVPacket* packet)
    {
        const auto at = [&](int64_t sample) { return av_rescale(sample, info_.sampleRate, adtsRate_); };
        AdtsFrame frame;
        for (;;) {
            if (!adts_->Next(&frame)) return AVERROR_EOF;
            if (frame.skipped > 0) {
                complaints_.Add(at(frame.first), at(frame.first),
                                std::to_string(frame.skipped) + " bytes hold no AAC frame");
                complaints_.MarkTimeLost();
            }
            if (!frame.damaged) break;
            // Not decoded: the frame after it is placed after its time.
            complaints_.Add(at(frame.first), at(frame.first + frame.samples), kFrameHeaderWords);
        }
        const AVRational base = demuxer_.format->streams[stream_]->time_base;
        if (av_new_packet(packet, int(frame.length)) < 0 || !adts_->Copy(frame.at, frame.length, packet->data))
            return AVERROR(EIO);
        packet->stream_index = stream_;
        packet->pts = packet->dts = av_rescale_q(frame.first, AVRational{1, adtsRate_}, base);
        packet->duration = av_rescale_q(frame.samples, AVRational{1, adtsRate_}, base);
        packet->pos = frame.at;
        return 0;
    }

    // The silence owed before a decoded frame: how far its timestamp lies
    // after the end of the samples so far, 0 when it lies about there.
    int64_t Gap(const AVFrame& frame)
    {
        const AVStream* st = demuxer_.format->streams[stream_];
        const AVRational base = st->time_base, rate{1, info_.sampleRate};
        const int64_t span = frame.sample_rate > 0 ? av_rescale(frame.nb_samples, info_.sampleRate, frame.sample_rate) : 0;
        widestFrame_ = std::max(widestFrame_, span);
        // The packets the decoder was given for this frame and those that
        // did not decode before it: no gap may be longer than they could
        // hold, however far a timestamp jumps.
        const int64_t packets = reader_.sent - sentAtFrame_;
        sentAtFrame_ = reader_.sent;
        constexpr int64_t kFar = int64_t(1) << 60;
        const int64_t ts = frame.best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE || base.num <= 0 || base.den <= 0) return 0;
        const int64_t at = av_rescale_q(ts, base, rate);
        if (at <= -kFar || at >= kFar) return 0;
        if (!based_ && !edits_.empty()) {
            // The media's own time: its first frame at its timestamp.
            origin_ = 0;
            placed_ = at;
            based_ = true;
        }
        if (!based_) {
            // A FLAC file's frames count from its first sample, as a raw
            // AAC stream's are placed: one whose first frames are lost
            // starts later than that.
            timed_ = adtsRate_ > 0 || std::strcmp(demuxer_.format->iformat->name, "flac") == 0;
            const int64_t start = timed_ ? 0
                                  : st->start_time != AV_NOPTS_VALUE ? av_rescale_q(st->start_time, base, rate)
                                                                     : at;
            // A link's time starts where the link before it ended.
            origin_ = (start > -kFar && start < kFar ? start : at) - linkStart_;
            based_ = true;
        }
        const int64_t gap = at - origin_ - placed_;
        // What was lost since the last frame: packets the decoder was given
        // and could not decode, or packets missing before this frame's.
        const bool undecoded = std::exchange(undecoded_, false);
        const bool dropped = watch_.lostAt != AV_NOPTS_VALUE && ts >= watch_.lostAt;
        const bool told = dropped && watch_.told;
        if (dropped) watch_.lostAt = AV_NOPTS_VALUE;
        if (told) complaints_.Add(placed_, placed_, kPacketsLostWords);
        // Timestamps are exact to their tick (a millisecond in Matroska).
        const int64_t slack = std::max<int64_t>(info_.sampleRate / 500, 2 * av_rescale_q(1, base, rate) + 1);
        if (gap >= -slack && gap <= slack) return 0;
        // With nothing lost, a timestamp off by less than a packet is no hole
        // (Vorbis's move where the block size changes): the samples follow on.
        if (!timed_ && !undecoded && !dropped && gap >= -widestFrame_ && gap <= widestFrame_) return 0;
        // No gap may be longer than what was lost could hold, however far a
        // timestamp jumps: the packets given since the last frame, or, for
        // packets dropped unread, any stretch within the length the file
        // states; and none runs past that length.
        int64_t most = undecoded ? packets * widestFrame_ * 2 : 0;
        // A FLAC frame's header names its place, under a checksum, with or
        // without a stated length; a raw AAC frame's is counted.
        if ((dropped && info_.frames > 0) || timed_) most = kFar;
        most = std::min(most, info_.frames > 0 ? info_.frames - placed_ : kFar);
        // A hole is damage where anything told of damage; a time that jumps
        // in a stream that decodes whole is the file's own (a recording's
        // pause).
        const bool said = undecoded || !complaints_.Empty();
        if (gap > 0 && gap <= most) {
            if (said) complaints_.Add(placed_, placed_ + gap, {});
            return gap;
        }
        // A timestamp that jumps back, or further than what was lost: the
        // frame follows on, and those after it are placed from it. Where
        // something was lost, how much is not known.
        origin_ = at - placed_;
        if (gap > 0 && (undecoded || dropped) && said) complaints_.MarkTimeLost();
        return 0;
    }

    // The frame's samples (what the resampler still holds, for none) onto
    // pending_.
    bool Convert(const AVFrame* frame, int samples)
    {
        if (frame && !Configure(frame)) return false;
        if (!resampler_) return frame == nullptr;
        const int room = swr_get_out_samples(resampler_, samples);
        if (room < 0) return false;
        if (room == 0) return true;
        const size_t channels = size_t(info_.channels), base = pending_.size();
        pending_.resize(base + size_t(room) * channels);
        uint8_t* outPlanes[] = {reinterpret_cast<uint8_t*>(pending_.data() + base)};
        const int got = swr_convert(resampler_, outPlanes, room, frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                    samples);
        if (got < 0) return false;
        pending_.resize(base + size_t(got) * channels);
        return true;
    }

    // The resampler for the frame's layout, format and rate; a stream that
    // changes them midway is followed.
    bool Configure(const AVFrame* frame)
    {
        AVChannelLayout in{};
        if (frame->ch_layout.nb_channels <= 0 || frame->sample_rate <= 0) return false;
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, frame->ch_layout.nb_channels);
        else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0)
            return false;
        const bool same = resampler_ && av_channel_layout_compare(&in, &inLayout_) == 0 &&
                          frame->format == inFormat_ && frame->sample_rate == inRate_;
        if (same) {
            av_channel_layout_uninit(&in);
            return true;
        }
        // What the resampler holds of the part before (streams joined at
        // another rate) is its time: out before the next part starts.
        if (resampler_ && !Convert(nullptr, 0)) {
            av_channel_layout_uninit(&in);
            return false;
        }
        // As many channels as the stream's go out as they are; fewer are
        // mixed by the rule every road mixes by.
        const int from = in.nb_channels, to = info_.channels;
        AVChannelLayout out{};
        bool ok = true;
        if (from == to)
            ok = av_channel_layout_copy(&out, &in) >= 0;
        else
            av_channel_layout_default(&out, to);
        swr_free(&resampler_);
        ok = ok && swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_S16, info_.sampleRate, &in,
                                       AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr) >= 0;
        if (ok && from != to) {
            const std::vector<float> gains = MixMatrix(from, Places(frame->ch_layout), to);
            const std::vector<double> matrix(gains.begin(), gains.end());
            ok = swr_set_matrix(resampler_, matrix.data(), from) >= 0;
        }
        ok = ok && swr_init(resampler_) >= 0;
        av_channel_layout_uninit(&out);
        av_channel_layout_uninit(&inLayout_);
        inLayout_ = in;
        inFormat_ = frame->format;
        inRate_ = frame->sample_rate;
        return ok;
    }

    std::string path_;
    int stream_;
    SoundInfo info_;
    Demuxer demuxer_;
    CodecPtr codec_;
    FrameReader reader_;
    FramePtr frame_;
    SwrContext* resampler_ = nullptr;
    AVChannelLayout inLayout_{};
    int inFormat_ = -1, inRate_ = 0;
    std::vector<int16_t> pending_;
    size_t pendingAt_ = 0;
    int64_t position_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    DecodeComplaints complaints_;
    // In frames at the output rate: silence still to hand out, the samples
    // and silence placed so far, and where the stream's time starts.
    int64_t owed_ = 0, placed_ = 0, origin_ = 0;
    bool timed_ = false;  // each frame's place is known: FLAC, raw AAC
    bool based_ = false;
    int64_t sentAtFrame_ = 0;  // the decoder's packets when the last frame came
    int64_t widestFrame_ = 0;  // the most samples a frame has held
    // What the decoder and demuxer said; whether packets failed to decode
    // since the last frame; where packets went missing before it.
    struct Complaints said_;
    bool undecoded_ = false;
    PacketWatch watch_;
    int64_t end_ = 0;
    int adtsRate_ = 0;
    std::unique_ptr<AdtsWalker> adts_;
    std::vector<SoundLink> links_;
    std::vector<SoundEdit> edits_;
    size_t edit_ = 0;          // the stretch read
    int64_t intoEdit_ = 0;     // how far
    size_t link_ = 0;          // the link read
    bool linkEnded_ = false;   // its end placed, the next failing to open
    int64_t linkStart_ = 0;    // where it starts, in frames at the output rate
};

}  // namespace

int64_t StreamFrames(const AVFormatContext* format, const AVStream* st, int rate)
{
    if (rate <= 0) return 0;
    int64_t frames = 0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        frames = av_rescale_q(st->duration, st->time_base, AVRational{1, rate});
    else if (format->duration > 0)
        frames = av_rescale(format->duration, rate, AV_TIME_BASE);
    // An Ogg stream's length is its last granule position, which counts the
    // samples an Opus decoder skips first (its pre-skip): the decoder plays
    // that many fewer.
    const AVCodecParameters* par = st->codecpar;
    if (frames > 0 && std::strcmp(format->iformat->name, "ogg") == 0 && par->initial_padding > 0 && par->sample_rate > 0)
        frames = std::max<int64_t>(frames - av_rescale(par->initial_padding, rate, par->sample_rate), 0);
    return frames;
}

SoundLink ProbeLink(const std::string& path, const OggLink& found, int64_t end, const FileWindow* held)
{
    SoundLink link;
    link.begin = found.begin;
    link.end = end;
    link.cutShort = found.cutShort;
    Demuxer demuxer;
    demuxer.held = held;
    std::string why;
    if (!demuxer.Open(path, &why, nullptr, link.begin, link.end)) {
        link.fault = "a link of the chain cannot be read: " + why;
        return link;
    }
    const AVFormatContext* format = demuxer.format;
    for (unsigned k = 0; k < format->nb_streams && link.stream < 0; ++k) {
        const AVCodecParameters* par = format->streams[k]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO || !avcodec_find_decoder(par->codec_id) ||
            !SoundFormatFault(par->sample_rate, par->ch_layout.nb_channels, -1).empty())
            continue;
        link.stream = int(k);
        link.rate = par->sample_rate;
        link.frames = found.frames >= 0 && found.rate > 0 ? av_rescale(found.frames, link.rate, found.rate)
                                                          : StreamFrames(format, format->streams[k], link.rate);
    }
    if (link.stream < 0) link.fault = "a link of the chain holds no sound that can be decoded";
    return link;
}

OggChain OggChainOf(int fd, const std::string& path, int64_t size)
{
    return WalkedOnce(fd, [&] {
        OggChain chain;
        // Each link is probed as soon as the walk has found its end, from
        // the bytes the walk holds: the file is not read again for it.
        chain.found = OggLinks(fd, size, [&](const OggLink& link, int64_t end, const FileWindow& held) {
            chain.links.push_back(ProbeLink(path, link, end, &held));
        });
        return chain;
    });
}

std::vector<SoundEdit> SoundEdits(const TrackBoxes& track, int rate)
{
    std::vector<SoundEdit> edits;
    if (track.edits.empty() || track.movieTimeScale == 0 || track.timeScale == 0 || rate <= 0) return {};
    bool media = false;
    constexpr uint64_t kFar = uint64_t(1) << 40;  // past any sound's frames
    // Silence is made here, not read: a damaged list's hours of it are not.
    int64_t silence = 0;
    const int64_t mostSilence = int64_t(rate) * 3600;
    for (const TrackEdit& e : track.edits) {
        SoundEdit edit;
        if (e.duration >= kFar || e.mediaTime >= int64_t(kFar) || e.mediaTime < -1) return {};
        edit.length = std::min(av_rescale(int64_t(e.duration), rate, track.movieTimeScale), int64_t(kFar));
        if (e.mediaTime < 0 && (silence += edit.length) > mostSilence) return {};
        if (e.mediaTime >= 0) {
            edit.start = av_rescale(e.mediaTime, rate, track.timeScale);
            // No length: the rest of the media (a fragmented file's one edit).
            if (e.duration == 0) edit.length = -1;
            media = true;
        }
        if (edit.length != 0) edits.push_back(edit);
    }
    if (!media) return {};
    return edits;
}

std::unique_ptr<SampleSource> NewSoundReader(std::string path, int stream, SoundInfo info, SoundTime time)
{
    return std::make_unique<SoundReader>(std::move(path), stream, std::move(info), std::move(time));
}

}  // namespace platform::ffmpeg_layer
