#include "audio/output_naming.h"

#include <gtest/gtest.h>

namespace cantrix {
namespace {

TEST(DeriveOutputPath, BesideTheInput)
{
    EXPECT_EQ(DeriveOutputPath("/music/song.wav", true, ""), "/music/song Layer-3.wav");
    EXPECT_EQ(DeriveOutputPath("/music/song.wav", false, ""), "/music/song.mp3");
    EXPECT_EQ(DeriveOutputPath("/a/TAKE.WAV", true, ""), "/a/TAKE Layer-3.WAV");
    EXPECT_EQ(DeriveOutputPath("/music/song.Wav", true, ""), "/music/song Layer-3.Wav");
    EXPECT_EQ(DeriveOutputPath("/music/song.Wav", false, ""), "/music/song.mp3");
    EXPECT_EQ(DeriveOutputPath("/music/song.aif", true, ""), "/music/song.aif Layer-3.wav");
    EXPECT_EQ(DeriveOutputPath("/music/song.aif", false, ""), "/music/song.aif.mp3");
    EXPECT_EQ(DeriveOutputPath("/music/song", true, ""), "/music/song Layer-3.wav");
    EXPECT_EQ(DeriveOutputPath("/music/song", false, ""), "/music/song.mp3");
    EXPECT_EQ(DeriveOutputPath("wav", false, ""), "wav.mp3");
    EXPECT_EQ(DeriveOutputPath("/mü/ßong.wav", true, ""), "/mü/ßong Layer-3.wav");
}

TEST(DeriveOutputPath, IntoTheConversionDirectory)
{
    EXPECT_EQ(DeriveOutputPath("/music/song.wav", true, "/layer3"), "/layer3/song.wav");
    EXPECT_EQ(DeriveOutputPath("/music/song.wav", false, "/layer3"), "/layer3/song.mp3");
    EXPECT_EQ(DeriveOutputPath("/music/song", false, "/layer3"), "/layer3/song.mp3");
    EXPECT_EQ(DeriveOutputPath("/music/a.b.wav", true, "/layer3"), "/layer3/a.b.wav");
    EXPECT_EQ(DeriveOutputPath("/mus.ic/song", true, "/layer3"), "/layer3/song.wav");
    // The root keeps its separator and the name brings its own.
    EXPECT_EQ(DeriveOutputPath("/music/song.wav", false, "/"), "//song.mp3");
    // A bare relative name is joined with a separator.
    EXPECT_EQ(DeriveOutputPath("song.wav", true, "/layer3"), "/layer3/song.wav");
}

TEST(ReplaceOutputExtension, SwapsOnlyTheExtension)
{
    EXPECT_EQ(ReplaceOutputExtension("/music/song Layer-3.wav", false), "/music/song Layer-3.mp3");
    EXPECT_EQ(ReplaceOutputExtension("/music/song Layer-3.mp3", true), "/music/song Layer-3.wav");
    EXPECT_EQ(ReplaceOutputExtension("/music/song.mp3", true), "/music/song.wav");
    EXPECT_EQ(ReplaceOutputExtension("/mus.ic/song", true), "/mus.ic/song.wav");
    EXPECT_EQ(ReplaceOutputExtension("", true), "");
}

TEST(RebaseOutputPath, MovesTheNameAsItIs)
{
    EXPECT_EQ(RebaseOutputPath("/music/song Layer-3.wav", "/layer3"), "/layer3/song Layer-3.wav");
    EXPECT_EQ(RebaseOutputPath("/music/song.mp3", ""), "/music/song.mp3");
    EXPECT_EQ(RebaseOutputPath("", "/layer3"), "");
    EXPECT_EQ(RebaseOutputPath("song.mp3", "/layer3"), "/layer3/song.mp3");
}

} // namespace
} // namespace cantrix
