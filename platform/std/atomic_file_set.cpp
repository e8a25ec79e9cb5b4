// SPDX-License-Identifier: GPL-3.0-or-later
#include "atomic_file_set.h"

#include "errno_failure.h"
#include "posix_file.h"
#include "temporary_files.h"

#include <cerrno>
#include <string>

namespace kestrix::platform {

// A file of the set: written as an AtomicFile, its close() only completes it.
class AtomicFileSet::Member final : public TextWriter
{
public:
    explicit Member(std::string strPath) : file(std::move(strPath)) {}

    void writeLine(std::string_view strText) override
    {
        file.writeLine(strText);
    }
    void write(std::string_view strText) override
    {
        file.write(strText);
    }
    void close() override
    {
        file.finish();
    }

    AtomicFile file;
};

namespace {

// An earlier file kept while the new one takes its name.
struct KeptFile
{
    std::string strTarget;
    std::string strKept;    // its second name; empty when there was no earlier file
    bool blnMoved = false;  // renamed away (no hard links here) rather than linked
    bool blnPlaced = false; // the new file has its name
};

// Keeps the earlier file at kept.strTarget, if any, under a new name beside it.
void keepEarlier(KeptFile& kept, const std::string& strRequested)
{
    switch (pathKind(kept.strTarget, strRequested)) {
    case PathKind::Missing:
        return;
    case PathKind::Folder:
        raiseForErrno(EISDIR, false, strRequested); // a folder that took the name meanwhile
    case PathKind::Other:
        break;
    }
    for (unsigned lngAttempt = 0; lngAttempt < 100; ++lngAttempt) {
        const std::string strKept = temporaryNameBeside(kept.strTarget, lngAttempt, ".old");
        const int intErrno = linkFile(kept.strTarget, strKept);
        if (intErrno == 0) {
            kept.strKept = strKept;
            return;
        }
        if (intErrno == EEXIST) {
            continue;
        }
        if (intErrno != EPERM && intErrno != EOPNOTSUPP && intErrno != EMLINK) {
            raiseForErrno(intErrno, false, strRequested);
        }
        if (const int intMoveErrno = replaceFile(kept.strTarget, strKept); intMoveErrno != 0) {
            raiseForErrno(intMoveErrno, false, strRequested);
        }
        kept.strKept = strKept;
        kept.blnMoved = true;
        return;
    }
    raiseForErrno(EEXIST, false, strRequested);
}

// Puts every earlier file back where a new one took or lost its name.
void undo(const std::vector<KeptFile>& kept)
{
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        if (!it->strKept.empty() && (it->blnPlaced || it->blnMoved)) {
            replaceFile(it->strKept, it->strTarget);
        } else if (!it->strKept.empty()) {
            removeFile(it->strKept);
        } else if (it->blnPlaced) {
            removeFile(it->strTarget);
        }
    }
}

} // namespace

AtomicFileSet::AtomicFileSet() = default;
AtomicFileSet::~AtomicFileSet() = default;

TextWriter& AtomicFileSet::add(std::string_view strPath)
{
    members.push_back(std::make_unique<Member>(std::string(strPath)));
    return *members.back();
}

void AtomicFileSet::commit()
{
    const auto abandonAll = [this] {
        for (const std::unique_ptr<Member>& member : members) {
            member->file.abandon();
        }
    };
    try {
        for (const std::unique_ptr<Member>& member : members) {
            member->file.finish();
        }
    } catch (...) {
        abandonAll();
        throw;
    }
    const SignalDeferral deferral;
    std::vector<KeptFile> kept;
    kept.reserve(members.size());
    try {
        for (const std::unique_ptr<Member>& member : members) {
            kept.push_back(KeptFile{member->file.targetPath(), {}, false, false});
            keepEarlier(kept.back(), member->file.requestedPath());
            member->file.putInPlace();
            kept.back().blnPlaced = true;
        }
    } catch (...) {
        undo(kept);
        abandonAll();
        throw;
    }
    for (const KeptFile& file : kept) {
        if (!file.strKept.empty()) {
            removeFile(file.strKept);
        }
    }
}

} // namespace kestrix::platform
