// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrix::platform {

// Longest line a reader holds; a longer line is reported as too long and skipped, so memory stays
// bounded whatever the file holds.
inline constexpr std::size_t lngMaxLineBytes = 64 * 1024;

// One line read from a text stream, without its terminator.
struct TextLine
{
    std::string_view strText; // valid until the next call on the stream
    bool blnTooLong = false;  // longer than lngMaxLineBytes: strText holds only its start
};

// A text stream open for reading. Lines end with CR LF or a lone LF; a UTF-8 byte-order mark at the
// start of the file is skipped.
class TextReader
{
public:
    virtual ~TextReader() = default;
    virtual bool atEndOfStream() = 0;
    // Raises input past end of file (62) at the end of the stream.
    virtual TextLine readLine() = 0;
    virtual void close() = 0;
    // The share of the file read so far, 0 to 1, where its length is known; nothing where it is not.
    // For progress shown to the user: it counts the bytes taken from the file, not the lines handed out.
    virtual std::optional<double> shareRead() const
    {
        return std::nullopt;
    }
};

// A stream open for writing (text, or the bytes of a binary file). The earlier file of that name is
// replaced only at close(), at once; a stream destroyed without close() leaves the earlier file (or
// none) as it was. A failure to write may be raised by any call.
class TextWriter
{
public:
    virtual ~TextWriter() = default;
    // Writes strText followed by CR LF.
    virtual void writeLine(std::string_view strText) = 0;
    // Writes text as it stands (the writers append whole lines with their CR LF at once).
    virtual void write(std::string_view strText) = 0;
    virtual void close() = 0;
};

// A TextWriter that holds the text and hands it over whole, once, at close(); implementations say
// where it goes.
class BufferedTextWriter : public TextWriter
{
public:
    void writeLine(std::string_view strText) override
    {
        strContent += strText;
        strContent += "\r\n";
    }
    void write(std::string_view strText) override
    {
        strContent += strText;
    }
    void close() override
    {
        if (!blnClosed) {
            blnClosed = true;
            commit(strContent);
            strContent = std::string();
        }
    }

protected:
    virtual void commit(const std::string& strText) = 0;

private:
    std::string strContent;
    bool blnClosed = false;
};

// The output files of one analysis, put in place together. Each is written through the writer add()
// gives (its close() is not needed); commit() then replaces the earlier files of those names all at
// once, or, when any of them cannot be put in place, raises the failure and leaves every earlier file
// (or none) as it was, with none of the new ones. A set destroyed without commit() replaces nothing.
class FileSet
{
public:
    virtual ~FileSet() = default;
    // A new file of the set (text or bytes); the writer lives as long as the set.
    virtual TextWriter& add(std::string_view strPath) = 0;
    virtual void commit() = 0;
};

// The file-system object of a run: path names, text streams and the Wave files' binary output.
// Every failure raises a KestrixError (53 file not found, 61 disk full, 70 permission denied,
// 75 path/file access error, 76 path not found).
class TextFiles
{
public:
    virtual ~TextFiles() = default;

    // The path without its last component and without a trailing separator (the root keeps its
    // separator); the empty text for a bare name.
    virtual std::string getParentFolderName(std::string_view strPath) = 0;
    // The last component without its extension (the text from its last "." on).
    virtual std::string getBaseName(std::string_view strPath) = 0;
    // The separator placed between a folder and a name.
    virtual char pathSeparator() const = 0;
    // Whether two paths name the same existing file (a link or another spelling included).
    virtual bool sameFile(std::string_view strPathA, std::string_view strPathB) = 0;

    virtual std::unique_ptr<TextReader> openTextFile(std::string_view strPath) = 0;
    virtual std::unique_ptr<TextWriter> createTextFile(std::string_view strPath) = 0;
    // A stream for the bytes of a binary file (the Wave files): write() stores them as they are.
    virtual std::unique_ptr<TextWriter> createBinaryFile(std::string_view strPath) = 0;
    // An empty set of files to be put in place together.
    virtual std::unique_ptr<FileSet> createFileSet() = 0;
};

} // namespace kestrix::platform
