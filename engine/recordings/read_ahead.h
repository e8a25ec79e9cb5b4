// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sample_stream.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

// A sample stream read ahead on a thread of its own while its reader computes: a file not yet in the
// cache costs little more than one that is. Memory is a fixed number of blocks, whatever the length.
namespace kestrix::engine {

class ReadAheadStream : public platform::SampleStream
{
public:
    // Takes the stream over and starts reading it at once; nothing else may touch it afterwards.
    explicit ReadAheadStream(std::unique_ptr<platform::SampleStream> stream);
    // Stops the reading after the block it is in (a stream left before its end costs one block more).
    ~ReadAheadStream() override;
    ReadAheadStream(const ReadAheadStream&) = delete;
    ReadAheadStream& operator=(const ReadAheadStream&) = delete;

    // The stream's samples in their order; a failure of the stream's (KestrixError) is raised here
    // after the samples read before it (by the call after the one that gives the last of them).
    std::size_t readCounts(std::span<double> dblCounts) override;
    // A view of the block read ahead, never a copy.
    std::span<const double> nextCounts(std::span<double> dblRoom) override;
    // The stream's, once its last sample has been read from here; empty before.
    std::string refusal() const override;
    platform::RefusalFacts refusalFacts() const override;
    std::optional<std::int32_t> statedSampFreq() const override;
    std::int32_t channelCount() const override;
    std::string sourceDescription() const override;
    // The share the stream had read when the block now being taken from was read.
    std::optional<double> shareRead() const override;

private:
    struct Block
    {
        std::vector<double> dblCounts;
        std::size_t lngCount = 0;
        std::optional<double> dblShare;
        bool blnLast = false; // the stream gave fewer than asked (or failed): nothing follows
        std::exception_ptr failure;
    };
    // What the stream says of itself, taken on the reading thread: at the start, and again at the end.
    struct Facts
    {
        std::string strRefusal;
        platform::RefusalFacts refusalFacts;
        std::optional<std::int32_t> lngStatedSampFreq;
        std::int32_t lngChannels = 1;
        std::string strDescription;
        std::optional<double> dblShare;
    };
    static Facts factsOf(const platform::SampleStream& stream);
    void readLoop();
    bool nextBlock();
    bool advance(bool blnKeepFailure);

    std::unique_ptr<platform::SampleStream> stream;
    const Facts startFacts;
    Facts endFacts; // written by the reading thread before it hands over its last block
    std::vector<Block> blocks;
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t lngFilled = 0;   // blocks read by the reading thread
    std::uint64_t lngReleased = 0; // blocks given back by the reader
    bool blnStopping = false;
    // The reader's side: the block taken from (lngReleased mod blocks) and where in it.
    Block* current = nullptr;
    std::size_t lngAt = 0;
    bool blnEnded = false; // the last block is read out: endFacts hold
    const Facts& facts() const
    {
        return blnEnded ? endFacts : startFacts;
    }
    std::thread reading;
};

} // namespace kestrix::engine
