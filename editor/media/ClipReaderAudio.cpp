// The clip reader's sound: a demuxer and decoder of its own, opened on first use, resampled and
// mixed to the output rate and layout, and buffered on the output timeline.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "editor/media/ClipReader_p.h"

namespace bw::media {

MediaStatus ClipReader::Impl::OpenAudio() {
    AOpened = true;
    if (MediaStatus s = OpenInput(Path, Audio.Fmt); !s)
        return s;
    const AVStream* st = Audio.Fmt->streams[Audio.Index];
    if (MediaStatus s = OpenDecoder(Path, st, 1, Audio.Dec); !s)
        return s;
    ATimeBase = st->time_base;
    Audio.Pkt.reset(av_packet_alloc());
    AFrame.reset(av_frame_alloc());
    if (!Audio.Pkt || !AFrame)
        return MediaStatus::Fail(Path, "out of memory");
    // The second demuxer only needs the audio packets.
    for (unsigned i = 0; i < Audio.Fmt->nb_streams; i++)
        if (int(i) != Audio.Index)
            Audio.Fmt->streams[i]->discard = AVDISCARD_ALL;
    return {};
}

MediaStatus ClipReader::Impl::SeekAudio(int64_t first) {
    // A little earlier than needed: decoders may drop the first samples after a seek.
    const double seconds = StartSeconds + double(first) / OutRate - 0.1;
    const int64_t ts = int64_t(std::floor(seconds * ATimeBase.den / ATimeBase.num));
    int err = av_seek_frame(Audio.Fmt.get(), Audio.Index, ts, AVSEEK_FLAG_BACKWARD);
    if (err < 0)
        err = av_seek_frame(Audio.Fmt.get(), Audio.Index, INT64_MIN + 1, AVSEEK_FLAG_BACKWARD);
    if (err < 0)
        err = avformat_seek_file(Audio.Fmt.get(), -1, INT64_MIN, 0, 0, 0);
    AAtStart = false;
    if (err < 0)
        return MediaStatus::Fail(Path, "cannot seek in the sound (" + InputErrorText(err, IoError(Audio.Fmt.get())) + ")");
    avcodec_flush_buffers(Audio.Dec.get());
    Swr.reset();
    ABuf.clear();
    APositioned = Audio.DemuxDone = Audio.DecodeDone = false;
    return {};
}

// Decodes one more audio frame (or drains the resampler at the end) onto the end of ABuf.
MediaStatus ClipReader::Impl::DecodeAudioChunk() {
    AVFrame* f = AFrame.get();
    bool got = false;
    if (MediaStatus s = DecodeNext(Audio, f, Path, "sound", got); !s)
        return s;
    if (!got) {
        if (Swr) {  // the resampler holds a few samples back; fetch them
            const size_t old = ABuf.size();
            ABuf.resize(old + size_t(OutChannels) * 256);
            uint8_t* out[1] = {reinterpret_cast<uint8_t*>(ABuf.data() + old)};
            const int n = swr_convert(Swr.get(), out, 256, nullptr, 0);
            ABuf.resize(old + size_t(OutChannels) * size_t(std::max(n, 0)));
            if (n < 256)
                Swr.reset();
        }
        return {};
    }
    const int channels = f->ch_layout.nb_channels;
    if (!Swr || f->sample_rate != SwrInRate || f->format != SwrInFormat || channels != SwrInChannels) {
        AVChannelLayout inLayout{};
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC && UnnamedLayout(channels) != 0)
            av_channel_layout_from_mask(&inLayout, UnnamedLayout(channels));
        else
            av_channel_layout_copy(&inLayout, &f->ch_layout);
        AVChannelLayout outLayout{};
        av_channel_layout_from_mask(&outLayout, OutLayout);
        SwrContext* raw = nullptr;
        int err = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, OutRate, &inLayout,
                                      AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        if (err >= 0)
            err = swr_init(raw);
        if (err < 0) {
            swr_free(&raw);
            return MediaStatus::Fail(Path, "cannot convert the sound (" + UserErrorText(err) + ")");
        }
        Swr.reset(raw);
        SwrInRate = f->sample_rate;
        SwrInFormat = f->format;
        SwrInChannels = channels;
    }
    if (!APositioned) {
        // The first chunk after a seek places the buffer on the timeline; later ones follow on.
        // pts, not best_effort_timestamp: only pts moves with the samples a decoder drops at the
        // start (Opus pre-skip).
        const int64_t pts = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
        const double seconds = pts == AV_NOPTS_VALUE ? StartSeconds : pts * av_q2d(ATimeBase);
        ABufStart = std::llround((seconds - StartSeconds) * OutRate);
        APositioned = true;
    }
    const int room = swr_get_out_samples(Swr.get(), f->nb_samples);
    const size_t old = ABuf.size();
    ABuf.resize(old + size_t(OutChannels) * size_t(std::max(room, 0)));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(ABuf.data() + old)};
    const int n = swr_convert(Swr.get(), out, room, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    ABuf.resize(old + size_t(OutChannels) * size_t(std::max(n, 0)));
    av_frame_unref(f);
    if (n < 0)
        return MediaStatus::Fail(Path, "cannot convert the sound (" + UserErrorText(n) + ")");
    return {};
}

