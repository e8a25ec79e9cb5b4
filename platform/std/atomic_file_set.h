// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atomic_file.h"
#include "platform/text_files.h"

#include <memory>
#include <string_view>
#include <vector>

namespace kestrix::platform {

// Files written beside their final names (AtomicFile) and put in place together at commit(): first
// every one is complete on disk, then, with SIGINT and SIGTERM held back, each earlier file is kept
// under a second name (a hard link, or a rename where the file system has none) and the new file
// renamed over it. Should any step fail, the files already put in place are undone (the earlier file
// back, or the new one removed) and the failure raised: all new files, or every earlier one as it was.
class AtomicFileSet final : public FileSet
{
public:
    AtomicFileSet();
    ~AtomicFileSet() override;
    AtomicFileSet(const AtomicFileSet&) = delete;
    AtomicFileSet& operator=(const AtomicFileSet&) = delete;

    TextWriter& add(std::string_view strPath) override;
    void commit() override;

private:
    class Member;
    std::vector<std::unique_ptr<Member>> members;
};

} // namespace kestrix::platform
