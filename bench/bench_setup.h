#pragma once

#include "platform/platform_ui.h"

#include <cstdint>
#include <string>

namespace kestrix::bench {

constexpr std::int32_t lngBenchPoints = 65536;
constexpr std::int32_t lngBenchSampFreq = 1024; // Hz

// A folder for the benchmarks' files, on tmpfs where /dev/shm exists (so the figures measure the
// program, not the disk), removed with everything in it at destruction.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const
    {
        return strPath;
    }

private:
    std::string strPath;
};

// The shared folder and the recording in it, made once for the whole binary.
struct BenchFiles
{
    std::string strFolder;
    std::string strRecording; // 65536 lines of converter counts, CR LF
};
const BenchFiles& benchFiles();

// The text of a vibration recording in converter counts: a shaft tone with harmonics, a bearing
// tone, mains hum, a DC offset and noise, rounded to whole counts and clipped to 16 bits.
std::string makeRecordingText(std::int32_t lngLines, std::int32_t lngSampFreq);

// PlatformUi of an unattended run: the dialog answers with one fixed path, messages are counted and
// the last exclamation (a refusal) is kept so a benchmark can stop on it.
class FixedChoiceUi final : public platform::PlatformUi
{
public:
    explicit FixedChoiceUi(std::string strChoice) : strChoice(std::move(strChoice)) {}

    void showMessage(std::string_view strText, platform::MessageStyle style,
                     std::optional<std::string_view> strTitle) override;
    std::string chooseOpenFile(const platform::OpenFileRequest& request) override;
    void setBusyPointer(bool blnBusy) override;

    std::string strLastRefusal;

private:
    std::string strChoice;
};

} // namespace kestrix::bench
