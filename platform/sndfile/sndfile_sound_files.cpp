// SPDX-License-Identifier: GPL-3.0-or-later
#include "sndfile_sound_files.h"

#include "platform/failure.h"
#include "platform/std/errno_failure.h"
#include "platform/std/posix_file.h"
#include "sound_header.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <unistd.h>

namespace kestrix::platform {

namespace {

// Samples read from the library at a time, all channels together: memory stays fixed for any length
// and any number of channels.
constexpr sf_count_t lngBlockSamples = 64 * 1024;

// A normalised sample (full scale +-1) in 16-bit counts.
constexpr double dblCountsPerFullScale = 32768.0;

// The bytes the library reads, through its virtual I/O: a file (read at an offset of our own, so a
// read error is ours to report) or bytes in memory.
struct ByteSource
{
    int fd = -1;
    std::vector<std::uint8_t> bytMemory;
    sf_count_t lngSize = 0;
    sf_count_t lngPos = 0;
    int intReadErrno = 0; // the first failed read

    ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;
    ~ByteSource()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    // Up to lngCount bytes at lngAt; fewer at the end (or after a read error).
    sf_count_t readAt(void* pDest, sf_count_t lngCount, sf_count_t lngAt)
    {
        lngCount = std::clamp<sf_count_t>(lngSize - lngAt, 0, std::max<sf_count_t>(lngCount, 0));
        if (lngCount == 0) {
            return 0; // also where there are no bytes at all, whose data pointer may be null
        }
        if (fd < 0) {
            std::memcpy(pDest, bytMemory.data() + lngAt, static_cast<std::size_t>(lngCount));
            return lngCount;
        }
        sf_count_t lngDone = 0;
        while (lngDone < lngCount) {
            const ssize_t lngRead = ::pread(fd, static_cast<char*>(pDest) + lngDone,
                                            static_cast<std::size_t>(lngCount - lngDone), lngAt + lngDone);
            if (lngRead < 0 && errno == EINTR) {
                continue;
            }
            if (lngRead <= 0) {
                intReadErrno = lngRead < 0 && intReadErrno == 0 ? errno : intReadErrno;
                break;
            }
            lngDone += lngRead;
        }
        return lngDone;
    }
};

sf_count_t sourceLength(void* pUser)
{
    return static_cast<ByteSource*>(pUser)->lngSize;
}

sf_count_t sourceSeek(sf_count_t lngOffset, int intWhence, void* pUser)
{
    ByteSource& source = *static_cast<ByteSource*>(pUser);
    const sf_count_t lngBase = intWhence == SEEK_CUR ? source.lngPos : intWhence == SEEK_END ? source.lngSize : 0;
    // A header may state any offset: beyond the ends it is held at them, never wrapped.
    if (lngOffset > 0 && lngBase > std::numeric_limits<sf_count_t>::max() - lngOffset) {
        source.lngPos = source.lngSize;
    } else {
        source.lngPos = std::clamp<sf_count_t>(lngBase + lngOffset, 0, source.lngSize);
    }
    return source.lngPos;
}

sf_count_t sourceRead(void* pDest, sf_count_t lngCount, void* pUser)
{
    ByteSource& source = *static_cast<ByteSource*>(pUser);
    const sf_count_t lngRead = source.readAt(pDest, lngCount, source.lngPos);
    source.lngPos += lngRead;
    return lngRead;
}

sf_count_t sourceWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t sourceTell(void* pUser)
{
    return static_cast<ByteSource*>(pUser)->lngPos;
}

// A double in its shortest round-trip form ("1e+306"), for messages.
std::string shortestText(double dblValue)
{
    char chrText[32];
    const auto result = std::to_chars(std::begin(chrText), std::end(chrText), dblValue);
    return std::string(chrText, result.ptr);
}

SF_VIRTUAL_IO virtualIo = {&sourceLength, &sourceSeek, &sourceRead, &sourceWrite, &sourceTell};

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
    return strExtension == "aif" || strExtension == "wave" || strExtension == "mp3";
}

class SndfileStream final : public SampleStream
{
public:
    SndfileStream(std::unique_ptr<ByteSource> source, SNDFILE* sndFile, const SF_INFO& info, std::int32_t lngChannel,
                  std::string strName)
        : source(std::move(source)), sndFile(sndFile), info(info), lngChannel(lngChannel), strName(std::move(strName))
    {
        sf_command(sndFile, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
        dblFrames.resize(static_cast<std::size_t>(lngBlockFrames * info.channels));
        if (blnIntegerPcm) {
            intFrames.resize(dblFrames.size());
        }
    }
    ~SndfileStream() override
    {
        sf_close(sndFile);
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
                if (source->intReadErrno != 0) {
                    raiseForErrno(source->intReadErrno, true, strName);
                }
                if (sf_error(sndFile) != SF_ERR_NO_ERROR) {
                    strRefusal = sf_strerror(sndFile);
                }
            }
            if (blnIntegerPcm) {
                lngFramesRead += static_cast<std::int64_t>(lngRead);
                lngDone += lngRead;
            } else {
                lngDone += takeFinite(dblCounts.subspan(lngDone, lngRead));
            }
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
    // Turns the normalised samples of dblRead into counts, up to the first that is not a finite number
    // (or whose count is not: a double file may hold 1e306), which ends the stream with a refusal naming
    // it: a NaN or an infinity would make every line of a spectrum meaningless.
    std::size_t takeFinite(std::span<double> dblRead)
    {
        // x * 0 is 0 for a finite x and NaN else: the sum of four lanes of them, which the compiler keeps
        // in vector registers, says whether any count is not finite; only then is the block searched.
        double dblLanes[4] = {};
        std::size_t j = 0;
        for (; j + 4 <= dblRead.size(); j += 4) {
            for (std::size_t l = 0; l < 4; ++l) {
                dblLanes[l] += dblRead[j + l] * dblCountsPerFullScale * 0.0;
            }
        }
        for (; j < dblRead.size(); ++j) {
            dblLanes[0] += dblRead[j] * dblCountsPerFullScale * 0.0;
        }
        if ((dblLanes[0] + dblLanes[1]) + (dblLanes[2] + dblLanes[3]) == 0.0) {
            for (double& dblValue : dblRead) {
                dblValue *= dblCountsPerFullScale;
            }
            lngFramesRead += static_cast<std::int64_t>(dblRead.size());
            return dblRead.size();
        }
        for (std::size_t i = 0; i < dblRead.size(); ++i) {
            const double dblNormalised = dblRead[i];
            dblRead[i] *= dblCountsPerFullScale;
            if (!std::isfinite(dblRead[i])) {
                const std::string strSample = "sample " +
                                              std::to_string(lngFramesRead + static_cast<std::int64_t>(i) + 1) +
                                              " of channel " + std::to_string(lngChannel);
                strRefusal = std::isfinite(dblNormalised) ? strSample + " is too large to read (" +
                                                                shortestText(dblNormalised) + " times full scale)"
                                                          : strSample + " is not a finite number (" +
                                                                (std::isnan(dblNormalised) ? "NaN"
                                                                 : dblNormalised > 0       ? "+infinity"
                                                                                           : "-infinity") +
                                                                ")";
                blnEnded = true;
                lngFramesRead += static_cast<std::int64_t>(i);
                return i;
            }
        }
        lngFramesRead += static_cast<std::int64_t>(dblRead.size());
        return dblRead.size();
    }

    // Reads samples of the chosen channel into the start of dblOut (counts of integer PCM, else
    // normalised samples); 0 at the end. The library is always asked for whole blocks of
    // lngBlockFrames frames, whatever the caller asks for: some of its decoders (ALAC) end early when
    // asked for a frame or two at a time, and a recording must read the same in any blocks.
    std::size_t readBlock(std::span<double> dblOut)
    {
        if (lngTaken == lngBuffered) {
            // A whole block straight into the caller's where it has room and nothing needs parting.
            const bool blnDirect =
                dblOut.size() >= static_cast<std::size_t>(lngBlockFrames) && (blnIntegerPcm || info.channels == 1);
            const std::size_t lngFrames = readFrames(blnDirect ? dblOut.data() : dblFrames.data());
            if (blnDirect) {
                return lngFrames;
            }
            lngBuffered = lngFrames;
            lngTaken = 0;
        }
        const std::size_t lngCount = std::min(dblOut.size(), lngBuffered - lngTaken);
        std::copy_n(dblFrames.begin() + static_cast<std::ptrdiff_t>(lngTaken), lngCount, dblOut.begin());
        lngTaken += lngCount;
        return lngCount;
    }

    // The next block's samples of the chosen channel into dblTarget (room for a block's frames; all of
    // their channels where it is dblFrames); how many. Integer PCM is read as the library's 32-bit
    // integers (the sample in the high bits) and turned into counts by a power of two: the same
    // numbers as its normalised doubles times full scale, in one pass and with nothing to check.
    std::size_t readFrames(double* dblTarget)
    {
        const auto lngChannels = static_cast<std::size_t>(info.channels);
        const auto lngOffset = static_cast<std::size_t>(lngChannel - 1);
        if (blnIntegerPcm) {
            const auto lngFrames = static_cast<std::size_t>(
                std::max<sf_count_t>(sf_readf_int(sndFile, intFrames.data(), lngBlockFrames), 0));
            constexpr double dblCountsPerInt = 1.0 / 65536.0; // 2^31 full scale to 2^15
            for (std::size_t i = 0; i < lngFrames; ++i) {
                dblTarget[i] = intFrames[i * lngChannels + lngOffset] * dblCountsPerInt;
            }
            return lngFrames;
        }
        const auto lngFrames =
            static_cast<std::size_t>(std::max<sf_count_t>(sf_readf_double(sndFile, dblTarget, lngBlockFrames), 0));
        // The chosen channel to the front, in place (each sample moves down or stays).
        for (std::size_t i = 0; i < lngFrames && lngChannels > 1; ++i) {
            dblTarget[i] = dblTarget[i * lngChannels + lngOffset];
        }
        return lngFrames;
    }

    static bool integerPcm(int intFormat)
    {
        const int intSubtype = intFormat & SF_FORMAT_SUBMASK;
        return intSubtype == SF_FORMAT_PCM_S8 || intSubtype == SF_FORMAT_PCM_U8 || intSubtype == SF_FORMAT_PCM_16 ||
               intSubtype == SF_FORMAT_PCM_24 || intSubtype == SF_FORMAT_PCM_32;
    }

    std::unique_ptr<ByteSource> source;
    SNDFILE* sndFile;
    SF_INFO info;
    std::int32_t lngChannel;
    std::string strName;
    sf_count_t lngBlockFrames = std::max<sf_count_t>(lngBlockSamples / info.channels, 1);
    bool blnIntegerPcm = integerPcm(info.format);
    std::vector<double> dblFrames; // a block of interleaved frames, then its chosen channel's samples
    std::vector<int> intFrames;    // integer PCM: a block of interleaved frames
    std::size_t lngBuffered = 0;   // samples of the chosen channel in dblFrames
    std::size_t lngTaken = 0;      // of those, handed out
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

// Opens strName for reading without waiting (a FIFO would wait for a writer): a folder and anything
// that is not a regular file is refused as the text reader refuses it.
std::unique_ptr<ByteSource> openFileSource(const std::string& strName)
{
    const OpenedFile opened = openForReading(strName, true);
    auto source = std::make_unique<ByteSource>();
    source->fd = opened.fd;
    source->lngSize = static_cast<sf_count_t>(opened.lngBytes);
    return source;
}

// Opens the bytes of source as a sound file (strName for the extension and the messages).
SoundOpening openSource(std::unique_ptr<ByteSource> source, const std::string& strName, std::int32_t lngChannel)
{
    std::vector<std::uint8_t> bytStart(lngSniffBytes);
    const auto lngStart =
        static_cast<std::size_t>(source->readAt(bytStart.data(), static_cast<sf_count_t>(bytStart.size()), 0));
    const std::span<const std::uint8_t> bytHead(bytStart.data(), lngStart);
    // Text and MPEG audio never reach the library: its MPEG decoder writes to standard error on its
    // own when a file only looks like MPEG (as UTF-16 text does), and MPEG is refused in any case.
    switch (sniffSoundHead(bytHead)) {
    case HeadKind::Utf16Text:
        return hasSoundExtension(strName) ? refused("the sound file cannot be read: it is UTF-16 text")
                                          : SoundOpening{};
    case HeadKind::Mpeg:
        return hasSoundExtension(strName)
                   ? refused("the sound file's encoding (MPEG audio) is compressed with loss; PCM, floating-point and "
                             "lossless files are read")
                   : SoundOpening{};
    case HeadKind::Other:
        break;
    }
    if (std::string strWhy = statedRateRefusal(bytHead); !strWhy.empty()) {
        return refused(std::move(strWhy));
    }
    SF_INFO info{};
    SNDFILE* sndFile = sf_open_virtual(&virtualIo, SFM_READ, &info, source.get());
    if (sndFile == nullptr) {
        if (source->intReadErrno != 0) {
            raiseForErrno(source->intReadErrno, true, strName);
        }
        const int intError = sf_error(nullptr);
        std::string strReason = sf_strerror(nullptr);
        if (intError == SF_ERR_UNRECOGNISED_FORMAT && !hasSoundExtension(strName)) {
            return {};
        }
        return refused("the sound file cannot be read: " + strReason);
    }
    const auto reject = [&](std::string strWhy) {
        sf_close(sndFile);
        return refused(std::move(strWhy));
    };
    if (!isExactEncoding(info.format)) {
        return reject("the sound file's encoding (" + encodingName(info.format) +
                      ") is compressed with loss; PCM, floating-point and lossless files are read");
    }
    if (std::string strWhy = rateRefusal(bytHead, info.samplerate); !strWhy.empty()) {
        return reject(std::move(strWhy));
    }
    if (lngChannel < 1 || lngChannel > info.channels) {
        return reject("channel " + std::to_string(lngChannel) + " asked for; the sound file has " +
                      std::to_string(info.channels) + (info.channels == 1 ? " channel" : " channels"));
    }
    SoundOpening opening;
    opening.outcome = SoundOpening::Outcome::Opened;
    opening.stream = std::make_unique<SndfileStream>(std::move(source), sndFile, info, lngChannel, strName);
    return opening;
}

} // namespace

SoundOpening SndfileSoundFiles::openSound(std::string_view strPath, std::int32_t lngChannel)
{
    const std::string strName(strPath);
    return openSource(openFileSource(strName), strName, lngChannel);
}

SoundOpening openSoundBytes(std::span<const std::uint8_t> bytData, std::string_view strName, std::int32_t lngChannel)
{
    auto source = std::make_unique<ByteSource>();
    source->bytMemory.assign(bytData.begin(), bytData.end());
    source->lngSize = static_cast<sf_count_t>(bytData.size());
    return openSource(std::move(source), std::string(strName), lngChannel);
}

} // namespace kestrix::platform
