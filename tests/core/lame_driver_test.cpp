// The Layer-3 driver on LAME: its catalogue, its records and its streams, checked against LAME
// itself and against the mpg123 decoder.
#include "drivers/built_in_drivers.h"
#include "drivers/lame_driver.h"
#include "platform/codec_driver.h"
#include "platform/codec_manager.h"
#include "support/wav_builder.h"
#include "support/worker_protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <lame/lame.h>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace cantrix {
namespace {

constexpr std::uint32_t kBlockBytes = kCallerBlockBytes;
constexpr unsigned char kGuardByte = 0xA5;

WAVEFORMATEX Pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = kWaveFormatPcm;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}

WAVEFORMATEX Float(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits)
{
    WAVEFORMATEX format = Pcm(rate, channels, bits);
    format.wFormatTag = kWaveFormatIeeeFloat;
    return format;
}

// A sine per channel (left 440 Hz, right 660 Hz) at half scale.
std::vector<unsigned char> SinePcm(const WAVEFORMATEX& format, std::uint32_t frames)
{
    std::vector<unsigned char> pcm;
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (int channel = 0; channel < format.nChannels; ++channel) {
            const double hz = channel == 0 ? 440.0 : 660.0;
            test::AppendSample(pcm, format, 0.5 * std::sin(2 * M_PI * hz * i / format.nSamplesPerSec));
        }
    }
    return pcm;
}

// Full-scale white noise: the input that costs an encoder the most bits.
std::vector<unsigned char> NoisePcm(const WAVEFORMATEX& format, std::uint32_t frames)
{
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    std::vector<unsigned char> pcm;
    for (std::uint32_t i = 0; i < frames * format.nChannels; ++i)
        test::AppendSample(pcm, format, noise(random));
    return pcm;
}

MPEGLAYER3WAVEFORMAT RecordOf(const OfferedFormat& offered)
{
    MPEGLAYER3WAVEFORMAT record{};
    EXPECT_GE(offered.format.size(), sizeof record);
    std::memcpy(&record, offered.format.data(), std::min(sizeof record, offered.format.size()));
    return record;
}

std::uint32_t Kbps(const MPEGLAYER3WAVEFORMAT& record)
{
    return record.wfx.nAvgBytesPerSec * 8 / 1000;
}

std::vector<OfferedFormat> Offered(const WAVEFORMATEX& source, std::uint16_t tag = kWaveFormatMpegLayer3)
{
    LameDriver driver;
    std::vector<OfferedFormat> formats{OfferedFormat{}};
    EXPECT_EQ(driver.ConvertibleFormats(source, tag, formats), mmresult::kNoError);
    return formats;
}

std::vector<std::uint32_t> RatesInOrder(const std::vector<OfferedFormat>& formats)
{
    std::vector<std::uint32_t> rates;
    for (const OfferedFormat& format : formats) {
        const std::uint32_t rate = RecordOf(format).wfx.nSamplesPerSec;
        if (rates.empty() || rates.back() != rate)
            rates.push_back(rate);
    }
    return rates;
}

const OfferedFormat* Find(const std::vector<OfferedFormat>& formats, const std::string& description)
{
    for (const OfferedFormat& format : formats) {
        if (format.description == description)
            return &format;
    }
    return nullptr;
}

std::unique_ptr<CodecStream> OpenStream(const WAVEFORMATEX& source, const OfferedFormat& format)
{
    LameDriver driver;
    std::unique_ptr<CodecStream> stream;
    EXPECT_EQ(driver.OpenStream(source, format.format.data(), format.format.size(), stream),
              mmresult::kNoError);
    return stream;
}

// Runs `pcm` through a stream the way the conversion worker does: 2048-byte source blocks with
// BLOCKALIGN, the unused rest carried to the front, then END until nothing comes out. Every call
// gets exactly the buffer OutputSize asked for, followed by guard bytes that must stay untouched.
struct FrameHeader {
    bool valid = false;
    std::uint32_t kbps = 0;
    std::uint32_t rate = 0;
    bool mono = false;
    bool padded = false;
};

