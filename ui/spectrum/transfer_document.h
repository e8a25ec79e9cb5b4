// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/transfer_analysis.h"
#include "platform/platform_ui.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"
#include "view_analysis.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

namespace kestrix::ui {

class AnalysisJob;
class ViewDocument;

// What a two-channel reading reads: the recording, its input and output (columns or channels, from 1)
// and how its segments are cut and windowed. Any other source needs a new reading.
struct TransferSource
{
    ViewRecording recording;
    int intInput = 1;
    int intOutput = 2;
    engine::WindowKind window = engine::WindowKind::Hann;
    double dblOverlap = 50.0;
    engine::Detrend detrend = engine::Detrend::None;
};
bool sameSource(const TransferSource& a, const TransferSource& b);

// The frequency response shown: what was read, the request with the units and threshold shown, and the
// result for them.
struct TransferShown
{
    TransferSource source;
    engine::TransferRequest request;
    engine::TransferFileResult result;
};

// The document's two channels: which signals of its recording are the input and the output (chosen
// from its columns or channels as it is opened, else those offeredPair offers; then on the page), the
// sensitivity of each, the coherence threshold, and the frequency response of the pair. The response
// is read off the window's thread while a page wants it: when the page is shown, and whenever the
// recording, the pair or the analysis settings (N, window, overlap, detrending; always the mean) change
// meanwhile. A reading's result replaces the one shown in one step; other units or another threshold
// are worked out from the spectra kept, without reading again. A recording of one signal has no pair,
// and the note says so.
class TransferDocument final : public QObject
{
    Q_OBJECT

public:
    TransferDocument(ViewDocument& document, platform::PlatformUi& ui, platform::TextFiles& files,
                     platform::SoundFiles& sounds);
    ~TransferDocument() override;
    TransferDocument(const TransferDocument&) = delete;
    TransferDocument& operator=(const TransferDocument&) = delete;

    // The recording's signals as the source chooser lists them ("2: force", "チャンネル 1"); fewer than
    // two: there is no pair.
    const QStringList& signalEntries() const
    {
        return strEntries;
    }
    int input() const
    {
        return intInput;
    }
    int output() const
    {
        return intOutput;
    }
    void setSignals(int intNewInput, int intNewOutput);
    const engine::EngineeringUnit& inputUnit() const
    {
        return unitInput;
    }
    const engine::EngineeringUnit& outputUnit() const
    {
        return unitOutput;
    }
    void setUnits(const engine::EngineeringUnit& input, const engine::EngineeringUnit& output);
    double threshold() const
    {
        return dblThreshold;
    }
    void setThreshold(double dblNewThreshold);
    // Whether a page shows the response: readings are made only while one does.
    void setWanted(bool blnNewWanted);

    // The response shown, null without one; why there is none (one signal, the same signal twice, a
    // refusal), else empty.
    const TransferShown* shown() const
    {
        return lastShown.get();
    }
    QString note() const;
    bool busy() const
    {
        return pending.has_value();
    }
    double share() const;
    void cancel();

    // The frequency response file of the response shown, as kestrix-batch --transfer writes it: the
    // name proposed beside the recording, the refusal of a name (none shown, the recording itself),
    // and the saving (a failure shown as a message; the result says whether it was written).
    std::string proposedFileName() const;
    std::string fileRefusal(const std::string& strPath) const;
    bool saveFile(const std::string& strPath);

signals:
    // The signals offered or the pair chosen changed.
    void signalsChanged();
    // The response shown or the note changed.
    void transferChanged();
    // A reading started; a reading ended: shown, refused or cancelled.
    void readingStarted();
    void readingEnded();

private:
    struct Pending
    {
        TransferSource source;
        engine::TransferRequest request;
        std::shared_ptr<engine::TransferFileResult> result;
        std::shared_ptr<std::string> strFailure;
    };

    void follow();
    void takeRecording(const std::optional<ViewRecording>& recording);
    std::optional<TransferSource> wantedSource() const;
    engine::TransferRequest requestFor(const TransferSource& source) const;
    void start(const TransferSource& source);
    void stop();
    void finished();
    void refuse(const Pending& done);
    void reestimate();

    ViewDocument& document;
    platform::PlatformUi& ui;
    platform::TextFiles& files;
    platform::SoundFiles& sounds;
    AnalysisJob* job = nullptr;
    std::optional<ViewRecording> recordingSeen; // whose signals are offered
    const void* readingSeen = nullptr;          // the document's reading they were last followed for
    QStringList strEntries;
    int intInput = 1;
    int intOutput = 2;
    engine::EngineeringUnit unitInput;
    engine::EngineeringUnit unitOutput;
    double dblThreshold = engine::dblDefaultCoherenceThreshold;
    bool blnWanted = false;
    std::optional<Pending> pending;
    std::shared_ptr<const TransferShown> lastShown;
    std::optional<TransferSource> leftAlone; // refused or cancelled: not read again until asked
    QString strRefusal;                      // why leftAlone was refused; empty when it was cancelled
};

} // namespace kestrix::ui
