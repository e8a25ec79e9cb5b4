// SPDX-License-Identifier: GPL-3.0-or-later
#include "sndfile_sound_files.h"

#include "platform/failure.h"
#include "platform/std/posix_file.h"

#include <sndfile.h>

#include <algorithm>
#include <vector>

namespace kestrix::platform {

namespace {

// Samples read from the library at a time, all channels together: memory stays fixed for any length
// and any number of channels.
constexpr sf_count_t lngBlockSamples = 64 * 1024;

// A normalised sample (full scale +-1) in 16-bit counts.
constexpr double dblCountsPerFullScale = 32768.0;

// Encodings read as they were recorded; all others lose information (or are not samples at all).
bool isExactEncoding(int intFormat)
{
    switch (intFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ALAC_16:
    case SF_FORMAT_ALAC_20:
    case SF_FORMAT_ALAC_24:
    case SF_FORMAT_ALAC_32:
        return true;
    default:
        return false;
    }
}

std::string encodingName(int intFormat)
{
    SF_FORMAT_INFO info{};
    info.format = intFormat & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name != nullptr) {
        return info.name;
    }
    return "encoding " + std::to_string(info.format);
}

// Whether the file name ends in an extension of a container the library reads ("wav", "flac", ...).
bool hasSoundExtension(std::string_view strPath)
{
    const std::string strExtension = lowerCaseExtension(strPath);
    if (strExtension.empty()) {
        return false;
    }
    int intCount = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &intCount, sizeof intCount);
    for (int i = 0; i < intCount; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.extension != nullptr &&
            strExtension == info.extension) {
            return true;
        }
    }
    return strExtension == "aif" || strExtension == "wave";
}

class SndfileStream final : public SampleStream
{
public:
    SndfileStream(int fd, SNDFILE* sndFile, const SF_INFO& info, std::int32_t lngChannel)
        : fd(fd), sndFile(sndFile), info(info), lngChannel(lngChannel)
    {
        sf_command(sndFile, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
        if (info.channels > 1) {
            dblFrames.resize(
                static_cast<std::size_t>(std::max<sf_count_t>(lngBlockSamples / info.channels, 1) * info.channels));
        }
    }
    ~SndfileStream() override
    {
        sf_close(sndFile); // before the descriptor it reads closes with its member
    }
    SndfileStream(const SndfileStream&) = delete;
    SndfileStream& operator=(const SndfileStream&) = delete;

    std::size_t readCounts(std::span<double> dblCounts) override
    {
        std::size_t lngDone = 0;
        while (lngDone < dblCounts.size() && !blnEnded) {
            const std::size_t lngRead = readBlock(dblCounts.subspan(lngDone));
            if (lngRead == 0) {
                blnEnded = true;
                if (sf_error(sndFile) != SF_ERR_NO_ERROR) {
                    strRefusal = sf_strerror(sndFile);
                }
            }
            lngDone += lngRead;
            lngFramesRead += static_cast<std::int64_t>(lngRead);
        }
        for (std::size_t i = 0; i < lngDone; ++i) {
            dblCounts[i] *= dblCountsPerFullScale;
        }
        return lngDone;
    }

    std::string refusal() const override
    {
        return strRefusal;
    }
    std::optional<std::int32_t> statedSampFreq() const override
    {
        return info.samplerate;
    }
    std::int32_t channelCount() const override
    {
        return info.channels;
    }
    std::string sourceDescription() const override
    {
        return "channel " + std::to_string(lngChannel) + " of " + std::to_string(info.channels);
    }
    std::optional<double> shareRead() const override
    {
        if (info.frames <= 0) {
            return std::nullopt;
        }
        return std::min(1.0, static_cast<double>(lngFramesRead) / static_cast<double>(info.frames));
    }

private:
    // Reads normalised samples of the chosen channel into the start of dblOut; 0 at the end.
    std::size_t readBlock(std::span<double> dblOut)
    {
        if (info.channels == 1) {
            const auto lngWanted = static_cast<sf_count_t>(std::min<std::size_t>(dblOut.size(), lngBlockSamples));
            return static_cast<std::size_t>(
                std::max<sf_count_t>(sf_readf_double(sndFile, dblOut.data(), lngWanted), 0));
        }
        const auto lngChannels = static_cast<std::size_t>(info.channels);
        const std::size_t lngWanted = std::min(dblOut.size(), dblFrames.size() / lngChannels);
        const sf_count_t lngFrames = sf_readf_double(sndFile, dblFrames.data(), static_cast<sf_count_t>(lngWanted));
        const auto lngGot = static_cast<std::size_t>(std::max<sf_count_t>(lngFrames, 0));
        const auto lngOffset = static_cast<std::size_t>(lngChannel - 1);
        for (std::size_t i = 0; i < lngGot; ++i) {
            dblOut[i] = dblFrames[i * lngChannels + lngOffset];
        }
        return lngGot;
    }

    FileDescriptor fd;
    SNDFILE* sndFile;
    SF_INFO info;
    std::int32_t lngChannel;
    std::vector<double> dblFrames; // interleaved frames of a file with more than one channel
    std::string strRefusal;
    bool blnEnded = false;
    std::int64_t lngFramesRead = 0;
};

SoundOpening refused(std::string strWhy)
{
    SoundOpening opening;
    opening.outcome = SoundOpening::Outcome::Refused;
    opening.strRefusal = std::move(strWhy);
    return opening;
}

} // namespace

SoundOpening SndfileSoundFiles::openSound(std::string_view strPath, std::int32_t lngChannel)
{
    const std::string strName(strPath);
    // Only a regular file has an end that comes: a FIFO, a device or a socket may be read for ever.
    const int fd = openForReading(strName, true).fd;
    SF_INFO info{};
    // The descriptor stays ours: closed here on every way out, by the stream once it is made.
    SNDFILE* sndFile = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (sndFile == nullptr) {
        const int intError = sf_error(nullptr);
        std::string strReason = sf_strerror(nullptr);
        FileDescriptor(fd).closeNow();
        if (intError == SF_ERR_UNRECOGNISED_FORMAT && !hasSoundExtension(strPath)) {
            return {};
        }
        return refused("the sound file cannot be read: " + strReason);
    }
    const auto reject = [&](std::string strWhy) {
        sf_close(sndFile);
        FileDescriptor(fd).closeNow();
        return refused(std::move(strWhy));
    };
    if (!isExactEncoding(info.format)) {
        return reject("the sound file's encoding (" + encodingName(info.format) +
                      ") is compressed with loss; PCM, floating-point and lossless files are read");
    }
    if (info.samplerate <= 0) {
        return reject("the sound file states no sampling frequency");
    }
    if (lngChannel < 1 || lngChannel > info.channels) {
        return reject("channel " + std::to_string(lngChannel) + " asked for; the sound file has " +
                      std::to_string(info.channels) + (info.channels == 1 ? " channel" : " channels"));
    }
    SoundOpening opening;
    opening.outcome = SoundOpening::Outcome::Opened;
    opening.stream = std::make_unique<SndfileStream>(fd, sndFile, info, lngChannel);
    return opening;
}

} // namespace kestrix::platform
