// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/spectrogram.h"
#include "engine/view/spectrogram_image.h"
#include "ui/spectrum/spectrogram_plot.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include <unistd.h>

namespace kestrix::ui {
namespace {

constexpr std::int64_t lngSegments = 40;
constexpr double dblTimeLow = 0.25; // s: 1024 points at 1024 Hz, 50 %: centres from 0.5 s, 0.5 s apart
constexpr double dblTimeHigh = dblTimeLow + lngSegments * 0.5;

// A staircase: segment s has its one strong line at 10 + 5 s Hz (1 Hz lines, 401 of them).
std::size_t stairLine(std::int64_t lngSegment)
{
    return static_cast<std::size_t>(10 + 5 * lngSegment);
}

std::shared_ptr<engine::Spectrogram> staircase()
{
    engine::SpectrogramLayout layout;
    layout.figures = engine::windowFigures(engine::windowCoefficients(engine::WindowKind::Hann, 1024));
    auto spectrogram = std::make_shared<engine::Spectrogram>(layout);
    for (std::int64_t s = 0; s < lngSegments; ++s) {
        std::vector<double> dblPower(401, 1.0);
        dblPower[stairLine(s)] = 1e8;
        spectrogram->addSegment(s, dblPower);
    }
    return spectrogram;
}

class SpectrogramPlotTest : public ::testing::Test
{
protected:
    SpectrogramPlotTest()
    {
        plot.resize(900, 560);
        plot.show();
        plot.setSpectrogram(staircase());
    }

    QImage rendered() const
    {
        QImage image(plot.size(), QImage::Format_RGB32);
        QPainter painter(&image);
        plot.paintPlot(painter, image.rect());
        return image;
    }

    void wheel(QPoint point, int intDelta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWheelEvent event(point, plot.mapToGlobal(point), {}, QPoint(0, intDelta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &event);
    }

    void expectWithinTheData(const char* strStep) const
    {
        SCOPED_TRACE(strStep);
        const engine::SpectrogramView& view = plot.view();
        EXPECT_GE(view.dblLowTime, dblTimeLow - 1e-9);
        EXPECT_LE(view.dblHighTime, dblTimeHigh + 1e-9);
        EXPECT_GE(view.dblLowFreq, -1e-9);
        EXPECT_LE(view.dblHighFreq, 400.0 + 1e-9);
        EXPECT_GE(view.dblHighTime - view.dblLowTime, 1.0 - 1e-9); // two segments at least
        EXPECT_GE(view.dblHighFreq - view.dblLowFreq, 2.0 - 1e-9); // two lines at least
    }

    SpectrogramPlot plot;
};

TEST_F(SpectrogramPlotTest, ClickOnAColumnPicksTheSegmentShownThere)
{
    const QRect area = plot.plotArea();
    const QImage image = rendered();
    // The colour of every segment's strong line.
    const QRgb lngBright = engine::levelColour(plot.spectrogram()->level(0, stairLine(0)), plot.levelRange());
    QSignalSpy picked(&plot, &SpectrogramPlot::segmentPicked);
    for (int i = 1; i < 12; ++i) {
        const QPoint point(area.left() + area.width() * i / 12, area.top() + area.height() / 3);
        SCOPED_TRACE(testing::Message() << "x = " << point.x());
        QTest::mouseClick(&plot, Qt::LeftButton, {}, point);
        ASSERT_EQ(picked.count(), i);
        const auto lngSegment = picked.last().at(0).value<std::int64_t>();
        // Where the picked segment's line is drawn (0 Hz at the bottom, 400 Hz at the top), the
        // column clicked shows the bright colour.
        const double dblY = area.top() + (400.0 - static_cast<double>(stairLine(lngSegment))) / 400.0 * area.height();
        bool blnBright = false;
        for (int y = static_cast<int>(dblY) - 1; y <= static_cast<int>(dblY) + 1; ++y) {
            blnBright = blnBright || image.pixel(point.x(), y) == lngBright;
        }
        EXPECT_TRUE(blnBright) << "segment " << lngSegment << " not drawn at y = " << dblY;
        ASSERT_TRUE(plot.cursorCell().has_value());
        EXPECT_EQ(plot.cursorCell()->lngSegment, lngSegment);
    }
    // Segments 0 and 39 lie at the two ends.
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(area.left() + 1, area.center().y()));
    EXPECT_EQ(picked.last().at(0).value<std::int64_t>(), 0);
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(area.left() + area.width() - 2, area.center().y()));
    EXPECT_EQ(picked.last().at(0).value<std::int64_t>(), lngSegments - 1);
    // A click beside the plot picks nothing.
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(area.left() - 20, area.center().y()));
    EXPECT_EQ(picked.count(), 13);
}

