#include "platform/riff_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

// Wave64: a GUID and a 64-bit size make the header, a GUID the form type; chunks are aligned to 8.
constexpr std::int64_t kGuidSize = 16;
constexpr std::int64_t kWave64HeaderSize = kGuidSize + 8;
constexpr std::int64_t kWave64FormTypeSize = kGuidSize;
constexpr std::uint64_t kWave64Alignment = 8;
// In RF64 and BW64 a 32-bit size field of this value stands for a size in "ds64".
constexpr std::uint64_t kSizeInTable = 0xFFFFFFFF;

// The GUIDs of Wave64 end in one of two runs of twelve bytes: the "riff" GUID in the one, those
// of the wave form's chunks in the other.
constexpr std::array<unsigned char, 12> kWave64RiffTail = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6,
                                                           0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr std::array<unsigned char, 12> kWave64WaveTail = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                                           0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

std::uint64_t LoadLe64(const unsigned char* bytes)
{
    const std::uint64_t high = LoadLe32(bytes + 4);
    return high << 32 | LoadLe32(bytes);
}

// The id a Wave64 GUID stands for, or 0 for one that is no part of the wave form.
FourCC Wave64Id(const unsigned char* guid)
{
    const FourCC head = LoadLe32(guid);
    if (std::equal(kWave64RiffTail.begin(), kWave64RiffTail.end(), guid + 4))
        return head == MakeFourCC('r', 'i', 'f', 'f') ? kFourCCRiff : 0;
    if (!std::equal(kWave64WaveTail.begin(), kWave64WaveTail.end(), guid + 4))
        return 0;
    if (head == MakeFourCC('w', 'a', 'v', 'e'))
        return kFourCCWave;
    return head == kFourCCFmt || head == kFourCCFact || head == kFourCCData ? head : 0;
}

std::uint64_t SizeFromTable(std::span<const WideSize> sizes, FourCC ckid, std::uint64_t size)
{
    for (const WideSize& entry : sizes) {
        if (entry.ckid == ckid)
            return entry.size;
    }
    return size;
}

// A chunk occupies its size plus the padding that aligns the next one: RIFF pads to 2 bytes,
// Wave64 to 8 (its headers are a multiple of 8, so the size alone decides).
std::uint64_t PaddedSize(std::uint64_t size, ChunkLayout layout)
{
    if (layout == ChunkLayout::Wave64)
        return (size + kWave64Alignment - 1) / kWave64Alignment * kWave64Alignment;
    return size + (size & 1u);
}

// The forms a file can be: "RIFF", and with 64-bit sizes also "RF64" and "BW64".
bool IsForm(FourCC ckid, bool wideForms)
{
    return ckid == kFourCCRiff || (wideForms && (ckid == kFourCCRf64 || ckid == kFourCCBw64));
}

// `typed`: the chunk is a form or "LIST" whose form type was read. One too small to hold its form
// type has no data to stand on, so it never matches.
bool Matches(DescendFlag flag, const WideChunk& wanted, FourCC ckid, FourCC fccType, bool typed, bool form)
{
    if ((form || ckid == kFourCCList) && !typed)
        return false;
    switch (flag) {
    case DescendFlag::Any:
        return true;
    case DescendFlag::FindChunk:
        return ckid == wanted.ckid;
    case DescendFlag::FindRiff:
        return form && fccType == wanted.fccType;
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
        (void)Close();
}

RiffFile::RiffFile(RiffFile&& other) noexcept
{
    *this = std::move(other);
}

RiffFile& RiffFile::operator=(RiffFile&& other) noexcept
{
    if (this == &other)
        return *this;
    // As in the destructor: whoever needed this file's close result has closed it.
    if (IsOpen())
        (void)Close();
    fd = std::exchange(other.fd, -1);
    mode = other.mode;
    buffer = std::move(other.buffer);
    bufferStart = std::exchange(other.bufferStart, 0);
    bufferFill = std::exchange(other.bufferFill, 0);
    bufferPos = std::exchange(other.bufferPos, 0);
    writeFailed = std::exchange(other.writeFailed, false);
    systemError = std::exchange(other.systemError, 0);
    return *this;
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
    WideChunk found{chunk.ckid, chunk.cksize, chunk.fccType, chunk.dwDataOffset};
    WideChunk outer{};
    if (parent != nullptr)
        outer = WideChunk{parent->ckid, parent->cksize, parent->fccType, parent->dwDataOffset};
    // Without a size table every size read fits the record, and the limit keeps the offsets in it.
    const SearchRules rules{ChunkLayout::Riff, false, {}, kMaxField};
    const MmResult result = Search(found, parent != nullptr ? &outer : nullptr, flag, rules);
    if (result != mmresult::kNoError)
        return result;
    chunk.ckid = found.ckid;
    chunk.cksize = static_cast<std::uint32_t>(found.cksize);
    chunk.fccType = found.fccType;
    chunk.dwDataOffset = static_cast<std::uint32_t>(found.dwDataOffset);
    chunk.dwFlags = 0;
    return mmresult::kNoError;
}

MmResult RiffFile::DescendWide(WideChunk& chunk, const WideChunk* parent, DescendFlag flag,
                               ChunkLayout layout, std::span<const WideSize> sizes)
{
    const SearchRules rules{layout, true, sizes, std::numeric_limits<std::int64_t>::max()};
    return Search(chunk, parent, flag, rules);
}

MmResult RiffFile::AscendWide(const WideChunk& chunk, ChunkLayout layout)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    // A chunk may claim more than any file holds: past the end of the file is still a position,
    // but one beyond what an offset can hold is none.
    constexpr std::uint64_t kHalfRange = static_cast<std::uint64_t>(std::numeric_limits<long>::max()) / 2;
    if (chunk.dwDataOffset >= kHalfRange || chunk.cksize >= kHalfRange)
        return mmresult::kCannotSeek;
    const auto after = static_cast<long>(chunk.dwDataOffset + PaddedSize(chunk.cksize, layout));
    return Seek(after, SEEK_SET) == after ? mmresult::kNoError : mmresult::kCannotSeek;
}

