// A capture run that does not end: writes the given number of frames into a video (SER for
// a path ending in .ser, AVI or MOV otherwise), says "written N" on standard output and
// waits, the writer still open, until it is killed.

#include "imaging/ffmpeg_writer.h"
#include "imaging/ser_writer.h"
#include "imaging/video_log.h"
#include "killed_run_frames.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s VIDEO FRAMES\n", argv[0]);
        return 2;
    }
    zeta::imaging::video::setMessageSink([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    const std::string path = argv[1];
    const int frames = std::atoi(argv[2]);
    std::shared_ptr<SER> ser;
    std::shared_ptr<FFMPEG> ffmpeg;
    if (path.ends_with(".ser"))
        ser = SER::initWith(path);
    else
        ffmpeg = FFMPEG::initWith(path);
    if (!ser && !ffmpeg) return 1;
    for (int i = 0; i < frames; ++i) {
        const zeta::platform::Data frame(killed_run::rawFrame(static_cast<unsigned>(i)));
        const VideoFrameOutcome outcome = ser ? ser->add(frame) : ffmpeg->add(frame);
        if (outcome != VideoFrameOutcome::Written) return 1;
    }
    std::printf("written %d\n", frames);
    std::fflush(stdout);
    for (;;)
        ::pause();
}