// Reads the 4-byte Layer-3 frame header at the front of `bytes`.
FrameHeader ParseFrameHeader(const std::vector<unsigned char>& bytes)
{
    static const int kKbps[2][15] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static const std::uint32_t kRates[3] = {44100, 48000, 32000};
    FrameHeader header;
    if (bytes.size() < 4 || bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0 || (bytes[1] & 0x06) != 0x02)
        return header;
    const int version = (bytes[1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int bitrateIndex = bytes[2] >> 4;
    const int rateIndex = (bytes[2] >> 2) & 3;
    if (version == 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return header;
    header.valid = true;
    header.kbps = static_cast<std::uint32_t>(kKbps[version == 3 ? 1 : 0][bitrateIndex]);
    header.rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    header.padded = (bytes[2] & 0x02) != 0;
    header.mono = (bytes[3] >> 6) == 3;
    return header;
}

struct Decoded {
    int exitStatus = -1;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t frames = 0;
    std::vector<std::int16_t> samples; // interleaved
};

std::uint32_t ReadLe(const std::vector<unsigned char>& bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

// Decodes `mp3` with the mpg123 command into a WAV and reads that WAV's format and length.
Decoded DecodeWithMpg123(const std::vector<unsigned char>& mp3)
{
    static int counter = 0;
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() /
        ("lame_driver_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    const std::filesystem::path input = base.string() + ".mp3";
    const std::filesystem::path output = base.string() + ".wav";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(mp3.data()), static_cast<std::streamsize>(mp3.size()));
    Decoded decoded;
    const int status =
        std::system(("mpg123 -q -w '" + output.string() + "' '" + input.string() + "'").c_str());
    decoded.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream file(output, std::ios::binary);
    const std::vector<unsigned char> wav((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
    std::filesystem::remove(input);
    std::filesystem::remove(output);
    std::uint16_t blockAlign = 0;
    for (std::size_t at = 12; at + 8 <= wav.size();) {
        const std::uint32_t size = ReadLe(wav, at + 4, 4);
        if (std::memcmp(&wav[at], "fmt ", 4) == 0 && at + 24 <= wav.size()) {
            decoded.channels = static_cast<std::uint16_t>(ReadLe(wav, at + 10, 2));
            decoded.rate = ReadLe(wav, at + 12, 4);
            blockAlign = static_cast<std::uint16_t>(ReadLe(wav, at + 20, 2));
        } else if (std::memcmp(&wav[at], "data", 4) == 0 && blockAlign != 0) {
            decoded.frames =
                static_cast<std::uint32_t>(std::min<std::size_t>(size, wav.size() - at - 8) / blockAlign);
            for (std::size_t i = 0; i < std::size_t{decoded.frames} * decoded.channels; ++i)
                decoded.samples.push_back(static_cast<std::int16_t>(ReadLe(wav, at + 8 + 2 * i, 2)));
        }
        at += 8 + size + (size & 1);
    }
    return decoded;
}

struct Tone {
    double amplitude = 0; // of full scale
    double residual = 0;  // the share of the signal's power that is not this tone
};

// Fits a sine of `hz` to one channel of the decoded audio, frames `skip` to `end`.
Tone FitTone(const Decoded& decoded, int channel, double hz, std::uint32_t skip, std::uint32_t end)
{
    double cosine = 0, sine = 0, power = 0;
    std::uint32_t count = 0;
    for (std::uint32_t i = skip; i < std::min(end, decoded.frames); ++i, ++count) {
        const double x =
            decoded.samples[std::size_t{i} * decoded.channels + static_cast<std::size_t>(channel)] / 32768.0;
        const double phase = 2 * M_PI * hz * i / decoded.rate;
        cosine += x * std::cos(phase);
        sine += x * std::sin(phase);
        power += x * x;
    }
    Tone tone;
    if (count == 0 || power == 0)
        return tone;
    const double a = 2 * cosine / count;
    const double b = 2 * sine / count;
    tone.amplitude = std::sqrt(a * a + b * b);
    tone.residual = 1 - (tone.amplitude * tone.amplitude / 2) / (power / count);
    return tone;
}

std::uint16_t LameEncoderDelay()
{
    lame_global_flags* flags = lame_init();
    lame_init_params(flags);
    const int delay = lame_get_encoder_delay(flags);
    lame_close(flags);
    return static_cast<std::uint16_t>(delay);
}

class RecordingAboutHost : public DriverAboutHost {
public:
    void ShowDriverAbout(const std::string& title, const std::string& text) override
    {
        this->title = title;
        this->text = text;
        ++calls;
    }
    std::string title;
    std::string text;
    int calls = 0;
};

TEST(LameDriverIdentity, DetailsAndAboutNameTheCodecAndLame)
{
    LameDriver driver;
    ACMDRIVERDETAILS details;
    ASSERT_EQ(driver.Details(details), mmresult::kNoError);
    EXPECT_EQ(details.wMid, 172);
    EXPECT_EQ(details.wPid, 13);
    EXPECT_EQ(details.szLongName, "Quillonics MPEG Layer-3 ACM Audio Codec");
    EXPECT_LE(details.szShortName.size(), 31u);
    EXPECT_NE(details.szCopyright.find(std::string("LAME ") + get_lame_version()), std::string::npos);
    EXPECT_NE(details.szLicensing.find("LGPL"), std::string::npos);

    RecordingAboutHost host;
    ASSERT_EQ(driver.About(&host), mmresult::kNoError);
    EXPECT_EQ(host.calls, 1);
    EXPECT_NE(host.title.find("Quillonics MPEG Layer-3 ACM Audio Codec"), std::string::npos);
    for (const std::string& part :
         {std::string("LAME ") + get_lame_version(), std::string("LGPL"), std::string(get_lame_url())})
        EXPECT_NE(host.text.find(part), std::string::npos) << part;
    EXPECT_EQ(driver.About(nullptr), mmresult::kInvalidParam);
}

TEST(LameDriverIdentity, BuiltInDriversInstallTheCodec)
{
    CodecManager manager;
    InstallBuiltInDrivers(manager);
    std::vector<std::pair<std::uint16_t, std::uint16_t>> ids;
    (void)manager.DriverEnum(
        [&](HACMDRIVERID driverId, std::uint32_t) {
            ACMDRIVERDETAILS details;
            EXPECT_EQ(manager.DriverDetails(driverId, details, 0), mmresult::kNoError);
            ids.emplace_back(details.wMid, details.wPid);
            return true;
        },
        0);
    EXPECT_EQ(ids, (std::vector<std::pair<std::uint16_t, std::uint16_t>>{{172, 13}}));
}

TEST(LameDriverCatalogue, StereoSourceGetsItsFamilyInOfferingOrder)
{
    const std::vector<OfferedFormat> formats = Offered(Pcm(44100, 2, 16));
    EXPECT_EQ(RatesInOrder(formats), (std::vector<std::uint32_t>{44100, 22050, 11025}));
    // Per rate: stereo before mono, bit rates ascending; bit rate ranges per MPEG version.
    for (std::size_t i = 1; i < formats.size(); ++i) {
        const MPEGLAYER3WAVEFORMAT previous = RecordOf(formats[i - 1]);
        const MPEGLAYER3WAVEFORMAT current = RecordOf(formats[i]);
        if (previous.wfx.nSamplesPerSec != current.wfx.nSamplesPerSec)
            continue;
        ASSERT_GE(previous.wfx.nChannels, current.wfx.nChannels) << formats[i].description;
        if (previous.wfx.nChannels == current.wfx.nChannels) {
            EXPECT_LT(Kbps(previous), Kbps(current)) << formats[i].description;
        }
    }
    for (const char* expected :
         {"32 kBit/s, 44100 Hz, Stereo", "320 kBit/s, 44100 Hz, Mono", "8 kBit/s, 22050 Hz, Stereo",
          "160 kBit/s, 22050 Hz, Mono", "8 kBit/s, 11025 Hz, Mono", "64 kBit/s, 11025 Hz, Stereo"})
        EXPECT_NE(Find(formats, expected), nullptr) << expected;
    for (const char* absent :
         {"24 kBit/s, 44100 Hz, Stereo", "192 kBit/s, 22050 Hz, Stereo", "80 kBit/s, 11025 Hz, Mono"})
        EXPECT_EQ(Find(formats, absent), nullptr) << absent;
    EXPECT_EQ(formats.size(), 2u * (14 + 14 + 8));
}

TEST(LameDriverCatalogue, MonoSourceGetsMonoOnly)
{
    const std::vector<OfferedFormat> formats = Offered(Pcm(44100, 1, 16));
    EXPECT_EQ(formats.size(), 14u + 14 + 8);
    for (const OfferedFormat& format : formats)
        EXPECT_EQ(RecordOf(format).wfx.nChannels, 1) << format.description;
}

TEST(LameDriverCatalogue, InputRatesMapToFamilies)
{
    struct Case {
        std::uint32_t inputRate;
        std::vector<std::uint32_t> rates;
    };
    const Case cases[] = {
        {22050, {22050, 11025}},
        {48000, {48000, 24000, 12000}},
        {32000, {32000, 16000, 8000}},
        {8000, {8000}},
        {12000, {12000}},
        {96000, {48000, 24000, 12000}},
        {192000, {48000, 24000, 12000}},
        {88200, {44100, 22050, 11025}},
        {176400, {44100, 22050, 11025}},
        {64000, {32000, 16000, 8000}},
        {128000, {32000, 16000, 8000}},
        {50000, {48000, 24000, 12000}},
        // Between two Layer-3 rates: the nearest above too; below the lowest: the lowest.
        {30000, {32000, 24000, 12000}},
        {11000, {11025, 8000}},
        {40000, {44100, 32000, 16000, 8000}},
        {7999, {8000}},
        {6000, {8000}},
        {1000, {8000}},
        {999, {}},
        {192001, {}},
    };
    for (const Case& test : cases)
        EXPECT_EQ(RatesInOrder(Offered(Pcm(test.inputRate, 2, 16))), test.rates) << test.inputRate;
}

TEST(LameDriverCatalogue, EveryIntegerAndFloatWidthGetsTheSameFormatsAndOthersNone)
{
    const std::vector<OfferedFormat> reference = Offered(Pcm(48000, 2, 16));
    for (const WAVEFORMATEX& source :
         {Pcm(48000, 2, 8), Pcm(48000, 2, 24), Pcm(48000, 2, 32), Float(48000, 2, 32), Float(48000, 2, 64)}) {
        const std::vector<OfferedFormat> formats = Offered(source);
        ASSERT_EQ(formats.size(), reference.size()) << source.wFormatTag << "/" << source.wBitsPerSample;
        for (std::size_t i = 0; i < formats.size(); ++i)
            EXPECT_EQ(formats[i].format, reference[i].format) << source.wBitsPerSample;
    }
    WAVEFORMATEX extensible = Pcm(48000, 2, 16);
    extensible.wFormatTag = 0xFFFE;
    WAVEFORMATEX badAlign = Pcm(48000, 2, 16);
    badAlign.nBlockAlign = 2;
    for (const WAVEFORMATEX& source :
         {extensible, badAlign, Pcm(48000, 2, 12), Pcm(48000, 3, 16), Pcm(48000, 0, 16), Float(48000, 2, 16)})
        EXPECT_TRUE(Offered(source).empty());
    EXPECT_TRUE(Offered(Pcm(48000, 2, 16), 0x0002).empty());
}

TEST(LameDriverCatalogue, RecordsAndDescriptionsAgree)
{
    LameDriver driver;
    const std::uint16_t delay = LameEncoderDelay();
    ASSERT_GT(delay, 0);
    std::set<std::string> descriptions;
    for (const std::uint32_t rate : {44100u, 48000u, 32000u}) {
        for (const OfferedFormat& format : Offered(Pcm(rate, 2, 16))) {
            const MPEGLAYER3WAVEFORMAT record = RecordOf(format);
            EXPECT_LE(format.format.size(), driver.MaxFormatSize());
            EXPECT_EQ(record.wfx.wFormatTag, kWaveFormatMpegLayer3);
            EXPECT_EQ(record.wfx.nBlockAlign, 1);
            EXPECT_EQ(record.wfx.wBitsPerSample, 0);
            EXPECT_EQ(record.wfx.cbSize, 12);
            EXPECT_EQ(record.wID, 1);
            EXPECT_EQ(record.fdwFlags, 0u);
            EXPECT_EQ(record.nFramesPerBlock, 1);
            EXPECT_EQ(record.nCodecDelay, delay);
            EXPECT_EQ(record.wfx.nAvgBytesPerSec * 8 % 1000, 0u);
            const std::string expected = std::to_string(Kbps(record)) + " kBit/s, " +
                                         std::to_string(record.wfx.nSamplesPerSec) + " Hz, " +
                                         (record.wfx.nChannels == 2 ? "Stereo" : "Mono");
            EXPECT_EQ(format.description, expected);
            EXPECT_LT(format.description.size(), kFormatDescriptionChars);
            EXPECT_TRUE(descriptions.insert(format.description).second) << "duplicate " << format.description;
        }
    }
}

struct RoundTrip {
    WAVEFORMATEX source;
    const char* format;
};

// Encodes two seconds of sine for each case and decodes the result with mpg123: the frames carry
// the record's rate, bit rate, channel mode and size, and the decoded audio has the input's length
// plus the encoder's delay and its end padding.
TEST(LameDriverStream, RoundTripsThroughMpg123)
{
    const RoundTrip cases[] = {
        {Pcm(44100, 2, 16), "128 kBit/s, 44100 Hz, Stereo"},
        {Pcm(44100, 2, 8), "128 kBit/s, 44100 Hz, Stereo"},
        {Pcm(44100, 2, 24), "128 kBit/s, 44100 Hz, Stereo"},
        {Pcm(44100, 2, 32), "128 kBit/s, 44100 Hz, Stereo"},
        {Pcm(44100, 1, 16), "64 kBit/s, 44100 Hz, Mono"},
        {Pcm(44100, 2, 16), "56 kBit/s, 22050 Hz, Mono"},
        {Pcm(22050, 1, 8), "32 kBit/s, 11025 Hz, Mono"},
        {Pcm(96000, 2, 24), "320 kBit/s, 48000 Hz, Stereo"},
        {Pcm(50000, 1, 32), "24 kBit/s, 12000 Hz, Mono"},
        {Float(44100, 2, 32), "128 kBit/s, 44100 Hz, Stereo"},
        {Float(48000, 1, 64), "64 kBit/s, 48000 Hz, Mono"},
    };
    const std::uint16_t delay = LameEncoderDelay();
    for (const RoundTrip& test : cases) {
        SCOPED_TRACE(std::to_string(test.source.wBitsPerSample) + " bits, " +
                     std::to_string(test.source.nChannels) + " channels, " +
                     std::to_string(test.source.nSamplesPerSec) + " Hz to " + test.format);
        const std::vector<OfferedFormat> formats = Offered(test.source);
        const OfferedFormat* format = Find(formats, test.format);
        ASSERT_NE(format, nullptr);
        const MPEGLAYER3WAVEFORMAT record = RecordOf(*format);
        std::unique_ptr<CodecStream> stream = OpenStream(test.source, *format);
        ASSERT_NE(stream, nullptr);
        const std::uint32_t inputFrames = 2 * test.source.nSamplesPerSec + 7;
        const std::vector<unsigned char> mp3 =
            test::EncodeLikeWorker(*stream, SinePcm(test.source, inputFrames)).output;

        const FrameHeader first = ParseFrameHeader(mp3);
        ASSERT_TRUE(first.valid);
        EXPECT_EQ(first.kbps, Kbps(record));
        EXPECT_EQ(first.rate, record.wfx.nSamplesPerSec);
        EXPECT_EQ(first.mono, record.wfx.nChannels == 1);
        const std::size_t frameSize = record.nBlockSize + (first.padded ? 1u : 0u);
        ASSERT_GT(mp3.size(), frameSize);
        const std::string firstFrame(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(frameSize));
        EXPECT_EQ(firstFrame.find("Xing"), std::string::npos);
        EXPECT_EQ(firstFrame.find("Info"), std::string::npos);
        EXPECT_TRUE(ParseFrameHeader({mp3.begin() + static_cast<std::ptrdiff_t>(frameSize), mp3.end()}).valid)
            << "the second frame does not start where nBlockSize says";

        const Decoded decoded = DecodeWithMpg123(mp3);
        EXPECT_EQ(decoded.exitStatus, 0);
        EXPECT_EQ(decoded.channels, record.wfx.nChannels);
        EXPECT_EQ(decoded.rate, record.wfx.nSamplesPerSec);
        const std::uint32_t samplesPerFrame = record.wfx.nSamplesPerSec >= 32000 ? 1152 : 576;
        const double expected =
            static_cast<double>(inputFrames) * record.wfx.nSamplesPerSec / test.source.nSamplesPerSec;
        // LAME pads the end to whole frames, with at least 576 samples so that the last input
        // granule decodes completely.
        EXPECT_GE(decoded.frames, expected + delay);
        EXPECT_LE(decoded.frames, expected + delay + samplesPerFrame + 576 + 16);

        // The input's tones come back at their level: a mono output carries the mean of both
        // channels, so each tone at half the level.
        const std::uint32_t skip = delay + samplesPerFrame;
        const auto end = static_cast<std::uint32_t>(expected);
        const double inputHz[2] = {440.0, 660.0};
        for (int channel = 0; channel < decoded.channels; ++channel) {
            for (int tone = 0; tone < test.source.nChannels; ++tone) {
                if (decoded.channels == 2 && tone != channel)
                    continue;
                const Tone fitted = FitTone(decoded, channel, inputHz[tone], skip, end);
                const double level = decoded.channels < test.source.nChannels ? 0.25 : 0.5;
                EXPECT_NEAR(fitted.amplitude, level, 0.15 * level)
                    << "channel " << channel << ", " << inputHz[tone];
                if (decoded.channels == test.source.nChannels) {
                    EXPECT_LT(fitted.residual, 0.05) << "channel " << channel;
                }
            }
        }
    }
}

// Float samples beyond full scale are clipped, NaN is silence: such input encodes to the bytes of
// the same samples clipped by hand.
TEST(LameDriverStream, FloatSamplesBeyondFullScaleAreClipped)
{
    for (const WAVEFORMATEX& source : {Float(44100, 2, 32), Float(44100, 1, 64)}) {
        SCOPED_TRACE(source.wBitsPerSample);
        std::vector<unsigned char> loud;
        std::vector<unsigned char> clipped;
        for (std::uint32_t i = 0; i < source.nSamplesPerSec * source.nChannels; ++i) {
            const double value = 3 * std::sin(2 * M_PI * 440.0 * i / source.nSamplesPerSec);
            test::AppendSample(loud, source, i % 1000 == 0 ? std::nan("") : value);
            test::AppendSample(clipped, source, i % 1000 == 0 ? 0.0 : std::clamp(value, -1.0, 1.0));
        }
        const OfferedFormat format = Offered(source).front();
        const std::unique_ptr<CodecStream> loudStream = OpenStream(source, format);
        const std::unique_ptr<CodecStream> clippedStream = OpenStream(source, format);
        ASSERT_TRUE(loudStream && clippedStream);
        EXPECT_EQ(test::EncodeLikeWorker(*loudStream, loud).output,
                  test::EncodeLikeWorker(*clippedStream, clipped).output);
    }
}

TEST(LameDriverStream, BlockAlignLeavesPartialFramesAndEndTakesAll)
{
    const WAVEFORMATEX source = Pcm(44100, 2, 24);
    const std::vector<OfferedFormat> formats = Offered(source);
    std::unique_ptr<CodecStream> stream = OpenStream(source, formats.front());
    ASSERT_NE(stream, nullptr);
    std::uint32_t outputSize = 0;
    ASSERT_EQ(stream->OutputSize(kBlockBytes, outputSize), mmresult::kNoError);
    std::vector<unsigned char> pcm = SinePcm(source, 4 * kBlockBytes);
    std::vector<unsigned char> destination(outputSize);
    ACMSTREAMHEADER header{};
    header.pbSrc = pcm.data();
    header.cbSrcLength = kBlockBytes;
    header.pbDst = destination.data();
    header.cbDstLength = outputSize;

    ASSERT_EQ(stream->Convert(header, kConvertBlockAlign), mmresult::kNoError);
    EXPECT_EQ(header.cbSrcLengthUsed, kBlockBytes - kBlockBytes % 6);
    header.cbSrcLength = 5;
    ASSERT_EQ(stream->Convert(header, kConvertBlockAlign), mmresult::kNoError);
    EXPECT_EQ(header.cbSrcLengthUsed, 0u);
    EXPECT_EQ(header.cbDstLengthUsed, 0u);

    // END uses every byte, flushes the encoder's frames once, and then has nothing more.
    header.cbSrcLength = 1001;
    ASSERT_EQ(stream->Convert(header, kConvertEnd), mmresult::kNoError);
    EXPECT_EQ(header.cbSrcLengthUsed, 1001u);
    EXPECT_GT(header.cbDstLengthUsed, 0u);
    EXPECT_TRUE(ParseFrameHeader(destination).valid);
    for (int call = 0; call < 2; ++call) {
        header.cbSrcLength = 0;
        ASSERT_EQ(stream->Convert(header, kConvertEnd), mmresult::kNoError);
        EXPECT_EQ(header.cbDstLengthUsed, 0u);
    }
    header.cbSrcLength = kBlockBytes;
    EXPECT_NE(stream->Convert(header, kConvertBlockAlign), mmresult::kNoError);
    EXPECT_EQ(header.cbSrcLengthUsed, 0u);
    EXPECT_EQ(header.cbDstLengthUsed, 0u);
}

// Noise through every offered format of several sources: LAME takes every offered format and
// produces frames of it, and the size OutputSize gives for a 2048-byte block is never overrun
// (EncodeLikeWorker checks the guard bytes behind it).
TEST(LameDriverStream, OutputSizeHoldsForEveryFormat)
{
    for (const WAVEFORMATEX& source :
         {Pcm(44100, 2, 16), Pcm(48000, 1, 8), Pcm(32000, 2, 32), Pcm(192000, 2, 24), Float(192000, 2, 64)}) {
        const std::vector<unsigned char> noise = NoisePcm(source, source.nSamplesPerSec / 4);
        for (const OfferedFormat& format : Offered(source)) {
            SCOPED_TRACE(std::to_string(source.nSamplesPerSec) + " Hz source to " + format.description);
            std::unique_ptr<CodecStream> stream = OpenStream(source, format);
            ASSERT_NE(stream, nullptr);
            const FrameHeader first = ParseFrameHeader(test::EncodeLikeWorker(*stream, noise).output);
            const MPEGLAYER3WAVEFORMAT record = RecordOf(format);
            ASSERT_TRUE(first.valid);
            EXPECT_EQ(first.kbps, Kbps(record));
            EXPECT_EQ(first.rate, record.wfx.nSamplesPerSec);
            EXPECT_EQ(first.mono, record.wfx.nChannels == 1);
        }
    }
}

TEST(LameDriverStream, TooSmallDestinationIsRefusedWithoutWriting)
{
    const WAVEFORMATEX source = Pcm(44100, 2, 16);
    std::unique_ptr<CodecStream> stream =
        OpenStream(source, *Find(Offered(source), "128 kBit/s, 44100 Hz, Stereo"));
    ASSERT_NE(stream, nullptr);
    std::uint32_t outputSize = 0;
    ASSERT_EQ(stream->OutputSize(kBlockBytes, outputSize), mmresult::kNoError);
    std::vector<unsigned char> pcm = NoisePcm(source, kBlockBytes / 4);
    std::vector<unsigned char> destination(outputSize, kGuardByte);
    ACMSTREAMHEADER header{};
    header.pbSrc = pcm.data();
    header.cbSrcLength = kBlockBytes;
    header.pbDst = destination.data();
    header.cbDstLength = 100;
    EXPECT_EQ(stream->Convert(header, kConvertBlockAlign), mmresult::kInvalidParam);
    EXPECT_EQ(header.cbSrcLengthUsed, 0u);
    EXPECT_EQ(header.cbDstLengthUsed, 0u);
    EXPECT_EQ(std::count(destination.begin(), destination.end(), kGuardByte), static_cast<long>(outputSize));
    // The refusal leaves the stream usable.
    header.cbDstLength = outputSize;
    EXPECT_EQ(stream->Convert(header, kConvertBlockAlign), mmresult::kNoError);
    EXPECT_EQ(header.cbSrcLengthUsed, kBlockBytes);
}

TEST(LameDriverStream, OpenRefusesFormatsNotOfferedForTheSource)
{
    LameDriver driver;
    const WAVEFORMATEX source = Pcm(44100, 1, 16);
    const std::vector<OfferedFormat> formats = Offered(source);
    const OfferedFormat* format = Find(formats, "128 kBit/s, 44100 Hz, Mono");
    ASSERT_NE(format, nullptr);
    const std::vector<unsigned char> good = format->format;
    std::unique_ptr<CodecStream> stream;
    ASSERT_EQ(driver.OpenStream(source, good.data(), good.size(), stream), mmresult::kNoError);

    const auto variant = [&](auto change) {
        MPEGLAYER3WAVEFORMAT record = RecordOf(*format);
        change(record);
        std::vector<unsigned char> bytes(sizeof record);
        std::memcpy(bytes.data(), &record, sizeof record);
        return bytes;
    };
    const std::vector<std::vector<unsigned char>> refused = {
        variant([](MPEGLAYER3WAVEFORMAT& r) { r.wfx.nChannels = 2; }),
        variant([](MPEGLAYER3WAVEFORMAT& r) { r.wfx.nSamplesPerSec = 48000; }),
        variant([](MPEGLAYER3WAVEFORMAT& r) { r.wfx.nAvgBytesPerSec = 18000; }), // 144 kbit/s is MPEG-2 only
        variant([](MPEGLAYER3WAVEFORMAT& r) { r.wfx.nAvgBytesPerSec = 16001; }),
        variant([](MPEGLAYER3WAVEFORMAT& r) { r.wfx.wFormatTag = kWaveFormatPcm; }),
        variant([](MPEGLAYER3WAVEFORMAT& r) {
            r.wfx.nSamplesPerSec = 11025;
            r.wfx.nAvgBytesPerSec = 10000; // 80 kbit/s is above MPEG-2.5's range
        }),
    };
    for (const std::vector<unsigned char>& bytes : refused) {
        ASSERT_EQ(driver.OpenStream(source, good.data(), good.size(), stream), mmresult::kNoError);
        EXPECT_EQ(driver.OpenStream(source, bytes.data(), bytes.size(), stream), mmresult::kNotPossible);
        EXPECT_EQ(stream, nullptr);
    }
    EXPECT_EQ(driver.OpenStream(source, good.data(), good.size() - 1, stream), mmresult::kNotPossible);
    EXPECT_EQ(driver.OpenStream(source, nullptr, good.size(), stream), mmresult::kNotPossible);
    EXPECT_EQ(driver.OpenStream(Pcm(7999, 1, 16), good.data(), good.size(), stream), mmresult::kNotPossible);
}

} // namespace
} // namespace cantrix
