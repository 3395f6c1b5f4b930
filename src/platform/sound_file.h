#pragma once
// A sound file opened for reading through libsndfile (WAV in any encoding it reads, MP3, FLAC,
// Ogg and more), delivered as 16-bit samples block by block.
//
// Thread rules: one thread at a time.
#include "platform/mci_result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct sf_private_tag;

namespace cantrix {

class SoundFile {
public:
    SoundFile();
    ~SoundFile(); // closes the file
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    // FileNotFound when nothing is there, InvalidFile for anything that is not a regular file
    // libsndfile can decode. Never blocks on a FIFO or a device node.
    MciResult Open(const std::string& path);
    int Channels() const { return channels; }
    int SampleRate() const { return sampleRate; }
    // Reads up to `frames` frames of interleaved samples; 0 at the end of the file or on a read
    // error.
    std::size_t ReadFrames(std::int16_t* samples, std::size_t frames);
    // The next frame ReadFrames delivers.
    std::int64_t Position();
    bool Seek(std::int64_t frame);

private:
    // An open file descriptor, closed with its owner.
    class Descriptor {
    public:
        Descriptor() = default;
        ~Descriptor() { Reset(-1); }
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        void Reset(int descriptor);
        int Get() const { return value; }

    private:
        int value = -1;
    };
    struct SndfileCloser {
        void operator()(sf_private_tag* file) const;
    };

    void Close();

    // libsndfile reads through the descriptor but does not own it, so the file is released first.
    Descriptor descriptor;
    std::unique_ptr<sf_private_tag, SndfileCloser> file;
    int channels = 0;
    int sampleRate = 0;
};

} // namespace cantrix
