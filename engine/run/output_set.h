// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/text_files.h"

#include <functional>
#include <span>
#include <string>

namespace kestrix::engine {

// One file of an analysis's outputs: its path and what writes its content.
struct OutputFile
{
    std::string strPath;
    std::function<void(platform::TextWriter&)> write;
};

// Writes every file of outputs, then puts them in place together (platform::FileSet): all the new
// files, or, after a failure (raised as KestrixError), every earlier file as it was.
inline void writeFilesTogether(platform::TextFiles& files, std::span<const OutputFile> outputs)
{
    const std::unique_ptr<platform::FileSet> set = files.createFileSet();
    for (const OutputFile& output : outputs) {
        output.write(set->add(output.strPath));
    }
    set->commit();
}

} // namespace kestrix::engine