MediaStatus ClipReader::ReadAudio(int64_t first, int64_t count, AudioBlock& audio) {
    Impl& m = *fImpl;
    const int channels = m.OutChannels;
    audio.SampleRate = m.OutRate;
    audio.Channels = channels;
    audio.Samples.assign(size_t(std::max<int64_t>(count, 0)) * size_t(channels), 0.0f);
    if (m.Audio.Index < 0 || count <= 0)
        return {};
    if (!m.AOpened) {
        if (MediaStatus s = m.OpenAudio(); !s) {
            m.Audio.Index = -1;  // read as silence from now on, but say so once
            m.Info.HasAudio = false;
            m.Info.Warning = s.Error;
            return {};
        }
    }
    const int64_t bufEnd = m.ABufStart + int64_t(m.ABuf.size()) / channels;
    // Near the start of a clip whose sound was never read, decoding begins where the demuxer stands
    // (the first chunk places itself by its time); anywhere else, a seek.
    const bool fromHere = !m.APositioned && m.AAtStart && first <= m.OutRate;
    if (!fromHere && (!m.APositioned || first < m.ABufStart || first > bufEnd + m.OutRate)) {
        if (MediaStatus s = m.SeekAudio(first); !s)
            return s;
    }
    const int64_t want = first + count;
    while (!m.Audio.DecodeDone || m.Swr) {
        if (m.APositioned && m.ABufStart + int64_t(m.ABuf.size()) / channels >= want)
            break;
        if (MediaStatus s = m.DecodeAudioChunk(); !s)
            return s;
        // Keep the buffer from growing while skipping forward.
        if (m.APositioned && m.ABufStart < first) {
            const int64_t drop = std::min<int64_t>(first - m.ABufStart, int64_t(m.ABuf.size()) / channels);
            m.ABuf.erase(m.ABuf.begin(), m.ABuf.begin() + channels * drop);
            m.ABufStart += drop;
        }
    }
    // A read error where the sound stops short of the span: what follows is lost, not silent.
    const int64_t reached = m.APositioned ? m.ABufStart + int64_t(m.ABuf.size()) / channels : first;
    if (!m.Audio.ReadError.empty() && reached < want)
        return MediaStatus::Fail(m.Path, "the sound ends early at " + TimeText(double(reached) / m.OutRate) + " (" +
                                             m.Audio.ReadError + ")");
    if (!m.APositioned)
        return {};
    const int64_t from = std::max(first, m.ABufStart);
    const int64_t to = std::min(want, m.ABufStart + int64_t(m.ABuf.size()) / channels);
    if (to > from)
        std::memcpy(audio.Samples.data() + channels * (from - first), m.ABuf.data() + channels * (from - m.ABufStart),
                    size_t(to - from) * size_t(channels) * sizeof(float));
    return {};
}

void ClipReader::SetChannelLayout(uint64_t layout) {
    Impl& m = *fImpl;
    if (layout == 0 || layout == m.OutLayout)
        return;
    m.OutLayout = layout;
    m.OutChannels = LayoutChannels(layout);
    m.AAtStart = m.AAtStart && !m.AOpened;
    m.Swr.reset();
    m.ABuf.clear();
    m.APositioned = false;  // the next read seeks and mixes afresh
}

void ClipReader::SetSampleRate(int rate) {
    Impl& m = *fImpl;
    if (rate <= 0 || rate == m.OutRate)
        return;
    m.OutRate = rate;
    m.AAtStart = m.AAtStart && !m.AOpened;
    m.Swr.reset();
    m.ABuf.clear();
    m.APositioned = false;  // the next read seeks and resamples afresh
}

}  // namespace bw::media
