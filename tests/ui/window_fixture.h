// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/clock.h"
#include "platform/std/std_text_files.h"
#include "support/fakes.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Readable QStrings in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& strText, std::ostream* out)
{
    *out << '"' << strText.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kestrix::testing {

// Every reading is two seconds after the one before.
class SteppingClock final : public platform::Clock
{
public:
    std::chrono::sys_seconds now() override
    {
        dtNow += std::chrono::seconds(2);
        return dtNow;
    }

private:
    std::chrono::sys_seconds dtNow{std::chrono::seconds(1'700'000'000)};
};

// A real window, shown and active on the offscreen platform, with fake services: frmMain alone, or
// the program's whole window with the spectrum view beside it.
template <typename Window> class WindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<Window>(fakeUi, files, clock);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <typename Control> Control* find(const char* strName) const
    {
        auto* control = window->template findChild<Control*>(QLatin1String(strName));
        EXPECT_NE(control, nullptr) << strName;
        return control;
    }
    QLineEdit* field(const char* strName) const
    {
        return find<QLineEdit>(strName);
    }

    // Clicks into the field, selects its text and types strText over it, as a user does.
    void typeInto(const char* strName, const QString& strText)
    {
        QLineEdit* control = field(strName);
        QTest::mouseClick(control, Qt::LeftButton);
        ASSERT_TRUE(control->hasFocus()) << strName << " did not take the focus";
        control->selectAll();
        QTest::keyClick(control, Qt::Key_Backspace);
        for (const QChar chr : strText) {
            // keyClicks knows Latin-1 only; other characters arrive as an input method sends them.
            if (chr.unicode() < 0x80) {
                QTest::keyClick(control, chr.toLatin1());
            } else {
                QTest::sendKeyEvent(QTest::Click, control, Qt::Key_unknown, QString(chr), Qt::NoModifier);
            }
        }
        ASSERT_EQ(control->text(), strText);
    }

    void pressTab()
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }

    QString focusName() const
    {
        const QWidget* focused = QApplication::focusWidget();
        return focused == nullptr ? QString() : focused->objectName();
    }

    FakePlatformUi fakeUi;
    platform::StdTextFiles files;
    SteppingClock clock;
    std::unique_ptr<Window> window;
};

using WindowTest = WindowFixture<ui::FrmMain>;

} // namespace kestrix::testing
