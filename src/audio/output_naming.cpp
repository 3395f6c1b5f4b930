#include "audio/output_naming.h"

#include <algorithm>

namespace cantrix {

namespace {
constexpr char kSeparator = '/';
constexpr const char* kRiffExtension = ".wav";
constexpr const char* kRawExtension = ".mp3";
constexpr const char* kLayer3Suffix = " Layer-3";
constexpr const char* kInputExtension = ".WAV";
constexpr std::size_t kExtensionLength = 4;

const char* Extension(bool writeRiff)
{
    return writeRiff ? kRiffExtension : kRawExtension;
}

// The name part of a path with its leading separator. A bare relative name gets one, so joining it
// to a directory never runs the two together. UTF-8 never uses '/' or '.' inside a multibyte
// character, so byte-wise searches are safe.
std::string NamePartWithSeparator(const std::string& path)
{
    const std::size_t slash = path.rfind(kSeparator);
    return slash == std::string::npos ? kSeparator + path : path.substr(slash);
}

// `path` without the extension of its name part; unchanged when the name has no dot.
std::string WithoutExtension(const std::string& path)
{
    const std::size_t slash = path.rfind(kSeparator);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return path;
    return path.substr(0, dot);
}

bool EndsInWav(const std::string& path, std::string& lastFour)
{
    lastFour = path.size() < kExtensionLength ? path : path.substr(path.size() - kExtensionLength);
    std::string upper = lastFour;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return upper == kInputExtension;
}
} // namespace

std::string DeriveOutputPath(const std::string& inputPath, bool writeRiff, const std::string& conversionDir)
{
    if (!conversionDir.empty())
        return conversionDir + WithoutExtension(NamePartWithSeparator(inputPath)) + Extension(writeRiff);

    std::string lastFour;
    if (EndsInWav(inputPath, lastFour)) {
        const std::string stem = inputPath.substr(0, inputPath.size() - kExtensionLength);
        return writeRiff ? stem + kLayer3Suffix + lastFour : stem + kRawExtension;
    }
    return inputPath + (writeRiff ? std::string(kLayer3Suffix) + kRiffExtension : std::string(kRawExtension));
}

std::string ReplaceOutputExtension(const std::string& outputPath, bool writeRiff)
{
    if (outputPath.empty())
        return outputPath;
    return WithoutExtension(outputPath) + Extension(writeRiff);
}

std::string RebaseOutputPath(const std::string& outputPath, const std::string& conversionDir)
{
    if (outputPath.empty() || conversionDir.empty())
        return outputPath;
    return conversionDir + NamePartWithSeparator(outputPath);
}

} // namespace cantrix
