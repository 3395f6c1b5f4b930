#pragma once
// Buffered file I/O with RIFF chunk navigation: the stand-in for the multimedia file layer that
// input analysis and the output containers are written against.
//
// Chunk records follow the multimedia layer's conventions: after a descent the file stands on the
// first byte of the chunk's data (for "RIFF" and "LIST", after the form type); `dwDataOffset` is
// the offset of the data (for "RIFF"/"LIST", of the form type). Every size read from the file is
// checked against the file's length and the parent chunk, so no input can make a descent read or
// seek outside them.
#include "platform/mm_result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cantrix {

using FourCC = std::uint32_t;

constexpr FourCC MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<FourCC>(static_cast<unsigned char>(a)) |
           (static_cast<FourCC>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<FourCC>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<FourCC>(static_cast<unsigned char>(d)) << 24);
}

constexpr FourCC kFourCCRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr FourCC kFourCCList = MakeFourCC('L', 'I', 'S', 'T');
constexpr FourCC kFourCCWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr FourCC kFourCCFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr FourCC kFourCCFact = MakeFourCC('f', 'a', 'c', 't');
constexpr FourCC kFourCCData = MakeFourCC('d', 'a', 't', 'a');

// The published MMCKINFO record.
struct MMCKINFO {
    FourCC ckid = 0;
    std::uint32_t cksize = 0;
    FourCC fccType = 0;
    std::uint32_t dwDataOffset = 0;
    std::uint32_t dwFlags = 0;
};

// MMCKINFO::dwFlags: the chunk was created by CreateChunk, so Ascend must write its real size.
constexpr std::uint32_t kChunkDirty = 0x10000;

enum class OpenMode {
    Read,   // existing file, read only
    Create, // create or truncate, write only
};

enum class DescendFlag {
    Any,       // the next chunk, whatever its id
    FindChunk, // the next chunk whose ckid matches
    FindRiff,  // the next "RIFF" chunk whose fccType matches
    FindList,  // the next "LIST" chunk whose fccType matches
};

enum class CreateFlag {
    Plain,      // a chunk with ckid and cksize from the record
    CreateRiff, // a "RIFF" chunk with the record's fccType
    CreateList, // a "LIST" chunk with the record's fccType
};

class RiffFile {
public:
    RiffFile() = default;
    ~RiffFile();
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    // kFileNotFound for a missing file, kCannotOpen for any other refusal, kInvalidHandle while
    // a file is still open here (Close it first, so that no close failure goes unseen).
    MmResult Open(const std::string& path, OpenMode mode);
    // Opens for writing, as Create does, over a duplicate of `descriptor`, a file the caller has
    // already opened for writing (and keeps, and closes itself). Nothing is opened by name, so the
    // file written is the file the caller made, whatever its name leads to meanwhile.
    MmResult OpenDescriptor(int descriptor);
    // Flushes what is buffered and closes. kCannotWrite when buffered data could not be written.
    MmResult Close();
    bool IsOpen() const { return fd >= 0; }
    // The system's error number of the latest open, write or close that failed here; 0 while
    // none has failed since the last successful Open.
    int SystemError() const { return systemError; }

    // Bytes read (0 at the end of the file), or -1 on an error.
    long Read(void* buffer, long count);
    // Bytes accepted, or -1 when the data (or earlier buffered data) could not be written.
    long Write(const void* buffer, long count);
    // New position, or -1. origin is SEEK_SET, SEEK_CUR or SEEK_END.
    long Seek(long offset, int origin);

    // Searches from the current position to the end of `parent` (or of the file) for a chunk as
    // `flag` asks, and leaves the file on the chunk's data. A chunk header that is cut short, or a
    // chunk that would have to be skipped past the end of the parent or the file, ends the
    // search: kChunkNotFound. The chunk found may claim more bytes than the file holds (reads
    // inside it then come back short). A "RIFF" or "LIST" chunk too small to hold its form type is
    // skipped like any other chunk, never returned. A failed search leaves the position unchanged.
    // Read mode only.
    MmResult Descend(MMCKINFO& chunk, const MMCKINFO* parent, DescendFlag flag);
    // Leaves `chunk`: a created chunk gets its real size written (and a zero pad byte after an
    // odd size); the file then stands after the chunk and its pad byte. kCannotWrite when the
    // size cannot be written or does not fit in 32 bits, kCannotSeek when the file cannot be
    // positioned after a read chunk.
    MmResult Ascend(MMCKINFO& chunk);
    // Writes a chunk header at the current position and leaves the file on its data.
    MmResult CreateChunk(MMCKINFO& chunk, CreateFlag flag);

private:
    // The logical position: where the next Read or Write takes effect.
    std::int64_t Position() const;
    // Write mode: writes the pending bytes. A failure is sticky: every later write, flush and
    // Close reports it, since the file no longer holds what the caller wrote.
    MmResult FlushWrites();
    // Write mode: writes `count` bytes unbuffered at the descriptor's offset (= bufferStart) and
    // advances bufferStart by what reached the file.
    bool WriteAll(const unsigned char* data, std::size_t count);
    // Write mode: overwrites bytes already written (a size field), in the buffer if they are
    // still pending there, else in the file, without moving the position.
    MmResult WriteAt(std::int64_t offset, const unsigned char* data, std::size_t count);
    // Read mode: forgets the read-ahead; the descriptor stands at `position`.
    void DropReadAhead(std::int64_t position);
    std::int64_t FileLength() const;
    // Takes `opened` as this file's descriptor, with empty buffers.
    void Adopt(int opened, OpenMode openMode);

    int fd = -1;
    OpenMode mode = OpenMode::Read;
    std::vector<unsigned char> buffer;
    // Read mode: buffer[0, bufferFill) holds the file's bytes from bufferStart on, the descriptor
    // stands at bufferStart + bufferFill. Write mode: buffer[0, bufferFill) waits to be written at
    // bufferStart, where the descriptor stands.
    std::int64_t bufferStart = 0;
    std::size_t bufferFill = 0;
    std::size_t bufferPos = 0; // read cursor inside the buffer (read mode only)
    bool writeFailed = false;
    int systemError = 0;
};

} // namespace cantrix