MmResult RiffFile::Search(WideChunk& chunk, const WideChunk* parent, DescendFlag flag,
                          const SearchRules& rules)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    if (mode != OpenMode::Read)
        return mmresult::kCannotRead;
    const bool wave64 = rules.layout == ChunkLayout::Wave64;
    const std::int64_t headerSize = wave64 ? kWave64HeaderSize : kHeaderSize;
    const std::int64_t formTypeSize = wave64 ? kWave64FormTypeSize : kFormTypeSize;
    const std::int64_t start = Position();
    std::int64_t end = FileLength();
    if (end < 0)
        return mmresult::kCannotRead;
    end = std::min(end, rules.limit);
    if (parent != nullptr) {
        if (static_cast<std::uint64_t>(start) < parent->dwDataOffset)
            return mmresult::kChunkNotFound;
        // The parent's data begins inside the file, so its end, bounded by the file's, stays in range.
        const std::uint64_t parentEnd =
            parent->dwDataOffset + std::min(parent->cksize, static_cast<std::uint64_t>(end));
        end = static_cast<std::int64_t>(std::min(parentEnd, static_cast<std::uint64_t>(end)));
    }

    MmResult result = mmresult::kChunkNotFound;
    std::int64_t at = start;
    while (end - at >= headerSize) {
        unsigned char header[kWave64HeaderSize + kWave64FormTypeSize];
        long got = Read(header, headerSize);
        if (got != headerSize) {
            result = got < 0 ? mmresult::kCannotRead : mmresult::kChunkNotFound;
            break;
        }
        FourCC ckid;
        std::uint64_t cksize;
        if (wave64) {
            ckid = Wave64Id(header);
            // A size that does not even cover its header was never written: 0, as in RIFF.
            const std::uint64_t total = LoadLe64(header + kGuidSize);
            cksize = total < static_cast<std::uint64_t>(headerSize)
                         ? 0
                         : total - static_cast<std::uint64_t>(headerSize);
        } else {
            ckid = LoadLe32(header);
            cksize = LoadLe32(header + 4);
            if (cksize == kSizeInTable)
                cksize = SizeFromTable(rules.sizes, ckid, cksize);
        }
        const bool form = IsForm(ckid, rules.wideForms);
        const bool typed =
            (form || ckid == kFourCCList) &&
            (cksize >= static_cast<std::uint64_t>(formTypeSize) || (form && rules.wideForms)) &&
            end - at >= headerSize + formTypeSize;
        FourCC fccType = 0;
        if (typed) {
            got = Read(header + headerSize, formTypeSize);
            if (got != formTypeSize) {
                result = got < 0 ? mmresult::kCannotRead : mmresult::kChunkNotFound;
                break;
            }
            fccType = wave64 ? Wave64Id(header + headerSize) : LoadLe32(header + headerSize);
        }
        if (Matches(flag, chunk, ckid, fccType, typed, form)) {
            chunk.ckid = ckid;
            chunk.cksize = cksize;
            if (typed)
                chunk.fccType = fccType;
            chunk.dwDataOffset = static_cast<std::uint64_t>(at + headerSize);
            return mmresult::kNoError;
        }
        if (cksize > static_cast<std::uint64_t>(end - at))
            break;
        at += headerSize + static_cast<std::int64_t>(PaddedSize(cksize, rules.layout));
        if (at > end || Seek(static_cast<long>(at), SEEK_SET) != at)
            break;
    }
    // Back to where the search began; the chunks were just read from there, so the way back is
    // open, and a caller learns of a broken file from its next read anyway.
    (void)Seek(static_cast<long>(start), SEEK_SET);
    return result;
}

MmResult RiffFile::Ascend(MMCKINFO& chunk)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    if ((chunk.dwFlags & kChunkDirty) == 0) {
        const auto after =
            static_cast<std::int64_t>(chunk.dwDataOffset + PaddedSize(chunk.cksize, ChunkLayout::Riff));
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
