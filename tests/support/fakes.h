// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Scripted stand-ins for the platform services, for tests that must not touch a screen or a disk.

#include "engine/run/output_buffer.h"
#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/platform_ui.h"
#include "platform/sound_files.h"
#include "platform/text_files.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrix::testing {

// A shown message as the user would have seen it.
struct ShownMessage
{
    std::string strText;
    platform::MessageStyle style;
    std::optional<std::string> strTitle;
    bool blnBusyPointer = false; // the busy pointer was on while the message showed
};

// Records messages, file requests and pointer changes; answers file choices from a script (nothing
// scripted, or std::nullopt, means the user cancels), the save dialog's from a script of its own.
class FakePlatformUi : public platform::PlatformUi
{
public:
    void showMessage(std::string_view strText, platform::MessageStyle style,
                     std::optional<std::string_view> strTitle = std::nullopt) override
    {
        messages.push_back({std::string(strText), style,
                            strTitle ? std::optional<std::string>(std::string(*strTitle)) : std::nullopt, blnBusy});
        events.push_back("message");
    }

    std::optional<std::string> chooseOpenFile(const platform::OpenFileRequest& request) override
    {
        requests.push_back(request);
        events.push_back("choose");
        std::optional<std::string> strChoice;
        if (!choices.empty()) {
            strChoice = choices.front();
            choices.pop_front();
        }
        return strChoice;
    }

    std::optional<std::string> chooseSaveFile(const platform::SaveFileRequest& request) override
    {
        saveRequests.push_back(request);
        events.push_back("choose save");
        // A refused name is said, and the dialog takes the next one, as the real one stays open.
        while (!saveChoices.empty()) {
            std::optional<std::string> strChoice = saveChoices.front();
            saveChoices.pop_front();
            const std::string strRefusal = strChoice && request.refusal ? request.refusal(*strChoice) : std::string();
            if (strRefusal.empty()) {
                return strChoice;
            }
            showMessage(strRefusal, platform::MessageStyle::Exclamation);
        }
        return std::nullopt;
    }

    void setBusyPointer(bool blnBusy_) override
    {
        events.push_back(blnBusy_ ? "busy" : "idle");
        blnBusy = blnBusy_;
        blnBusyChanges.push_back(blnBusy_);
    }

    // The texts of the messages shown, in their order.
    std::vector<std::string> messageTexts() const
    {
        std::vector<std::string> strTexts;
        for (const ShownMessage& message : messages) {
            strTexts.push_back(message.strText);
        }
        return strTexts;
    }

    std::deque<std::optional<std::string>> choices;
    std::deque<std::optional<std::string>> saveChoices;
    std::vector<ShownMessage> messages;
    std::vector<platform::OpenFileRequest> requests;
    std::vector<platform::SaveFileRequest> saveRequests;
    std::vector<std::string> events;
    std::vector<bool> blnBusyChanges;
    bool blnBusy = false;
};

// Files held in memory under '/'-separated paths; writes land only at close(), as with the real
// service. Paths in failingPaths fail to be written with the given failure number.
class MemoryTextFiles : public platform::TextFiles
{
public:
    std::string getParentFolderName(std::string_view strPath) override
    {
        const auto lngSlash = strPath.rfind('/');
        if (lngSlash == std::string_view::npos) {
            return {};
        }
        return lngSlash == 0 ? "/" : std::string(strPath.substr(0, lngSlash));
    }
    std::string getBaseName(std::string_view strPath) override
    {
        const auto lngSlash = strPath.rfind('/');
        std::string_view strName = lngSlash == std::string_view::npos ? strPath : strPath.substr(lngSlash + 1);
        return std::string(strName.substr(0, strName.rfind('.')));
    }
    char pathSeparator() const override
    {
        return '/';
    }
    bool sameFile(std::string_view strPathA, std::string_view strPathB) override
    {
        return strPathA == strPathB && files.count(std::string(strPathA)) > 0;
    }
    std::unique_ptr<platform::TextReader> openTextFile(std::string_view strPath) override
    {
        const auto file = files.find(std::string(strPath));
        if (file == files.end()) {
            raiseFailure(err::lngFileNotFound, strPath);
        }
        ++lngOpenCount;
        return std::make_unique<Reader>(file->second);
    }
    std::unique_ptr<platform::TextWriter> createTextFile(std::string_view strPath) override
    {
        return std::make_unique<Writer>(*this, std::string(strPath));
    }
    std::unique_ptr<platform::TextWriter> createBinaryFile(std::string_view strPath) override
    {
        return std::make_unique<Writer>(*this, std::string(strPath));
    }
    // Stored all at once at commit(), or none when one of them is a failing path.
    std::unique_ptr<platform::FileSet> createFileSet() override
    {
        return std::make_unique<Set>(*this);
    }

