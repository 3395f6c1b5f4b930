#pragma once
// The three quality presets: each picks one format of a catalogue by its byte rate.
namespace cantrix {

enum class Preset { Lowest, Modem, Isdn };

// Editions below "Ridge" offer no ISDN preset.
constexpr bool EditionHasIsdnPreset(int edition)
{
    return edition >= 2;
}

} // namespace cantrix
