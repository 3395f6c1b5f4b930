#include "audio/output_writer.h"

#include "audio/raw_layer3_writer.h"
#include "audio/riff_layer3_writer.h"

namespace cantrix {

MmResult OutputWriter::Open(const std::string& path)
{
    const MmResult opened = file.Open(path, OpenMode::Create);
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

std::unique_ptr<OutputWriter> MakeOutputWriter(bool riff, const FormatEntry& destination,
                                               const InputDescription& input, const AudioTags& tags)
{
    if (riff)
        return std::make_unique<RiffLayer3Writer>(destination, input, tags);
    return std::make_unique<RawLayer3Writer>(tags);
}

} // namespace cantrix
