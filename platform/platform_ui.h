// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrix::platform {

// Message styles with the platform's meaning. No caller looks at which button was pressed.
enum class MessageStyle : int {
    OkOnly = 0,       // one OK button, no icon
    Exclamation = 48, // one OK button with the exclamation (warning) icon
};

// Open-file flag bits of the platform's standard dialog.
namespace open_flags {
constexpr int lngHideReadOnly = 0x4;
constexpr int lngNoChangeDir = 0x8;
constexpr int lngFileMustExist = 0x1000;
} // namespace open_flags

struct OpenFileRequest
{
    std::string strInitialFileName; // may be empty
    std::string strTitle;
    std::string strFilter; // "description|pattern|description|pattern..."
    int lngFlags = 0;
    bool blnCancelError = false; // cancel raises failure 32755 instead of returning an empty name
};

struct SaveFileRequest
{
    std::string strInitialFileName; // proposed path, may be empty
    std::string strTitle;
    std::string strFilter; // "description|pattern|...", as for opening; the first pattern of the chosen
                           // entry gives the extension of a name typed without one
    // Asked about the name chosen before the dialog asks whether to replace a file of that name: a
    // non-empty answer is shown as a message and the dialog stays open for another name. None: any name.
    std::function<std::string(const std::string& strPath)> refusal;
};

// The message box, the open-file and save-file dialogs and the busy pointer of the window system.
class PlatformUi
{
public:
    virtual ~PlatformUi() = default;

    // Modal: returns after the user has dismissed the box. Without a title the box carries "Kestrix".
    virtual void showMessage(std::string_view strText, MessageStyle style,
                             std::optional<std::string_view> strTitle = std::nullopt) = 0;

    // The full path of the chosen existing file, or nothing when the user cancelled. Any other trouble
    // of the dialog is raised as KestrixError.
    virtual std::optional<std::string> chooseOpenFile(const OpenFileRequest& request) = 0;

    // The full path to write to, or nothing when the user cancelled. Replacing an existing file has
    // been confirmed by the user.
    virtual std::optional<std::string> chooseSaveFile(const SaveFileRequest& request) = 0;

    // On: the hourglass (pointer code 11); off: the default pointer (code 0).
    virtual void setBusyPointer(bool blnBusy) = 0;
};

// Switches the busy pointer on for the lifetime of the scope, whatever way the scope is left.
class BusyScope
{
public:
    explicit BusyScope(PlatformUi& ui) : ui(ui)
    {
        ui.setBusyPointer(true);
    }
    ~BusyScope()
    {
        release();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // Restores the pointer now (before a message that follows the work).
    void release()
    {
        if (blnActive) {
            blnActive = false;
            ui.setBusyPointer(false);
        }
    }

private:
    PlatformUi& ui;
    bool blnActive = true;
};

} // namespace kestrix::platform
