// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings analysed in the program's window: opened with Ctrl+R at the sampling frequency, point
// count and range of frmMain's fields (a sound file at its own rate), written nowhere; the run's own
// recording read whole in the background, its block shown as its file holds it, the analysis group
// worked with the keyboard.
#include "engine/run/number_text.h"
#include "engine/run/wave.h"
#include "ui/kestrix_window.h"
#include "ui/spectrum/spectrogram_plot.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/spectrum/spectrum_plot.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>

namespace kestrix::testing {
namespace {

class ViewRecordingTest : public WindowFixture<ui::KestrixWindow>
{
protected:
    ui::SpectrumPanel& panel() const
    {
        return window->spectrum();
    }
    // 16384 counts of a 100 Hz tone (peak 10000) at the given rate, as one-column text.
    QString writeTone(const QString& strName, double dblSampFreq)
    {
        const QString strPath = folder.filePath(strName);
        QFile file(strPath);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 16384; ++i) {
            const double dblValue = 10000 * std::sin(2 * std::numbers::pi * 100 * i / dblSampFreq);
            file.write(QByteArray::number(static_cast<qlonglong>(std::lround(dblValue))) + "\r\n");
        }
        return strPath;
    }
    void waitForReading()
    {
        if (panel().analysing()) {
            QSignalSpy finished(&panel(), &ui::SpectrumPanel::analysisFinished);
            ASSERT_TRUE(finished.wait(60000));
        }
    }
    void pressKeys(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        QTest::keyClick(window->windowHandle(), key, modifiers);
    }
    QStringList folderFiles() const
    {
        return QDir(folder.path()).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir folder;
};

TEST_F(ViewRecordingTest, CtrlROpensARecordingAtTheFieldsValuesAndWritesNoFile)
{
    const QString strText = writeTone(QStringLiteral("tone.csv"), 2048);
    std::vector<std::int16_t> intCounts(16384);
    for (std::size_t i = 0; i < intCounts.size(); ++i) {
        intCounts[i] = engine::waveCount(8000 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(i) / 8000));
    }
    const std::vector<std::uint8_t> bytWave = engine::buildWaveFile(intCounts, 16384, 8000);
    QFile wave(folder.filePath(QStringLiteral("tone.wav")));
    ASSERT_TRUE(wave.open(QIODevice::WriteOnly));
    wave.write(reinterpret_cast<const char*>(bytWave.data()), static_cast<qint64>(bytWave.size()));
    wave.close();

    typeInto("txtSampFreq", QStringLiteral("2048"));
    typeInto("txtMaxVolt", QStringLiteral("10"));
    find<QComboBox>("cboNumSamp")->setCurrentText(QStringLiteral("4096"));
    const QStringList strBefore = folderFiles();
    fakeUi.choices = {strText.toStdString()};
    pressKeys(Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(fakeUi.requests.size(), 1u);
    EXPECT_EQ(fakeUi.requests[0].strTitle, "録音を開く");
    waitForReading();
    ASSERT_TRUE(panel().recording());
    EXPECT_EQ(panel().recording()->lngSampFreq, 2048);
    EXPECT_EQ(panel().recording()->lngNumSamp, 4096);
    EXPECT_EQ(panel().recording()->dblMaxVolt, 10.0);
    // 0.5 Hz lines: the tone on line 200, read at its level (Hann, V p-p: 2 x 10000 counts at 10 V).
    ASSERT_EQ(panel().peaks().front().lngLine, 200);
    EXPECT_NEAR(panel().shownValues()[200], 2 * 10000 * 10.0 / 32767, 1e-3);

    fakeUi.choices = {folder.filePath(QStringLiteral("tone.wav")).toStdString()};
    pressKeys(Qt::Key_R, Qt::ControlModifier);
    waitForReading();
    EXPECT_EQ(panel().recording()->lngSampFreq, 8000) << "the sound file's own rate";
    EXPECT_NEAR(panel().peaks().front().dblEstimatedFreq, 440.0, 0.05);
    EXPECT_EQ(folderFiles(), strBefore) << "opening a recording writes nothing";
    EXPECT_EQ(field("txtSampFreq")->text(), QStringLiteral("2048")) << "the fields stay as they were";
    EXPECT_TRUE(fakeUi.messages.empty());
}

TEST_F(ViewRecordingTest, TheRunsRecordingIsReadWholeAndItsBlockStaysAsWritten)
{
    const QString strText = writeTone(QStringLiteral("run.csv"), 1024);
    fakeUi.choices = {strText.toStdString()};
    QTest::mouseClick(find<QPushButton>("cmdFFT"), Qt::LeftButton);
    ASSERT_EQ(fakeUi.messages.back().strText, "FFT 終了！");
    fakeUi.messages.clear();
    waitForReading();
    const std::vector<double> dblBlock = panel().shownValues();
    ASSERT_NE(panel().spectrogramPlot().spectrogram(), nullptr) << "the whole recording's spectrogram";
    EXPECT_EQ(panel().spectrogramPlot().spectrogram()->segmentCount(), 31);

    // The analysis group by the keyboard: Tab to the averaging list, Down to the mean.
    find<QPushButton>("cmdFFT")->setFocus();
    for (int i = 0; i < 40 && focusName() != QStringLiteral("cboAveraging"); ++i) {
        pressTab();
    }
    ASSERT_EQ(focusName(), QStringLiteral("cboAveraging"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    waitForReading();
    EXPECT_TRUE(panel().plot().traces().front().strName.contains(QStringLiteral("31 回平均")))
        << panel().plot().traces().front().strName.toStdString();
    EXPECT_NE(panel().shownValues(), dblBlock);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    waitForReading();
    EXPECT_EQ(panel().shownValues(), dblBlock) << "the run's block as its file holds it";
    EXPECT_EQ(panel().plot().traces().size(), 2u) << "with its band spectrum";
    EXPECT_TRUE(fakeUi.messages.empty());
}

} // namespace
} // namespace kestrix::testing