TEST_F(SpectrogramPlotTest, WheelAndPanKeepTheViewWithinTheData)
{
    const QRect area = plot.plotArea();
    EXPECT_DOUBLE_EQ(plot.view().dblLowTime, dblTimeLow);
    EXPECT_DOUBLE_EQ(plot.view().dblHighTime, dblTimeHigh);
    EXPECT_DOUBLE_EQ(plot.view().dblHighFreq, 400.0);

    // The wheel zooms the time only, Ctrl+wheel the frequency only.
    const QPoint ptEdge(area.left() + 5, area.top() + 5);
    wheel(ptEdge, 120);
    EXPECT_NEAR(plot.view().dblHighTime - plot.view().dblLowTime, 0.8 * (dblTimeHigh - dblTimeLow), 1e-9);
    EXPECT_DOUBLE_EQ(plot.view().dblHighFreq - plot.view().dblLowFreq, 400.0);
    wheel(ptEdge, 120, Qt::ControlModifier);
    EXPECT_NEAR(plot.view().dblHighFreq - plot.view().dblLowFreq, 320.0, 1e-9);

    // Panning three widths and heights, far beyond the data, stops at its edge.
    QTest::mousePress(&plot, Qt::RightButton, {}, area.center());
    // Dragged left and up: later times and lower frequencies come into view.
    QTest::mouseMove(&plot, area.center() + QPoint(-3 * area.width(), -3 * area.height()));
    QTest::mouseRelease(&plot, Qt::RightButton, {}, area.center() + QPoint(-3 * area.width(), -3 * area.height()));
    expectWithinTheData("pan");
    EXPECT_NEAR(plot.view().dblHighTime, dblTimeHigh, 1e-9);
    EXPECT_NEAR(plot.view().dblLowFreq, 0.0, 1e-9);
    EXPECT_NEAR(plot.view().dblHighFreq - plot.view().dblLowFreq, 320.0, 1e-9);

    for (int i = 0; i < 40; ++i) {
        wheel(ptEdge, 120);
        wheel(ptEdge, 120, Qt::ControlModifier);
    }
    expectWithinTheData("deep wheel zoom at the corner");

    // Zoomed out again far beyond everything: the whole data, no more.
    for (int i = 0; i < 60; ++i) {
        wheel(area.center(), -120);
        wheel(area.center(), -120, Qt::ControlModifier);
    }
    expectWithinTheData("wheel zoom out");
    EXPECT_NEAR(plot.view().dblLowTime, dblTimeLow, 1e-9);
    EXPECT_NEAR(plot.view().dblHighFreq, 400.0, 1e-9);
}

TEST_F(SpectrogramPlotTest, BoxZoomStaysWithinTheDataAndResetShowsAll)
{
    const QRect area = plot.plotArea();
    // A box over the plot's left half and its lower quarter, dragged out past its corner.
    QTest::mousePress(&plot, Qt::LeftButton, {}, QPoint(area.center().x(), area.top() + area.height() * 3 / 4));
    QTest::mouseMove(&plot, QPoint(area.left() - 50, area.bottom() + 50));
    QTest::mouseRelease(&plot, Qt::LeftButton, {}, QPoint(area.left() - 50, area.bottom() + 50));
    expectWithinTheData("box zoom");
    EXPECT_NEAR(plot.view().dblHighTime, (dblTimeLow + dblTimeHigh) / 2.0, 0.1);
    EXPECT_NEAR(plot.view().dblHighFreq, 100.0, 1.0);

    QTest::mouseDClick(&plot, Qt::LeftButton, {}, area.center());
    EXPECT_EQ(plot.view(), engine::fullView(*plot.spectrogram()));
    wheel(area.center(), 360);
    QTest::keyClick(&plot, Qt::Key_Home);
    EXPECT_EQ(plot.view(), engine::fullView(*plot.spectrogram()));
}

