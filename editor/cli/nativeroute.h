// The render's native route: clips' pictures stay in their own pixel format from the decoders to
// the encoder, and transition frames are composed by the engine in the decoded pictures. The
// transition's bundle still runs every transition frame, on pictures of a few pixels: its sound
// levels and fades are the render's, and its settings lay out the tile field the engine composes.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/cli/render.h"
#include "editor/media/Picture.h"
#include "host/PluginDefines.h"

namespace bw {

// Why the native route cannot render this job into pictures of `format`; empty when it can.
std::string NativeRefusal(const std::vector<Input*>& inputs, const RenderOptions& options, size_t transitions,
                          const media::PictureFormat& format);

// Where each bundle's random cursor stands: every layout continues where the bundle's last one
// stopped, so the engine's fields match the bundle's across transitions and attempts.
using RandomCursors = std::map<const PluginHost*, int16_t>;

class NativeRoute {
public:
    NativeRoute(const media::PictureFormat& format, RandomCursors& cursors);
    ~NativeRoute();

    // Frame `index` of a clip outside the transitions, in the output's format, and its audio.
    media::MediaStatus ClipFrame(ConformedClip& clip, int32_t index, media::PicturePtr& picture,
                                 media::AudioBlock& audio);

    // Starts a transition: `run` as the bundle route would begin it, turned into the run the
    // bundle renders here (pictures of a few pixels whose reads keep the clips' own), and the
    // tile field laid out from `settings` as `host` lays it out.
    RunRequest Begin(const PluginHost& host, const PluginDataRec& settings, const RunRequest& run);
    // Transition frame k, composed from the pictures the bundle's frame k read.
    media::MediaStatus Compose(int32_t k, media::PicturePtr& out);

    int64_t Converted() const { return conformer_.Converted(); }  // clip pictures scaled or converted
    GWorldPtr BundleFrame() const { return bundleFrame_; }        // the small frame the bundle draws

private:
    class PictureClip;
    media::PictureFormat format_;
    media::PictureConformer conformer_;
    RandomCursors& cursors_;
    std::unique_ptr<PictureClip> from_, to_;
    PluginDataRec config_{};
    int32_t frames_ = 0;
    GWorldPtr bundleFrame_ = nullptr;
};

}  // namespace bw
