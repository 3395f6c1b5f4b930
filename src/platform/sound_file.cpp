#include "platform/sound_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantrix {

void SoundFile::Descriptor::Reset(int descriptor)
{
    if (value >= 0)
        ::close(value);
    value = descriptor;
}

void SoundFile::SndfileCloser::operator()(SNDFILE* sound) const
{
    sf_close(sound);
}

SoundFile::SoundFile() = default;

SoundFile::~SoundFile()
{
    Close();
}

void SoundFile::Close()
{
    file.reset();
    descriptor.Reset(-1);
    channels = 0;
    sampleRate = 0;
}

MciResult SoundFile::Open(const std::string& path)
{
    Close();
    // Non-blocking, so that a FIFO without a writer cannot hang the caller; anything but a
    // regular file is refused before libsndfile sees it.
    const int opened = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0)
        return errno == ENOENT || errno == ENOTDIR ? MciResult::FileNotFound : MciResult::InvalidFile;
    descriptor.Reset(opened);
    struct stat status;
    if (::fstat(descriptor.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        Close();
        return MciResult::InvalidFile;
    }
    SF_INFO info{};
    file.reset(sf_open_fd(descriptor.Get(), SFM_READ, &info, SF_FALSE));
    if (!file || info.channels <= 0 || info.samplerate <= 0) {
        Close();
        return MciResult::InvalidFile;
    }
    // Floating-point files may hold samples beyond full scale; clip them instead of letting the
    // conversion to 16 bits wrap around.
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    channels = info.channels;
    sampleRate = info.samplerate;
    return MciResult::NoError;
}

std::size_t SoundFile::ReadFrames(std::int16_t* samples, std::size_t frames)
{
    if (!file)
        return 0;
    const sf_count_t read = sf_readf_short(file.get(), samples, static_cast<sf_count_t>(frames));
    return read > 0 ? static_cast<std::size_t>(read) : 0;
}

std::int64_t SoundFile::Position()
{
    return file ? sf_seek(file.get(), 0, SEEK_CUR) : 0;
}

bool SoundFile::Seek(std::int64_t frame)
{
    return file && sf_seek(file.get(), frame, SEEK_SET) == frame;
}

} // namespace cantrix
