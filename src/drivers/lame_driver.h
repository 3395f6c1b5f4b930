#pragma once
// The Layer-3 codec driver: encodes PCM into constant bit rate MPEG Layer-3 with LAME. It is
// installed in the codec manager's table and reached only through the manager.
#include "drivers/lame_format_table.h"
#include "platform/codec_driver.h"
#include "platform/worker_pool.h"

namespace cantrix {

// Calls may come from any thread; the driver keeps no state that changes after construction. Its
// streams split long conversions over `pool`.
class LameDriver : public CodecDriver {
public:
    explicit LameDriver(WorkerPool& pool = WorkerPool::Shared());

    MmResult Details(ACMDRIVERDETAILS& details) override;
    // kInvalidParam without a host.
    MmResult About(DriverAboutHost* host) override;
    std::uint32_t MaxFormatSize() override;
    // Layer-3 formats (tag 0x0055) only; an unsupported source or tag gives an empty list.
    MmResult ConvertibleFormats(const WAVEFORMATEX& source, std::uint16_t formatTag,
                                std::vector<OfferedFormat>& formats) override;
    MmResult OpenStream(const WAVEFORMATEX& source, const unsigned char* destination,
                        std::size_t destinationSize, std::unique_ptr<CodecStream>& stream) override;

private:
    LameFormatTable formatTable;
    WorkerPool& pool;
};

} // namespace cantrix
