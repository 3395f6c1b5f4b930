#include "audio/output_writer.h"

#include "audio/raw_layer3_writer.h"
#include "audio/riff_layer3_writer.h"

#include <cstdio>

namespace cantrix {

MmResult OutputWriter::Open(const std::string& path, int descriptor)
{
    const MmResult opened =
        descriptor >= 0 ? file.OpenDescriptor(descriptor) : file.Open(path, OpenMode::Create);
    return opened != mmresult::kNoError ? opened : WriteHead();
}

bool OutputWriter::Append(const unsigned char* data, std::uint32_t size)
{
    return file.Write(data, size) == static_cast<long>(size);
}

MmResult OutputWriter::Close()
{
    return file.Close();
}

bool OutputWriter::Overwrite(long at, const void* data, long size)
{
    const long end = file.Seek(0, SEEK_CUR);
    return end >= 0 && file.Seek(at, SEEK_SET) == at && file.Write(data, size) == size &&
           file.Seek(end, SEEK_SET) == end;
}

std::unique_ptr<OutputWriter> MakeOutputWriter(bool riff, const FormatEntry& destination,
                                               const InputDescription& input, const AudioTags& tags,
                                               CodecTagSource& streamTag)
{
    if (riff)
        return std::make_unique<RiffLayer3Writer>(destination, input, tags);
    return std::make_unique<RawLayer3Writer>(tags, streamTag);
}

} // namespace cantrix
