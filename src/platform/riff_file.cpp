#include "platform/riff_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace cantrix {

namespace {

// Large enough that a conversion's 2048-byte reads and its small writes reach the disk only once
// every 32 blocks or more.
constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::int64_t kHeaderSize = 8;   // ckid and cksize
constexpr std::int64_t kFormTypeSize = 4; // the fccType that opens a "RIFF" or "LIST" chunk
// Chunk sizes and data offsets are 32-bit fields, so nothing beyond this can be described.
constexpr std::int64_t kMaxField = std::numeric_limits<std::uint32_t>::max();

std::uint32_t LoadLe32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void StoreLe32(unsigned char* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// A chunk occupies its size plus one pad byte when the size is odd (RIFF word alignment).
std::int64_t PaddedSize(std::uint32_t size)
{
    return static_cast<std::int64_t>(size) + (size & 1u);
}

bool HasFormType(FourCC ckid)
{
    return ckid == kFourCCRiff || ckid == kFourCCList;
}

// `typed`: the chunk is a "RIFF" or "LIST" whose form type was read. One too small to hold its form
// type has no data to stand on, so it never matches.
bool Matches(DescendFlag flag, const MMCKINFO& wanted, FourCC ckid, FourCC fccType, bool typed)
{
    if (HasFormType(ckid) && !typed)
        return false;
    switch (flag) {
    case DescendFlag::Any:
        return true;
    case DescendFlag::FindChunk:
        return ckid == wanted.ckid;
    case DescendFlag::FindRiff:
        return ckid == kFourCCRiff && fccType == wanted.fccType;
    case DescendFlag::FindList:
        return ckid == kFourCCList && fccType == wanted.fccType;
    }
    return false;
}

} // namespace

RiffFile::~RiffFile()
{
    // A caller that needs to know whether buffered data reached the file calls Close itself.
    if (IsOpen())
        Close();
}

MmResult RiffFile::Open(const std::string& path, OpenMode openMode)
{
    if (IsOpen())
        return mmresult::kInvalidHandle;
    // The system call would stop at an embedded NUL and open another file.
    if (path.find('\0') != std::string::npos)
        return mmresult::kCannotOpen;
    // Reading opens without blocking, so a FIFO without a writer cannot hang the caller, and
    // only regular files are read: a directory, FIFO or device has no RIFF structure to offer.
    const int flags = openMode == OpenMode::Read ? O_RDONLY | O_NONBLOCK : O_WRONLY | O_CREAT | O_TRUNC;
    int opened;
    do {
        opened = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) {
        systemError = errno;
        return errno == ENOENT ? mmresult::kFileNotFound : mmresult::kCannotOpen;
    }
    if (openMode == OpenMode::Read) {
        struct stat status {};
        if (::fstat(opened, &status) != 0 || !S_ISREG(status.st_mode) ||
            ::fcntl(opened, F_SETFL, ::fcntl(opened, F_GETFL) & ~O_NONBLOCK) != 0) {
            ::close(opened);
            return mmresult::kCannotOpen;
        }
    }
    Adopt(opened, openMode);
    return mmresult::kNoError;
}

MmResult RiffFile::OpenDescriptor(int descriptor)
{
    if (IsOpen())
        return mmresult::kInvalidHandle;
    const int opened = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (opened < 0) {
        systemError = errno;
        return mmresult::kCannotOpen;
    }
    Adopt(opened, OpenMode::Create);
    return mmresult::kNoError;
}

void RiffFile::Adopt(int opened, OpenMode openMode)
{
    fd = opened;
    mode = openMode;
    buffer.resize(kBufferSize);
    bufferStart = 0;
    bufferFill = 0;
    bufferPos = 0;
    writeFailed = false;
    systemError = 0;
}

MmResult RiffFile::Close()
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    MmResult result = mmresult::kNoError;
    if (mode == OpenMode::Create && FlushWrites() != mmresult::kNoError)
        result = mmresult::kCannotWrite;
    // On Linux the descriptor is released even when close fails, so it is never retried; a
    // failure there may mean written data was lost.
    if (::close(fd) != 0 && mode == OpenMode::Create) {
        systemError = errno;
        result = mmresult::kCannotWrite;
    }
    fd = -1;
    bufferStart = 0;
    bufferFill = 0;
    bufferPos = 0;
    return result;
}

