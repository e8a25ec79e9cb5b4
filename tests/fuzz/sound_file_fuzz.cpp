// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the sound-file path: the bytes of a file go through libsndfile's virtual I/O exactly as a file's
// bytes do (headers that lie about sizes, channels and rates; truncated files; floating-point NaN and
// infinities). The first byte chooses the file's name (its extension), the second the channel asked for
// and a block size; the rest is the file. The properties:
// - nothing writes on standard error (the library's decoders once did, on their own);
// - two openings of the same bytes come to the same outcome, and their streams give the same samples
//   and the same refusal, bit for bit, whatever blocks they are read in;
// - an opened stream states a rate of at least 1 Hz and has the channel asked for; every sample is a
//   finite number, and a stream that has ended gives nothing more;
// - a file named like a sound file is never taken for text.

#include "fuzz/fuzz_support.h"
#include "platform/sndfile/sndfile_sound_files.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

// The sanitizers' reports go to the real standard error while it is caught (where they run).
extern "C" __attribute__((weak)) void __sanitizer_set_report_fd(void* pFd);

namespace {

using namespace kestrix;

class CaughtStandardError;
const CaughtStandardError& caught();

// A broken property is reported on the real standard error, not into the catch.
void require(bool blnHolds, std::string_view strProperty, std::string_view strSubject);

constexpr std::array<std::string_view, 8> strNames = {"in.wav", "in.aiff", "in.flac", "in.caf",
                                                      "in.csv", "in.w64",  "in.au",   "in.txt"};

// Samples read at most from one stream: enough for any header's lie to show, and a bound on the time.
constexpr std::size_t lngMaxSamples = 1 << 20;

struct Reading
{
    platform::SoundOpening::Outcome outcome = platform::SoundOpening::Outcome::NotSound;
    std::string strRefusal;
    std::vector<double> dblCounts;
    std::string strStreamRefusal;
};

Reading openAndRead(std::span<const std::uint8_t> bytFile, std::string_view strName, std::int32_t lngChannel,
                    std::size_t lngBlock)
{
    Reading reading;
    platform::SoundOpening opening = platform::openSoundBytes(bytFile, strName, lngChannel);
    reading.outcome = opening.outcome;
    reading.strRefusal = opening.strRefusal;
    if (opening.outcome != platform::SoundOpening::Outcome::Opened) {
        require(opening.stream == nullptr, "only an opened file has a stream", opening.strRefusal);
        return reading;
    }
    platform::SampleStream& stream = *opening.stream;
    require(stream.statedSampFreq().value_or(0) >= 1, "an opened sound file states a rate of 1 Hz or more", strName);
    require(stream.channelCount() >= lngChannel, "an opened sound file has the channel asked for", strName);
    std::vector<double> dblBlock(lngBlock);
    while (reading.dblCounts.size() < lngMaxSamples) {
        const std::size_t lngGot = stream.readCounts(dblBlock);
        for (std::size_t i = 0; i < lngGot; ++i) {
            require(std::isfinite(dblBlock[i]), "every sample is a finite number", strName);
        }
        reading.dblCounts.insert(reading.dblCounts.end(), dblBlock.begin(),
                                 dblBlock.begin() + static_cast<std::ptrdiff_t>(lngGot));
        if (lngGot < lngBlock) {
            require(stream.readCounts(dblBlock) == 0, "a stream that has ended gives nothing more", strName);
            break;
        }
    }
    reading.strStreamRefusal = stream.refusal();
    return reading;
}

bool sameReading(const Reading& a, const Reading& b)
{
    return a.outcome == b.outcome && a.strRefusal == b.strRefusal && a.strStreamRefusal == b.strStreamRefusal &&
           a.dblCounts.size() == b.dblCounts.size() &&
           std::equal(a.dblCounts.begin(), a.dblCounts.end(), b.dblCounts.begin(), [](double dblX, double dblY) {
               return std::bit_cast<std::uint64_t>(dblX) == std::bit_cast<std::uint64_t>(dblY);
           });
}

// Standard error caught in a scratch file while the library works.
class CaughtStandardError
{
public:
    CaughtStandardError() : fdReal(::dup(STDERR_FILENO))
    {
        std::string strTemplate = (scratch.folder / "stderr-XXXXXX").string();
        fdCaught = ::mkstemp(strTemplate.data());
        if (fdReal < 0 || fdCaught < 0) {
            fuzz::propertyBroken("standard error can be caught", strTemplate);
        }
        if (__sanitizer_set_report_fd != nullptr) {
            __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(fdReal)));
        }
    }
    void begin() const
    {
        std::fflush(stderr);
        if (::ftruncate(fdCaught, 0) != 0 || ::lseek(fdCaught, 0, SEEK_SET) != 0) {
            fuzz::propertyBroken("the catch can be emptied", "");
        }
        ::dup2(fdCaught, STDERR_FILENO);
    }
    // What was written meanwhile, in bytes; standard error is the real one again.
    off_t end() const
    {
        std::fflush(stderr);
        ::dup2(fdReal, STDERR_FILENO);
        struct stat statCaught
        {
        };
        ::fstat(fdCaught, &statCaught);
        return statCaught.st_size;
    }

private:
    fuzz::ScratchFile scratch;
    int fdReal;
    int fdCaught = -1;
};

const CaughtStandardError& caught()
{
    static const CaughtStandardError catcher;
    return catcher;
}

void require(bool blnHolds, std::string_view strProperty, std::string_view strSubject)
{
    if (!blnHolds) {
        caught().end();
        fuzz::propertyBroken(strProperty, strSubject);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbytData, std::size_t lngSize)
{
    if (lngSize < 2) {
        return 0;
    }
    const std::string_view strName = strNames[pbytData[0] % strNames.size()];
    const std::int32_t lngChannel = pbytData[1] % 3 + 1;
    const std::size_t lngBlock = pbytData[1] / 3 % 97 + 1;
    const std::span<const std::uint8_t> bytFile(pbytData + 2, lngSize - 2);
    caught().begin();
    const Reading first = openAndRead(bytFile, strName, lngChannel, 65536);
    const Reading second = openAndRead(bytFile, strName, lngChannel, lngBlock);
    const off_t lngWritten = caught().end();
    require(lngWritten == 0, "nothing writes on standard error", strName);
    require(sameReading(first, second), "two openings of the same bytes read the same", first.strRefusal);
    const bool blnSoundName = !strName.ends_with(".csv") && !strName.ends_with(".txt");
    require(!blnSoundName || first.outcome != platform::SoundOpening::Outcome::NotSound,
            "a file named like a sound file is never taken for text", strName);
    return 0;
}
