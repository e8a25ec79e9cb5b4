// SPDX-License-Identifier: GPL-3.0-or-later
// The view's document without its widgets: what it tells when a reading ends, the positions it keeps in
// Hz and drops beyond the spectrum, the units changed without reading again, the names it proposes,
// and the engine's refusals worded from their facts.
#include "ui/spectrum/refusal_text.h"
#include "ui/spectrum/view_document.h"
#include "view_fixture.h"

namespace kestrix::ui {
namespace {

class ViewDocumentTest : public ::testing::Test
{
protected:
    ViewDocumentTest() : document(ui, files, sounds)
    {
        document.setSourceChooser(chooser);
        document.setFieldSource([this] { return fields; });
    }
    std::string writeCounts(const std::string& strName, double dblSampFreq)
    {
        std::string strText;
        for (int n = 0; n < 8192; ++n) {
            strText +=
                std::to_string(std::lround(6000.0 * std::sin(2 * std::numbers::pi * 25.0 * n / dblSampFreq))) + "\r\n";
        }
        const std::string strPath = dir.file(strName);
        testing::writeBytes(strPath, strText);
        return strPath;
    }
    void open(const std::string& strPath)
    {
        QSignalSpy finished(&document, &ViewDocument::analysisFinished);
        ASSERT_TRUE(document.openRecording(strPath));
        ASSERT_TRUE(finished.wait(60000));
        ASSERT_FALSE(document.analysing());
    }

    testing::FakePlatformUi ui;
    platform::StdTextFiles files;
    platform::SndfileSoundFiles sounds;
    ScriptedChooser chooser;
    engine::ControlContents fields;
    TempDir dir;
    ViewDocument document;
};

TEST_F(ViewDocumentTest, PositionsStayInHzAndGoWhereTheSpectrumEnds)
{
    QSignalSpy spectrum(&document, &ViewDocument::spectrumChanged);
    open(writeCounts("a.csv", 1024));
    ASSERT_GE(spectrum.count(), 1);
    EXPECT_TRUE(spectrum.last().at(0).toBool()) << "another recording: a new view";
    EXPECT_EQ(document.shown().dblValues.size(), 401u);
    document.setCursors(25.0, 300.0);

    // Other units: the same reading, shown again at once, the positions where they were.
    spectrum.clear();
    ViewSettings settings = document.settings();
    settings.units = engine::SpectrumUnits::Rms;
    document.setSettings(settings);
    EXPECT_FALSE(document.busy());
    ASSERT_EQ(spectrum.count(), 1);
    EXPECT_TRUE(spectrum.last().at(0).toBool());
    EXPECT_EQ(document.units().strLegend, QStringLiteral("V rms"));
    EXPECT_EQ(document.cursorHz(), std::optional<double>(25.0));

    // A recording sampled at 512 Hz reaches 200 Hz: 300 Hz goes, 25 Hz stays.
    QSignalSpy cursors(&document, &ViewDocument::cursorsChanged);
    fields.strSampFreq = "512";
    open(writeCounts("b.csv", 512));
    EXPECT_EQ(document.cursorHz(), std::optional<double>(25.0));
    EXPECT_FALSE(document.referenceHz().has_value());
    EXPECT_EQ(cursors.count(), 1);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ViewDocumentTest, NamesAreProposedBesideTheRecordingShown)
{
    EXPECT_EQ(document.proposedPictureName(QStringLiteral("SPC")), QString());
    EXPECT_EQ(document.proposedPictureName(QStringLiteral("SPC"), dir.file("ref_SPC.csv")),
              QString::fromStdString(dir.file("ref_SPC.png")));
    open(writeCounts("rec.csv", 1024));
    EXPECT_EQ(document.proposedPictureName(QStringLiteral("SGRAM")), QString::fromStdString(dir.file("rec_SGRAM.png")));
    EXPECT_EQ(document.proposedAverageName(), dir.file("rec_AVG_SPC.csv"));
    EXPECT_FALSE(document.averageRefusal(dir.file("rec.csv")).empty()) << "never over the recording";
    EXPECT_TRUE(document.averageRefusal(dir.file("other.csv")).empty());
}

TEST(RefusalText, EachKindIsWordedWithItsFactsInJapanese)
{
    using Kind = platform::RefusalFacts::Kind;
    struct Case
    {
        platform::RefusalFacts facts;
        const char* strExpected;
    };
    const Case cases[] = {
        {{Kind::NotANumber, 3002, 2, "n/a", 0, 0, false}, "3002 行目の 2 列目「n/a」は数値ではありません。"},
        {{Kind::NotANumber, 7, 0, "1,5", 0, 0, true}, "7 行目「1,5」は小数点にコンマを使った数値のようです。"},
        {{Kind::BlankLine, 12, 0, "", 0, 0, false}, "12 行目 が空行で"},
        {{Kind::MissingField, 4, 3, "", 0, 0, false}, "4 行目の 3 列目がありません"},
        {{Kind::NoNumbers, 153601, 1, "", 0, 0, false}, "読んだ 153601 行のどれにも、1 列目に数値がありません"},
        {{Kind::NoHeading, 0, 0, "accel", 0, 0, false}, "「accel」という名前の列の見出しがありません"},
        {{Kind::TooFewSamples, 0, 0, "", 500, 16384, false},
         "サンプルが 500 個しかなく、1 区間（N = 16384 点）に足りません"},
        {{Kind::Other, 0, 0, "Format not recognised.", 0, 0, false}, "読み込めません（Format not recognised.）"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strExpected);
        const QString strText = refusalText(c.facts);
        EXPECT_TRUE(strText.contains(QString::fromUtf8(c.strExpected))) << strText.toStdString();
        if (c.facts.kind != Kind::Other) {
            EXPECT_FALSE(strText.contains(QStringLiteral("line"))) << strText.toStdString();
        }
    }
    EXPECT_TRUE(refusalText({}).isEmpty());
}

} // namespace
} // namespace kestrix::ui
