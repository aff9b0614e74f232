#pragma once
// FFmpeg's encoder functions, loaded when a recording first asks for an FFmpeg encoder: a start
// that records nothing with them (and every --render) does not load the codec libraries and the
// seventy-odd libraries they pull in.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace sky {

struct TFfmpegApi {
#define SKYVANE_FFMPEG_FUNCTION(name) decltype(&::name) name = nullptr;
#define SKYVANE_FFMPEG_FUNCTIONS(F)                                                                                    \
    F(av_log_set_level)                                                                                                \
    F(av_get_pix_fmt)                                                                                                  \
    F(av_opt_set_int)                                                                                                  \
    F(av_dict_parse_string)                                                                                            \
    F(av_dict_free)                                                                                                    \
    F(av_frame_alloc)                                                                                                  \
    F(av_frame_free)                                                                                                   \
    F(av_frame_get_buffer)                                                                                             \
    F(av_frame_make_writable)                                                                                          \
    F(avcodec_find_encoder_by_name)                                                                                    \
    F(avcodec_alloc_context3)                                                                                          \
    F(avcodec_free_context)                                                                                            \
    F(avcodec_open2)                                                                                                   \
    F(avcodec_send_frame)                                                                                              \
    F(avcodec_receive_packet)                                                                                          \
    F(av_packet_alloc)                                                                                                 \
    F(av_packet_free)                                                                                                  \
    F(av_packet_unref)                                                                                                 \
    F(sws_getContext)                                                                                                  \
    F(sws_scale)                                                                                                       \
    F(sws_freeContext)
    SKYVANE_FFMPEG_FUNCTIONS(SKYVANE_FFMPEG_FUNCTION)
#undef SKYVANE_FFMPEG_FUNCTION
};

// The functions, loaded on the first call (from any thread); null when a library or one of the
// functions cannot be found, and then no FFmpeg encoder opens.
const TFfmpegApi *Ffmpeg();

} // namespace sky