long RiffFile::Read(void* out, long count)
{
    if (!IsOpen() || mode != OpenMode::Read || count < 0)
        return -1;
    auto* dest = static_cast<unsigned char*>(out);
    const auto wanted = static_cast<std::size_t>(count);
    std::size_t done = 0;
    while (done < wanted) {
        if (bufferPos == bufferFill) {
            DropReadAhead(bufferStart + static_cast<std::int64_t>(bufferFill));
            ssize_t got;
            do {
                got = ::read(fd, buffer.data(), buffer.size());
            } while (got < 0 && errno == EINTR);
            if (got < 0)
                return -1;
            if (got == 0)
                break;
            bufferFill = static_cast<std::size_t>(got);
        }
        const std::size_t n = std::min(bufferFill - bufferPos, wanted - done);
        std::memcpy(dest + done, buffer.data() + bufferPos, n);
        bufferPos += n;
        done += n;
    }
    return static_cast<long>(done);
}

long RiffFile::Write(const void* data, long count)
{
    if (!IsOpen() || mode != OpenMode::Create || count < 0 || writeFailed)
        return -1;
    if (count == 0)
        return 0;
    const auto* source = static_cast<const unsigned char*>(data);
    const auto size = static_cast<std::size_t>(count);
    if (size > buffer.size() - bufferFill) {
        if (FlushWrites() != mmresult::kNoError)
            return -1;
        // A block at least as large as the buffer would gain nothing from a copy.
        if (size >= buffer.size()) {
            if (!WriteAll(source, size)) {
                writeFailed = true;
                return -1;
            }
            return count;
        }
    }
    std::memcpy(buffer.data() + bufferFill, source, size);
    bufferFill += size;
    return count;
}

long RiffFile::Seek(long offset, int origin)
{
    if (!IsOpen())
        return -1;
    if (mode == OpenMode::Create) {
        if (FlushWrites() != mmresult::kNoError)
            return -1;
        const off_t reached = ::lseek(fd, offset, origin);
        if (reached < 0)
            return -1;
        bufferStart = reached;
        return static_cast<long>(reached);
    }

    std::int64_t target;
    switch (origin) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        if (offset > std::numeric_limits<std::int64_t>::max() - Position())
            return -1;
        target = Position() + offset;
        break;
    case SEEK_END: {
        const off_t reached = ::lseek(fd, offset, SEEK_END);
        if (reached < 0)
            return -1;
        DropReadAhead(reached);
        return static_cast<long>(reached);
    }
    default:
        return -1;
    }
    if (target < 0)
        return -1;
    // Inside the read-ahead (the usual case while chunks are skipped): no system call.
    if (target >= bufferStart && target <= bufferStart + static_cast<std::int64_t>(bufferFill)) {
        bufferPos = static_cast<std::size_t>(target - bufferStart);
        return static_cast<long>(target);
    }
    if (::lseek(fd, target, SEEK_SET) < 0)
        return -1;
    DropReadAhead(target);
    return static_cast<long>(target);
}

MmResult RiffFile::Descend(MMCKINFO& chunk, const MMCKINFO* parent, DescendFlag flag)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    if (mode != OpenMode::Read)
        return mmresult::kCannotRead;
    const std::int64_t start = Position();
    std::int64_t end = FileLength();
    if (end < 0)
        return mmresult::kCannotRead;
    // A data offset beyond 32 bits could not be recorded.
    end = std::min(end, kMaxField);
    if (parent != nullptr) {
        if (start < parent->dwDataOffset)
            return mmresult::kChunkNotFound;
        end = std::min(end, static_cast<std::int64_t>(parent->dwDataOffset) + parent->cksize);
    }

    MmResult result = mmresult::kChunkNotFound;
    std::int64_t at = start;
    while (end - at >= kHeaderSize) {
        unsigned char header[kHeaderSize + kFormTypeSize];
        long got = Read(header, kHeaderSize);
        if (got != kHeaderSize) {
            result = got < 0 ? mmresult::kCannotRead : mmresult::kChunkNotFound;
            break;
        }
        const FourCC ckid = LoadLe32(header);
        const std::uint32_t cksize = LoadLe32(header + 4);
        FourCC fccType = 0;
        const bool typed =
            HasFormType(ckid) && cksize >= kFormTypeSize && end - at >= kHeaderSize + kFormTypeSize;
        if (typed) {
            got = Read(header + kHeaderSize, kFormTypeSize);
            if (got != kFormTypeSize) {
                result = got < 0 ? mmresult::kCannotRead : mmresult::kChunkNotFound;
                break;
            }
            fccType = LoadLe32(header + kHeaderSize);
        }
        if (Matches(flag, chunk, ckid, fccType, typed)) {
            chunk.ckid = ckid;
            chunk.cksize = cksize;
            if (typed)
                chunk.fccType = fccType;
            chunk.dwDataOffset = static_cast<std::uint32_t>(at + kHeaderSize);
            chunk.dwFlags = 0;
            return mmresult::kNoError;
        }
        at += kHeaderSize + PaddedSize(cksize);
        if (at > end || Seek(static_cast<long>(at), SEEK_SET) != at)
            break;
    }
    Seek(static_cast<long>(start), SEEK_SET);
    return result;
}