TEST_F(SpectrogramPlotTest, KeysMoveTheCursorOneSegmentAndOneLine)
{
    QSignalSpy picked(&plot, &SpectrogramPlot::segmentPicked);
    plot.setCursorCell(SpectrogramCell{5, 100});
    QTest::keyClick(&plot, Qt::Key_Right);
    EXPECT_EQ(plot.cursorCell(), (SpectrogramCell{6, 100}));
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked.last().at(0).value<std::int64_t>(), 6);
    QTest::keyClick(&plot, Qt::Key_Up);
    QTest::keyClick(&plot, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(plot.cursorCell(), (SpectrogramCell{6, 111}));
    EXPECT_EQ(picked.count(), 1); // a line is no new segment
    QTest::keyClick(&plot, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(plot.cursorCell(), (SpectrogramCell{0, 111}));
    QTest::keyClick(&plot, Qt::Key_Left);
    EXPECT_EQ(plot.cursorCell(), (SpectrogramCell{0, 111}));
    EXPECT_EQ(picked.count(), 2); // clamped at the first segment: no second pick of it
    QTest::keyClick(&plot, Qt::Key_Return);
    EXPECT_EQ(picked.count(), 3);
    plot.setCursorCell(SpectrogramCell{39, 400});
    QTest::keyClick(&plot, Qt::Key_Right);
    QTest::keyClick(&plot, Qt::Key_Up);
    EXPECT_EQ(plot.cursorCell(), (SpectrogramCell{39, 400}));
    // The readout names the cell and its level (the staircase's strong line of segment 39).
    plot.setCursorCell(SpectrogramCell{39, stairLine(39)});
    const QString strLevel = QString::number(plot.spectrogram()->level(39, stairLine(39)), 'f', 1);
    EXPECT_EQ(plot.cursorText(),
              QStringLiteral("時間 20.000 s　周波数 205 Hz　レベル %1 dBV（区間 39）").arg(strLevel));
}

TEST_F(SpectrogramPlotTest, PointerShowsTheCellUnderItAndFallsBackToTheCursor)
{
    QSignalSpy readout(&plot, &SpectrogramPlot::readoutChanged);
    plot.setCursorCell(SpectrogramCell{2, 20});
    const QRect area = plot.plotArea();
    // The middle of segment 30's column, at 150 Hz.
    const QPoint point(area.left() + static_cast<int>((15.5 - dblTimeLow) / (dblTimeHigh - dblTimeLow) * area.width()),
                       area.top() + static_cast<int>((400.0 - 150.0) / 400.0 * area.height()));
    QTest::mouseMove(&plot, point);
    ASSERT_GE(readout.count(), 2);
    EXPECT_TRUE(readout.last().at(0).toString().contains(QStringLiteral("（区間 30）")));
    EXPECT_TRUE(readout.last().at(0).toString().contains(QStringLiteral("周波数 150 Hz")));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&plot, &leave);
    EXPECT_EQ(readout.last().at(0).toString(), plot.cursorText());
    EXPECT_TRUE(plot.cursorText().contains(QStringLiteral("（区間 2）")));
}

TEST_F(SpectrogramPlotTest, LevelRangeRefusesAFloorAboveTheTop)
{
    QSignalSpy changed(&plot, &SpectrogramPlot::levelRangeChanged);
    ASSERT_TRUE(plot.setLevelRange({-80.0, -20.0}));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(plot.setLevelFloor(-20.0));
    EXPECT_FALSE(plot.setLevelTop(-90.0));
    EXPECT_FALSE(plot.setLevelRange({std::nan(""), 0.0}));
    EXPECT_EQ(plot.levelRange(), (engine::LevelRange{-80.0, -20.0}));
    EXPECT_EQ(changed.count(), 1);
    ASSERT_TRUE(plot.setLevelTop(-10.0));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.last().at(1).toDouble(), -10.0);
}

