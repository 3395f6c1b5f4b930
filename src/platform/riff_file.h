#pragma once
// Buffered file I/O with RIFF chunk navigation: the stand-in for the multimedia file layer that
// input analysis and the output containers are written against. Inputs may also come in the forms
// whose sizes outgrow 32 bits (RF64, BW64, Wave64); those are read through WideChunk records.
//
// Chunk records follow the multimedia layer's conventions: after a descent the file stands on the
// first byte of the chunk's data (for "RIFF" and "LIST", after the form type); `dwDataOffset` is
// the offset of the data (for "RIFF"/"LIST", of the form type). Every size read from the file is
// checked against the file's length and the parent chunk, so no input can make a descent read or
// seek outside them.
#include "platform/mm_result.h"

#include <cstdint>
#include <span>
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
// The RIFF forms with 64-bit sizes, which keep them in a "ds64" chunk.
constexpr FourCC kFourCCRf64 = MakeFourCC('R', 'F', '6', '4');
constexpr FourCC kFourCCBw64 = MakeFourCC('B', 'W', '6', '4');
constexpr FourCC kFourCCDs64 = MakeFourCC('d', 's', '6', '4');

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

// A chunk record with 64-bit sizes and offsets. The fields mean what MMCKINFO's do: cksize counts
// the data (with a form type, for the forms and "LIST"), never a header.
struct WideChunk {
    FourCC ckid = 0;
    std::uint64_t cksize = 0;
    FourCC fccType = 0;
    std::uint64_t dwDataOffset = 0;
};

// How a file's chunks are laid out.
enum class ChunkLayout {
    // RIFF, RF64 and BW64: four-character ids, 32-bit sizes, chunks aligned to 2 bytes. In RF64 and
    // BW64 a size field of 0xFFFFFFFF stands for a 64-bit size that "ds64" holds.
    Riff,
    // Wave64: 16-byte GUID ids, 64-bit sizes that count the 24-byte header, chunks aligned to 8
    // bytes. The GUIDs of the wave form read as the ids they stand for ("RIFF" with form type
    // "WAVE", "fmt ", "fact", "data"); any other GUID reads as 0.
    Wave64,
};

// A 64-bit size from "ds64" for the chunks of id `ckid` whose 32-bit size field says 0xFFFFFFFF.
struct WideSize {
    FourCC ckid = 0;
    std::uint64_t size = 0;
};

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
    // The open file, its position and what is buffered move along; `other` is left closed. A run
    // takes over the input its engine has opened this way.
    RiffFile(RiffFile&& other) noexcept;
    RiffFile& operator=(RiffFile&& other) noexcept;

    // kFileNotFound for a missing file, kCannotOpen for any other refusal, kInvalidHandle while
    // a file is still open here (Close it first, so that no close failure goes unseen).
    [[nodiscard]] MmResult Open(const std::string& path, OpenMode mode);
    // Opens for writing, as Create does, over a duplicate of `descriptor`, a file the caller has
    // already opened for writing (and keeps, and closes itself). Nothing is opened by name, so the
    // file written is the file the caller made, whatever its name leads to meanwhile.
    [[nodiscard]] MmResult OpenDescriptor(int descriptor);
    // Flushes what is buffered and closes. kCannotWrite when buffered data could not be written.
    [[nodiscard]] MmResult Close();
    bool IsOpen() const { return fd >= 0; }
    // The system's error number of the latest open, write or close that failed here; 0 while
    // none has failed since the last successful Open.
    int SystemError() const { return systemError; }

    // Bytes read (0 at the end of the file), or -1 on an error.
    [[nodiscard]] long Read(void* buffer, long count);
    // Bytes accepted, or -1 when the data (or earlier buffered data) could not be written.
    [[nodiscard]] long Write(const void* buffer, long count);
    // New position, or -1. origin is SEEK_SET, SEEK_CUR or SEEK_END.
    [[nodiscard]] long Seek(long offset, int origin);

    // Searches from the current position to the end of `parent` (or of the file) for a chunk as
    // `flag` asks, and leaves the file on the chunk's data. A chunk header that is cut short, or a
    // chunk that would have to be skipped past the end of the parent or the file, ends the
    // search: kChunkNotFound. The chunk found may claim more bytes than the file holds (reads
    // inside it then come back short). A "RIFF" or "LIST" chunk too small to hold its form type is
    // skipped like any other chunk, never returned. A failed search leaves the position unchanged.
    // Read mode only.
    [[nodiscard]] MmResult Descend(MMCKINFO& chunk, const MMCKINFO* parent, DescendFlag flag);
    // Leaves `chunk`: a created chunk gets its real size written (and a zero pad byte after an
    // odd size); the file then stands after the chunk and its pad byte. kCannotWrite when the
    // size cannot be written or does not fit in 32 bits, kCannotSeek when the file cannot be
    // positioned after a read chunk.
    [[nodiscard]] MmResult Ascend(MMCKINFO& chunk);
    // Writes a chunk header at the current position and leaves the file on its data.
    [[nodiscard]] MmResult CreateChunk(MMCKINFO& chunk, CreateFlag flag);

    // Descend for inputs of any length, with the same checks, in `layout`. FindRiff matches the
    // forms "RIFF", "RF64" and "BW64" (Wave64: its "riff" GUID). A form too small for its form
    // type (what a recording that was never finished leaves: 0) is returned as it stands when the
    // file holds its form type: the caller decides how far it runs. In the Riff layout a size of
    // 0xFFFFFFFF is taken from `sizes` where they name the chunk's id.
    [[nodiscard]] MmResult DescendWide(WideChunk& chunk, const WideChunk* parent, DescendFlag flag,
                                       ChunkLayout layout, std::span<const WideSize> sizes = {});
    // Leaves a chunk that DescendWide found: the file then stands after the chunk and its padding.
    [[nodiscard]] MmResult AscendWide(const WideChunk& chunk, ChunkLayout layout);

private:
    // What a search takes for the chunks it meets.
    struct SearchRules {
        ChunkLayout layout = ChunkLayout::Riff;
        bool wideForms = false; // RF64 and BW64 are forms too, and a form's size is not checked
        std::span<const WideSize> sizes;
        std::int64_t limit = 0; // no chunk's data may begin beyond this offset
    };
    // The search Descend and DescendWide share.
    MmResult Search(WideChunk& chunk, const WideChunk* parent, DescendFlag flag, const SearchRules& rules);

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
