// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batch.h"
#include "file_sources.h"
#include "platform/failure.h"
#include "progress_line.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// The FILEs of a batch taken through one analysis: in order, or several at once with the output of one
// at a time, each refused at once when it is not a regular file or when its outputs would replace an
// earlier FILE's.
namespace kestrix::cli {

// One FILE of a batch: as given, and as opened (absolute).
struct FileJob
{
    std::string strGiven;
    std::string strFile;
};

// A FILE as given, made absolute from the working folder (the outputs lie beside it, so a bare name
// must name a file there); otherwise as the system opens it ("." left out, ".." kept).
FileJob makeJob(const std::string& strGiven);

// What a batch does with each FILE: the classic run, or the averaged analysis.
class FileAnalysis
{
public:
    virtual ~FileAnalysis() = default;

    // The files the analysis of strFile (absolute) would write, for refusing a later FILE whose outputs
    // would replace an earlier one's.
    virtual std::vector<std::string> outputsOf(const std::string& strFile) const = 0;

    // Analyses one FILE, on any thread and several at once: every path written to strOut as soon as it
    // is complete, every message about the FILE to strErr naming it. Returns the FILE's exit status.
    virtual int analyse(const FileJob& job, std::ostream& strOut, std::ostream& strErr) const = 0;
};

// Analyses every FILE of sources, lngJobs at once (1: one after the other; the output is the same),
// the progress line told of each. Returns the highest exit status met, a list that could not be read
// to its end included (2).
int runFiles(FileSources& sources, const FileAnalysis& analysis, int lngJobs, const BatchStreams& streams,
             ProgressLine& progress);

// Runs work for the FILE strGiven and returns its exit status; a failure it raises is reported on
// strErr ("kestrix-batch: FILE: error N (SOURCE): DESCRIPTION") and gives 3.
int trapFailures(const std::string& strGiven, std::ostream& strErr, const std::function<int()>& work);

} // namespace kestrix::cli