    std::map<std::string, std::string> files;
    std::map<std::string, std::int32_t> failingPaths;
    std::vector<std::string> written; // in the order completed
    int lngOpenCount = 0;

private:
    void store(const std::string& strPath, std::string strContent)
    {
        if (const auto failing = failingPaths.find(strPath); failing != failingPaths.end()) {
            raiseFailure(failing->second, strPath);
        }
        files[strPath] = std::move(strContent);
        written.push_back(strPath);
    }

    class Reader final : public platform::TextReader
    {
    public:
        // A byte-order mark at the start is skipped, as the real readers do.
        explicit Reader(std::string strContent)
            : strContent(std::move(strContent)), lngPos(this->strContent.starts_with("\xEF\xBB\xBF") ? 3 : 0)
        {
        }
        bool atEndOfStream() override
        {
            return lngPos >= strContent.size();
        }
        platform::TextLine readLine() override
        {
            if (atEndOfStream()) {
                raiseFailure(err::lngInputPastEnd);
            }
            auto lngEnd = strContent.find('\n', lngPos);
            if (lngEnd == std::string::npos) {
                lngEnd = strContent.size();
            }
            std::string_view strLine(strContent.data() + lngPos, lngEnd - lngPos);
            if (!strLine.empty() && strLine.back() == '\r') {
                strLine.remove_suffix(1);
            }
            lngPos = lngEnd + 1;
            return {strLine, false};
        }
        void close() override {}

    private:
        std::string strContent;
        std::size_t lngPos;
    };

    class Set final : public platform::FileSet
    {
    public:
        explicit Set(MemoryTextFiles& owner) : owner(owner) {}
        platform::TextWriter& add(std::string_view strPath) override
        {
            writers.emplace_back(std::string(strPath), std::make_unique<engine::StringWriter>());
            return *writers.back().second;
        }
        void commit() override
        {
            for (const auto& [strPath, writer] : writers) {
                if (const auto failing = owner.failingPaths.find(strPath); failing != owner.failingPaths.end()) {
                    raiseFailure(failing->second, strPath);
                }
            }
            for (auto& [strPath, writer] : writers) {
                owner.store(strPath, std::move(writer->strContent));
            }
        }

    private:
        MemoryTextFiles& owner;
        std::vector<std::pair<std::string, std::unique_ptr<engine::StringWriter>>> writers;
    };

    class Writer final : public platform::BufferedTextWriter
    {
    public:
        Writer(MemoryTextFiles& owner, std::string strPath) : owner(owner), strPath(std::move(strPath)) {}

    protected:
        void commit(const std::string& strText) override
        {
            owner.store(strPath, strText);
        }

    private:
        MemoryTextFiles& owner;
        std::string strPath;
    };
};

// Sound files that know no file: every recording is read as text.
class NoSoundFiles final : public platform::SoundFiles
{
public:
    platform::SoundOpening openSound(std::string_view, std::int32_t) override
    {
        return {};
    }
};

// Answers the given readings in turn, then repeats the last.
class ScriptedClock : public platform::Clock
{
public:
    std::chrono::sys_seconds now() override
    {
        const auto dtNow = readings.empty() ? dtLast : readings.front();
        if (!readings.empty()) {
            readings.pop_front();
        }
        dtLast = dtNow;
        return dtNow;
    }
    std::deque<std::chrono::sys_seconds> readings;
    std::chrono::sys_seconds dtLast{};
};

} // namespace kestrix::testing
