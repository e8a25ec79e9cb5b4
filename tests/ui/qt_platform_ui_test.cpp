// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/failure.h"
#include "platform/qt/qt_platform_ui.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace kestrix::testing {
namespace {

using platform::MessageStyle;
using platform::QtPlatformUi;

// Calls inspect on the modal dialog of type Dialog once it is open.
template <typename Dialog> void whenOpen(std::function<void(Dialog&)> inspect)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            inspect(*dialog);
        }
    });
    timer->start();
}

TEST(QtFileFilter, TurnsDescriptionPatternPairsIntoQtFilters)
{
    struct Case
    {
        const char* strFilter;
        const char* strExpected;
    };
    const std::vector<Case> cases = {
        {"CSVファイル (*.csv)|*.csv", "CSVファイル (*.csv)"},
        {"Text|*.txt;*.log", "Text (*.txt *.log)"},
        {"CSV (*.csv)|*.csv|All files|*.*", "CSV (*.csv);;All files (*.*)"},
        {"", ""},
    };
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.strFilter);
        EXPECT_EQ(platform::qtFileFilter(entry.strFilter), QString::fromUtf8(entry.strExpected));
    }
}

TEST(QtPlatformUi, MessageBoxesCarryTheStyleTheTitleAndPlainLines)
{
    struct Case
    {
        MessageStyle style;
        std::optional<std::string_view> strTitle;
        QMessageBox::Icon icon;
        const char* strCaption;
    };
    const std::vector<Case> cases = {{MessageStyle::Exclamation, std::nullopt, QMessageBox::Warning, "Kestrix"},
                                     {MessageStyle::OkOnly, std::nullopt, QMessageBox::NoIcon, "Kestrix"},
                                     {MessageStyle::Exclamation, "ABNORMAL", QMessageBox::Warning, "ABNORMAL"}};
    QtPlatformUi ui;
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.strCaption);
        QMessageBox::Icon icon = QMessageBox::Critical;
        QString strCaption;
        QString strText;
        whenOpen<QMessageBox>([&](QMessageBox& box) {
            icon = box.icon();
            strCaption = box.windowTitle();
            strText = box.text();
            box.accept();
        });
        ui.showMessage("Error Code :  53Kestrix\r\n<b>File not found</b>", entry.style, entry.strTitle);
        EXPECT_EQ(icon, entry.icon);
        EXPECT_EQ(strCaption, entry.strCaption);
        EXPECT_EQ(strText, "Error Code :  53Kestrix\n<b>File not found</b>");
    }
}

TEST(QtPlatformUi, BusyPointerIsLiftedWhileAMessageWaits)
{
    QtPlatformUi ui;
    ui.setBusyPointer(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    bool blnOverriddenDuringMessage = true;
    whenOpen<QMessageBox>([&](QMessageBox& box) {
        blnOverriddenDuringMessage = QApplication::overrideCursor() != nullptr;
        box.accept();
    });
    ui.showMessage("経過時間 ： 00:00:01", MessageStyle::OkOnly);
    EXPECT_FALSE(blnOverriddenDuringMessage);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    ui.setBusyPointer(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtPlatformUi, FileDialogOffersExistingCsvFilesAndReportsCancel)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString strPath = folder.filePath("motor.csv");
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    platform::OpenFileRequest request;
    request.strTitle = "CSVファイル読み込み";
    request.strFilter = "CSVファイル (*.csv)|*.csv";
    request.lngFlags = platform::open_flags::lngFileMustExist | platform::open_flags::lngNoChangeDir |
                       platform::open_flags::lngHideReadOnly;
    request.blnCancelError = true;
    request.strInitialFileName = strPath.toStdString();
    QtPlatformUi ui;

    whenOpen<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("CSVファイル読み込み"));
        EXPECT_EQ(dialog.nameFilters(), QStringList{QString::fromUtf8("CSVファイル (*.csv)")});
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(dialog.directory().absolutePath(), QDir(folder.path()).absolutePath());
        EXPECT_EQ(dialog.selectedFiles(), QStringList{strPath});
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    EXPECT_EQ(ui.chooseOpenFile(request), strPath.toStdString());

    // A cancel is no file, never a failure.
    whenOpen<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(ui.chooseOpenFile(request), std::nullopt);
}

// A name the caller refuses (the recording itself, for its averaged spectrum) is refused before the
// dialog asks whether to replace the file: the user meets one message, the caller's, and the dialog
// stays open for another name.
TEST(QtPlatformUi, SaveDialogRefusesANameBeforeAskingToReplaceIt)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString strRecording = folder.filePath("motor.csv");
    QFile file(strRecording);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    platform::SaveFileRequest request;
    request.strTitle = "平均スペクトルを保存";
    request.strFilter = "CSV ファイル (*.csv)|*.csv";
    request.strInitialFileName = folder.filePath("motor_AVG.csv").toStdString();
    request.refusal = [&](const std::string& strPath) {
        return strPath == strRecording.toStdString() ? std::string("録音そのものには保存できません。") : std::string();
    };
    QtPlatformUi ui;
    // Whatever modal window comes up: the dialog gets the recording's name, then is cancelled; a message
    // box is read and closed.
    QStringList strMessages;
    int intDialogs = 0;
    int intTicks = 0;
    auto* timer = new QTimer(qApp);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            strMessages << box->text();
            box->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (++intTicks > 250) {
                dialog->reject(); // five seconds without the expected course: fail, never hang
            } else if (intDialogs == 0) {
                // Typed into the name field as a user would: once the dialog is shown with the field
                // focused, selectFile() leaves the field's text alone. Accept only once it holds the name.
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (name != nullptr) {
                    name->setText(strRecording);
                } else {
                    dialog->selectFile(strRecording);
                }
                if (dialog->selectedFiles() == QStringList{strRecording}) {
                    ++intDialogs;
                    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                }
            } else if (!strMessages.isEmpty()) {
                dialog->reject();
            }
        }
    });
    timer->start();
    const std::optional<std::string> strChosen = ui.chooseSaveFile(request);
    timer->stop();
    delete timer;
    EXPECT_EQ(strChosen, std::nullopt);
    ASSERT_EQ(strMessages.size(), 1) << strMessages.join(QLatin1String(" / ")).toStdString();
    EXPECT_EQ(strMessages.front(), QString::fromUtf8("録音そのものには保存できません。"));
}

} // namespace
} // namespace kestrix::testing