MmResult RiffFile::Ascend(MMCKINFO& chunk)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    if ((chunk.dwFlags & kChunkDirty) == 0) {
        const std::int64_t after = static_cast<std::int64_t>(chunk.dwDataOffset) + PaddedSize(chunk.cksize);
        return Seek(static_cast<long>(after), SEEK_SET) == after ? mmresult::kNoError : mmresult::kCannotSeek;
    }

    if (mode != OpenMode::Create)
        return mmresult::kCannotWrite;
    const std::int64_t size = Position() - chunk.dwDataOffset;
    // The size field stands right before the data (before the form type of "RIFF" and "LIST").
    if (chunk.dwDataOffset < 4 || size < 0 || size > kMaxField)
        return mmresult::kCannotWrite;
    if (size != chunk.cksize) {
        unsigned char field[4];
        StoreLe32(field, static_cast<std::uint32_t>(size));
        if (WriteAt(chunk.dwDataOffset - 4, field, sizeof field) != mmresult::kNoError)
            return mmresult::kCannotWrite;
        chunk.cksize = static_cast<std::uint32_t>(size);
    }
    if ((size & 1) != 0) {
        constexpr unsigned char kPad = 0;
        if (Write(&kPad, 1) != 1)
            return mmresult::kCannotWrite;
    }
    chunk.dwFlags &= ~kChunkDirty;
    return mmresult::kNoError;
}

MmResult RiffFile::CreateChunk(MMCKINFO& chunk, CreateFlag flag)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    if (mode != OpenMode::Create)
        return mmresult::kCannotWrite;
    if (flag == CreateFlag::CreateRiff)
        chunk.ckid = kFourCCRiff;
    else if (flag == CreateFlag::CreateList)
        chunk.ckid = kFourCCList;
    const std::int64_t dataOffset = Position() + kHeaderSize;
    if (dataOffset > kMaxField)
        return mmresult::kCannotWrite;

    unsigned char header[kHeaderSize + kFormTypeSize];
    StoreLe32(header, chunk.ckid);
    StoreLe32(header + 4, chunk.cksize);
    StoreLe32(header + kHeaderSize, chunk.fccType);
    const long length = flag == CreateFlag::Plain ? kHeaderSize : kHeaderSize + kFormTypeSize;
    if (Write(header, length) != length)
        return mmresult::kCannotWrite;
    // As in the multimedia layer, the data of "RIFF" and "LIST" begins at the form type, so the
    // size Ascend writes counts it.
    chunk.dwDataOffset = static_cast<std::uint32_t>(dataOffset);
    chunk.dwFlags = kChunkDirty;
    return mmresult::kNoError;
}

std::int64_t RiffFile::Position() const
{
    return bufferStart + static_cast<std::int64_t>(mode == OpenMode::Read ? bufferPos : bufferFill);
}

MmResult RiffFile::FlushWrites()
{
    if (writeFailed)
        return mmresult::kCannotWrite;
    const std::size_t pending = bufferFill;
    bufferFill = 0;
    if (pending > 0 && !WriteAll(buffer.data(), pending)) {
        writeFailed = true;
        return mmresult::kCannotWrite;
    }
    return mmresult::kNoError;
}

bool RiffFile::WriteAll(const unsigned char* data, std::size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, data, count);
        if (written < 0 && errno == EINTR)
            continue;
        // Zero bytes written would repeat forever; treat it as the failure it is.
        if (written <= 0) {
            systemError = written < 0 ? errno : EIO;
            return false;
        }
        data += written;
        count -= static_cast<std::size_t>(written);
        bufferStart += written;
    }
    return true;
}

MmResult RiffFile::WriteAt(std::int64_t offset, const unsigned char* data, std::size_t count)
{
    const auto length = static_cast<std::int64_t>(count);
    if (offset >= bufferStart && offset + length <= bufferStart + static_cast<std::int64_t>(bufferFill)) {
        std::memcpy(buffer.data() + (offset - bufferStart), data, count);
        return mmresult::kNoError;
    }
    if (FlushWrites() != mmresult::kNoError)
        return mmresult::kCannotWrite;
    while (count > 0) {
        const ssize_t written = ::pwrite(fd, data, count, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            systemError = written < 0 ? errno : EIO;
            writeFailed = true;
            return mmresult::kCannotWrite;
        }
        data += written;
        count -= static_cast<std::size_t>(written);
        offset += written;
    }
    return mmresult::kNoError;
}

void RiffFile::DropReadAhead(std::int64_t position)
{
    bufferStart = position;
    bufferFill = 0;
    bufferPos = 0;
}

std::int64_t RiffFile::FileLength() const
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return -1;
    return status.st_size;
}

} // namespace cantrix
