// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum view's spectrogram page with real widgets: a chirp read through the view, and a click
// on a time showing that segment's spectrum.
#include "view_fixture.h"

namespace kestrix::ui {
namespace {

// A tone sweeping up from 20 to 380 Hz over four minutes (1.5 Hz a second), read through the view:
// every time column of its spectrogram has its highest level within one line of the tone's frequency
// at the column's time.
TEST_F(ViewAnalysisTest, TheChirpsSpectrogramPeaksAtItsFrequencyInEveryColumn)
{
    open(writeChirp());
    const engine::Spectrogram* spectrogram = panel.spectrogramPlot().spectrogram();
    ASSERT_NE(spectrogram, nullptr);
    ASSERT_EQ(spectrogram->segmentCount(), (245760 - 1024) / 512 + 1);
    ASSERT_EQ(spectrogram->segmentsPerColumn(), 1);
    ASSERT_EQ(spectrogram->linesPerRow(), 1);
    for (std::size_t c = 0; c < spectrogram->columnCount(); ++c) {
        const std::span<const float> sngLevels = spectrogram->columnLevels(c);
        const auto highest = std::max_element(sngLevels.begin() + 1, sngLevels.end()); // 0 Hz left out
        const double dblFreq = chirpFrequency(spectrogram->segmentTime(static_cast<std::int64_t>(c)));
        ASSERT_NEAR(static_cast<double>(highest - sngLevels.begin()), dblFreq / spectrogram->deltaFreq(), 1.0)
            << "column " << c << " at " << spectrogram->segmentTime(static_cast<std::int64_t>(c)) << " s";
    }
}

// A click on a time of the spectrogram shows that segment's spectrum on the spectrum page, as a
// direct transform of its windowed samples gives it; the arrow keys step to the next segment and keep
// the spectrogram in front.
TEST_F(ViewAnalysisTest, AClickOnTheSpectrogramShowsThatSegmentsSpectrum)
{
    const std::string strPath = writeChirp();
    open(strPath);
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Rms));
    panel.pages().setCurrentIndex(1);
    SpectrogramPlot& spectrogramPlot = panel.spectrogramPlot();
    const engine::Spectrogram& spectrogram = *spectrogramPlot.spectrogram();
    QApplication::processEvents();
    constexpr std::int64_t lngPicked = 123;
    const QPointF point = spectrogramPlot.pointOf(spectrogram.segmentTime(lngPicked), 200.0);
    QTest::mouseClick(&spectrogramPlot, Qt::LeftButton, {}, point.toPoint());
    waitForReading();
    ASSERT_EQ(panel.shownSegment(), std::optional<std::int64_t>(lngPicked));
    EXPECT_EQ(panel.pages().currentIndex(), 0) << "the spectrum page comes to the front";
    EXPECT_TRUE(panel.plot().traces().front().strName.contains(QStringLiteral("区間 123（")))
        << panel.plot().traces().front().strName.toStdString();
    expectSegmentSpectrum(lngPicked);

    panel.pages().setCurrentIndex(1);
    QTest::keyClick(&spectrogramPlot, Qt::Key_Right);
    waitForReading();
    EXPECT_EQ(panel.shownSegment(), std::optional<std::int64_t>(lngPicked + 1));
    EXPECT_EQ(panel.pages().currentIndex(), 1) << "a key keeps the spectrogram in front";
    expectSegmentSpectrum(lngPicked + 1);

    // A setting brings the average back.
    choose("cboUnits", static_cast<int>(engine::SpectrumUnits::Peak));
    EXPECT_FALSE(panel.shownSegment());
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
} // namespace kestrix::ui