TEST_F(SpectrogramPlotTest, SavesPngAndSvgAndReportsAFolderThatIsNotThere)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kestrix_sgram_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    QString strError;
    const QString strPng = QString::fromStdString((folder / "plot.png").string());
    ASSERT_TRUE(plot.saveImage(strPng, strError)) << strError.toStdString();
    QFile png(strPng);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_EQ(png.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    const QImage image(strPng);
    EXPECT_EQ(image.size(), plot.size());
    EXPECT_EQ(image.pixel(plot.plotArea().center()), rendered().pixel(plot.plotArea().center()));

    const QString strSvg = QString::fromStdString((folder / "plot.SVG").string());
    ASSERT_TRUE(plot.saveImage(strSvg, strError));
    QFile svg(strSvg);
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.readAll().contains("<svg"));

    const QString strMissing = QString::fromStdString((folder / "none" / "plot.png").string());
    EXPECT_FALSE(plot.saveImage(strMissing, strError));
    EXPECT_FALSE(strError.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(folder / "none"));
    std::filesystem::remove_all(folder);
}

// On the logarithmic axis each line lies at its logarithm's height: a click there reads that line, and
// the picture shows the segment's strong line there.
TEST_F(SpectrogramPlotTest, LogarithmicFrequencyAxisPlacesTheLinesByTheirLogarithm)
{
    plot.setLogFrequency(true);
    EXPECT_DOUBLE_EQ(plot.view().dblLowFreq, 1.0) << "from the first line above 0 Hz";
    EXPECT_DOUBLE_EQ(plot.view().dblHighFreq, 400.0);
    EXPECT_EQ(plot.frequencyTickLabels(), (std::vector<QString>{"1", "2", "5", "10", "20", "50", "100", "200"}));
    const QRect area = plot.plotArea();
    const QImage image = rendered();
    for (const std::int64_t lngSegment : {0, 3, 8}) {
        SCOPED_TRACE(lngSegment);
        const auto lngLine = static_cast<double>(stairLine(lngSegment));
        const QPointF point = plot.pointOf(plot.spectrogram()->segmentTime(lngSegment), lngLine);
        EXPECT_NEAR(point.y(), area.top() + std::log10(400.0 / lngLine) / std::log10(400.0) * area.height(), 0.5);
        const QRgb lngBright =
            engine::levelColour(plot.spectrogram()->level(lngSegment, stairLine(lngSegment)), plot.levelRange());
        EXPECT_EQ(image.pixel(point.toPoint()), lngBright);
        EXPECT_NE(image.pixel(point.toPoint() + QPoint(0, 12)), lngBright) << "a line above 0 Hz is not a band";
        QTest::mouseClick(&plot, Qt::LeftButton, {}, point.toPoint());
        EXPECT_EQ(plot.cursorCell(), (SpectrogramCell{lngSegment, stairLine(lngSegment)}));
    }
    // Ctrl+wheel zooms the frequencies by a ratio about the pointer, within 1 to 400 Hz.
    const QPoint ptAt100(area.center().x(), qRound(plot.pointOf(1.0, 100.0).y()));
    wheel(ptAt100, 120, Qt::ControlModifier);
    EXPECT_NEAR(std::log10(plot.view().dblHighFreq / plot.view().dblLowFreq), 0.8 * std::log10(400.0), 1e-9);
    EXPECT_NEAR(plot.freqAt(ptAt100.y()), 100.0, 1.0);
    for (int i = 0; i < 40; ++i) {
        wheel(ptAt100, -120, Qt::ControlModifier);
    }
    EXPECT_DOUBLE_EQ(plot.view().dblLowFreq, 1.0);
    EXPECT_DOUBLE_EQ(plot.view().dblHighFreq, 400.0);
    plot.setLogFrequency(false);
    EXPECT_EQ(plot.view(), engine::fullView(*plot.spectrogram()));
}

TEST(SpectrogramPlotEmpty, WithoutDataNothingIsPickedOrZoomed)
{
    SpectrogramPlot plot;
    plot.resize(600, 400);
    plot.show();
    QSignalSpy picked(&plot, &SpectrogramPlot::segmentPicked);
    QTest::mouseClick(&plot, Qt::LeftButton, {}, plot.rect().center());
    QTest::keyClick(&plot, Qt::Key_Right);
    EXPECT_EQ(picked.count(), 0);
    EXPECT_FALSE(plot.cursorCell().has_value());
    EXPECT_TRUE(plot.readoutText().isEmpty());
    plot.setSpectrogram(staircase());
    plot.setSpectrogram(nullptr);
    EXPECT_FALSE(plot.cursorCell().has_value());
    EXPECT_EQ(plot.spectrogram(), nullptr);
}

} // namespace
} // namespace kestrix::ui
