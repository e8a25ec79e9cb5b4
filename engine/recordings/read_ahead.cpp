// SPDX-License-Identifier: GPL-3.0-or-later
#include "read_ahead.h"

#include <algorithm>

namespace kestrix::engine {

namespace {

// A sound file's reader's own block, so that it reads straight into ours.
constexpr std::size_t lngBlockSamples = 64 * 1024;
// Read ahead: enough to ride over a slow read of the disk, little enough to stay in the cache.
constexpr std::size_t lngBlocks = 3;

} // namespace

ReadAheadStream::Facts ReadAheadStream::factsOf(const platform::SampleStream& stream)
{
    return {stream.refusal(),      stream.refusalFacts(),      stream.statedSampFreq(),
            stream.channelCount(), stream.sourceDescription(), stream.shareRead()};
}

ReadAheadStream::ReadAheadStream(std::unique_ptr<platform::SampleStream> stream)
    : stream(std::move(stream)), startFacts(factsOf(*this->stream)), blocks(lngBlocks)
{
    for (Block& block : blocks) {
        block.dblCounts.resize(lngBlockSamples);
    }
    reading = std::thread([this] { readLoop(); });
}

ReadAheadStream::~ReadAheadStream()
{
    {
        const std::lock_guard lock(mutex);
        blnStopping = true;
    }
    changed.notify_all();
    reading.join();
}

void ReadAheadStream::readLoop()
{
    std::unique_lock lock(mutex);
    bool blnLast = false;
    while (!blnLast) {
        changed.wait(lock, [this] { return blnStopping || lngFilled - lngReleased < blocks.size(); });
        if (blnStopping) {
            return;
        }
        Block& block = blocks[lngFilled % blocks.size()];
        lock.unlock();
        block.failure = nullptr;
        try {
            block.lngCount = stream->readCounts(block.dblCounts);
            block.dblShare = stream->shareRead();
            block.blnLast = block.lngCount < block.dblCounts.size();
        } catch (...) {
            block.lngCount = 0;
            block.failure = std::current_exception();
            block.blnLast = true;
        }
        blnLast = block.blnLast;
        Facts lastFacts;
        if (blnLast) {
            lastFacts = factsOf(*stream);
        }
        lock.lock();
        if (blnLast) {
            endFacts = std::move(lastFacts);
        }
        ++lngFilled;
        changed.notify_all();
    }
}

// Gives back the block read from (if any) and waits for the next one; false at the end.
bool ReadAheadStream::nextBlock()
{
    if (blnEnded) {
        return false;
    }
    std::unique_lock lock(mutex);
    if (current != nullptr) {
        if (current->blnLast) {
            blnEnded = true;
            return false;
        }
        current = nullptr;
        ++lngReleased;
        changed.notify_all();
    }
    changed.wait(lock, [this] { return lngFilled > lngReleased; });
    current = &blocks[lngReleased % blocks.size()];
    lngAt = 0;
    return true;
}

// Makes the current block one with samples left to give; false at the end. A failure of the stream's
// is raised when its turn comes, or with blnKeepFailure left for the next call (false).
bool ReadAheadStream::advance(bool blnKeepFailure)
{
    while (!blnEnded) {
        if (current != nullptr && current->failure) {
            if (blnKeepFailure) {
                return false;
            }
            blnEnded = true;
            std::rethrow_exception(current->failure);
        }
        if (current != nullptr && lngAt < current->lngCount) {
            return true;
        }
        if (!nextBlock()) {
            return false;
        }
    }
    return false;
}

std::size_t ReadAheadStream::readCounts(std::span<double> dblCounts)
{
    std::size_t lngGiven = 0;
    // The samples given so far first: a failure comes with the next call.
    while (lngGiven < dblCounts.size() && advance(lngGiven > 0)) {
        const std::size_t lngTake = std::min(dblCounts.size() - lngGiven, current->lngCount - lngAt);
        std::copy_n(current->dblCounts.begin() + static_cast<std::ptrdiff_t>(lngAt), lngTake,
                    dblCounts.begin() + static_cast<std::ptrdiff_t>(lngGiven));
        lngAt += lngTake;
        lngGiven += lngTake;
    }
    return lngGiven;
}

std::span<const double> ReadAheadStream::nextCounts(std::span<double> dblRoom)
{
    if (!advance(false)) {
        return {};
    }
    const std::size_t lngTake = std::min(dblRoom.size(), current->lngCount - lngAt);
    const std::span<const double> dblGiven = std::span<const double>(current->dblCounts).subspan(lngAt, lngTake);
    lngAt += lngTake;
    return dblGiven;
}

// endFacts are read only once the reader has taken the last block under the lock.
std::string ReadAheadStream::refusal() const
{
    return blnEnded ? endFacts.strRefusal : std::string();
}

platform::RefusalFacts ReadAheadStream::refusalFacts() const
{
    return blnEnded ? endFacts.refusalFacts : platform::RefusalFacts{};
}

std::optional<std::int32_t> ReadAheadStream::statedSampFreq() const
{
    return facts().lngStatedSampFreq;
}

std::int32_t ReadAheadStream::channelCount() const
{
    return facts().lngChannels;
}

std::string ReadAheadStream::sourceDescription() const
{
    return facts().strDescription;
}

std::optional<double> ReadAheadStream::shareRead() const
{
    return current != nullptr ? current->dblShare : startFacts.dblShare;
}

} // namespace kestrix::engine
