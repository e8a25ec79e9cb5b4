// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_platform_ui.h"

#include "platform/failure.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace kestrix::platform {

namespace {

QString fromUtf8(std::string_view strText)
{
    return QString::fromUtf8(strText.data(), static_cast<qsizetype>(strText.size()));
}

} // namespace

QString qtFileFilter(std::string_view strFilter)
{
    const QStringList strParts = fromUtf8(strFilter).split(QLatin1Char('|'));
    QStringList strFilters;
    for (qsizetype i = 0; i + 1 < strParts.size(); i += 2) {
        const QString strDescription = strParts[i].trimmed();
        QString strPatterns = strParts[i + 1].trimmed();
        strPatterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses of the description.
        if (strDescription.endsWith(QLatin1Char('(') + strPatterns + QLatin1Char(')'))) {
            strFilters << strDescription;
        } else {
            strFilters << strDescription + QLatin1String(" (") + strPatterns + QLatin1Char(')');
        }
    }
    return strFilters.join(QLatin1String(";;"));
}

QString firstFilterSuffix(const QString& strNameFilter)
{
    const qsizetype lngOpen = strNameFilter.lastIndexOf(QLatin1Char('('));
    const qsizetype lngClose = strNameFilter.lastIndexOf(QLatin1Char(')'));
    const QString strPatterns =
        lngOpen >= 0 && lngClose > lngOpen ? strNameFilter.mid(lngOpen + 1, lngClose - lngOpen - 1) : strNameFilter;
    const QString strFirst = strPatterns.trimmed().section(QLatin1Char(' '), 0, 0);
    if (!strFirst.startsWith(QLatin1String("*.")) || strFirst.indexOf(QLatin1Char('*'), 2) >= 0) {
        return {};
    }
    return strFirst.mid(2);
}

// Lifts the busy pointer for the life of a modal box or dialog and puts it back afterwards.
class QtPlatformUi::PointerLift
{
public:
    explicit PointerLift(bool blnBusy) : blnLifted(blnBusy)
    {
        if (blnLifted) {
            QApplication::restoreOverrideCursor();
        }
    }
    ~PointerLift()
    {
        if (blnLifted) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }
    }
    PointerLift(const PointerLift&) = delete;
    PointerLift& operator=(const PointerLift&) = delete;

private:
    bool blnLifted;
};

QtPlatformUi::QtPlatformUi(QWidget* parentWindow_) : parentWindow(parentWindow_) {}

void QtPlatformUi::setParentWindow(QWidget* parentWindow_)
{
    parentWindow = parentWindow_;
}

void QtPlatformUi::showMessage(std::string_view strText, MessageStyle style, std::optional<std::string_view> strTitle)
{
    const QMessageBox::Icon icon = style == MessageStyle::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
    const QString strCaption = fromUtf8(strTitle.value_or(strAppTitle));
    // The error report separates its lines with CR LF; a label shows the CR as a stray glyph.
    QString strMessage = fromUtf8(strText);
    strMessage.replace(QLatin1String("\r\n"), QLatin1String("\n"));

    QMessageBox box(icon, strCaption, strMessage, QMessageBox::Ok, parentWindow);
    // File names and failure descriptions may hold '<' or '&': never read them as rich text.
    box.setTextFormat(Qt::PlainText);
    const PointerLift lift(blnBusy);
    box.exec();
}

// Shows the dialog (the busy pointer lifted meanwhile); the chosen path, or nothing on cancel.
std::optional<std::string> QtPlatformUi::runFileDialog(QFileDialog& dialog)
{
    bool blnChosen = false;
    {
        const PointerLift lift(blnBusy);
        blnChosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    }
    if (!blnChosen) {
        return std::nullopt;
    }
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

std::optional<std::string> QtPlatformUi::chooseOpenFile(const OpenFileRequest& request)
{
    QFileDialog dialog(parentWindow, fromUtf8(request.strTitle));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The standard dialog's open flags: Qt never changes the current folder and shows no read-only
    // box, so only "the file must exist" needs saying.
    dialog.setFileMode((request.lngFlags & open_flags::lngFileMustExist) != 0 ? QFileDialog::ExistingFile
                                                                              : QFileDialog::AnyFile);
    const QString strFilters = qtFileFilter(request.strFilter);
    if (!strFilters.isEmpty()) {
        dialog.setNameFilter(strFilters);
    }
    if (!request.strInitialFileName.empty()) {
        const QString strInitial = QFile::decodeName(QByteArray::fromStdString(request.strInitialFileName));
        dialog.setDirectory(QFileInfo(strInitial).absolutePath());
        dialog.selectFile(strInitial);
    }
    return runFileDialog(dialog);
}

namespace {

// A save dialog that asks about the name chosen before its own question about replacing a file.
class CheckedSaveDialog final : public QFileDialog
{
public:
    CheckedSaveDialog(QWidget* parent, const QString& strTitle, std::function<std::string(const std::string&)> refusal)
        : QFileDialog(parent, strTitle), refusal(std::move(refusal))
    {
        // Only Qt's own dialog lets the name be looked at before it asks.
        setOption(QFileDialog::DontUseNativeDialog, static_cast<bool>(this->refusal));
    }

    void accept() override
    {
        const QStringList strFiles = selectedFiles();
        if (refusal && !strFiles.isEmpty()) {
            const std::string strRefusal = refusal(QFile::encodeName(strFiles.constFirst()).toStdString());
            if (!strRefusal.empty()) {
                QMessageBox::warning(this, QStringLiteral("Kestrix"), QString::fromUtf8(strRefusal));
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    std::function<std::string(const std::string&)> refusal;
};

} // namespace

std::optional<std::string> QtPlatformUi::chooseSaveFile(const SaveFileRequest& request)
{
    CheckedSaveDialog dialog(parentWindow, fromUtf8(request.strTitle), request.refusal);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QString strFilters = qtFileFilter(request.strFilter);
    if (!strFilters.isEmpty()) {
        dialog.setNameFilter(strFilters);
        dialog.setDefaultSuffix(firstFilterSuffix(strFilters.section(QLatin1String(";;"), 0, 0)));
        // A name typed without an extension takes the one of the kind chosen in the list.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& strFilter) {
            dialog.setDefaultSuffix(firstFilterSuffix(strFilter));
        });
    }
    if (!request.strInitialFileName.empty()) {
        const QString strInitial = QFile::decodeName(QByteArray::fromStdString(request.strInitialFileName));
        dialog.setDirectory(QFileInfo(strInitial).absolutePath());
        dialog.selectFile(QFileInfo(strInitial).fileName());
    }
    return runFileDialog(dialog);
}

void QtPlatformUi::setBusyPointer(bool blnBusy_)
{
    if (blnBusy_ == blnBusy) {
        return;
    }
    blnBusy = blnBusy_;
    if (blnBusy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
    // The run that follows keeps the event loop waiting: show the pointer (and the pressed button's
    // repaint) now, without letting any user input through.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace kestrix::platform
