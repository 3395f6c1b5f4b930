#pragma once
// The catalogue of Layer-3 formats that fit an input, in the codec's order, and the presets' picks.
#include "audio/format_entry.h"
#include "codec/quality_presets.h"
#include "platform/codec_manager.h"
#include "platform/wave_format.h"

#include <string>
#include <vector>

namespace cantrix {

class FormatCatalogue {
public:
    FormatCatalogue() = default;
    // The Layer-3 formats the installed codecs convert `input` to, each description once.
    static FormatCatalogue Build(CodecManager& codecs, const WAVEFORMATEX& input);

    unsigned Count() const { return static_cast<unsigned>(entries.size()); }
    bool Holds(int index) const { return index >= 0 && static_cast<std::size_t>(index) < entries.size(); }
    const std::vector<FormatEntry>& Entries() const { return entries; }
    // The description of entry `index`, or "-" when there is none.
    std::string Name(unsigned index) const;

    // The index a preset picks; 0 for an empty catalogue.
    int FindLowestBitrate() const;
    // The highest byte rate up to 24 kbit/s, and of those the one with more channels.
    int FindModem() const;
    // The highest byte rate up to 112 kbit/s.
    int FindIsdn() const;
    int Find(Preset preset) const;

private:
    std::vector<FormatEntry> entries;
};

} // namespace cantrix
