#pragma once
// One protocol stream to a peer: a socket, or a driver's stdout and stdin. A reader thread
// parses what arrives and hands each message on; a writer thread sends what is queued, in
// queue order, so that nothing that posts to the peer (bus callbacks included) ever waits
// on the network. Both let small messages gather for up to kGatherTime after a small read or
// write, so that a burst of them costs a few wake-ups, reads and writes rather than one each;
// the first after a quiet spell goes at once.
//
// The link ends when the peer closes, on a stream error (the parser's, or a write that
// fails), when the queue holds more than its limit (a peer that stops reading), or when its
// owner closes it. The closed handler then runs once, on the reader thread, with the reason
// (empty for an orderly end of the stream). The owner joins the threads and closes the
// descriptors afterwards; a link is not restarted.
//
// What the peer sent before the end is still read and handed on when the end came from the
// writing side: a client that sends a change and closes without reading what it was sent
// makes our next write fail, and its change must not be lost to that. Only the owner's
// close and a stream error stop the reading at once; input left unread then is logged.

#include "indigo/wire/indigo_xml_parser.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace zeta::indigo::wire {

// Something queued whose bytes are made on the writer thread, at most once, and may be
// shared between links. A large one may instead be written in pieces as they are made.
class OutgoingPiece {
public:
    virtual ~OutgoingPiece() = default;
    virtual std::string_view bytes() = 0;
    // What it counts against the queue limit before its bytes are made.
    virtual std::size_t weight() const = 0;
    // Writes itself through write (false: stop); by default all of bytes() at once.
    virtual bool writeTo(const std::function<bool(std::string_view)>& write) { return write(bytes()); }
    virtual bool streams() const { return false; }
};

class Link {
public:
    using MessageHandler = std::function<void(WireMessage&)>;
    using ClosedHandler = std::function<void(const std::string& reason)>;
    // Runs on the reader thread before anything is parsed. It may read (readSome) and put
    // bytes for the parser into initial; returning false ends the link there.
    using Prelude = std::function<bool(Link& link, std::string& initial)>;

    static constexpr std::size_t kDefaultQueueLimit = std::size_t{512} << 20;
    // The closed handler's reason when the owner closed the link, and when the peer went
    // away (reset the connection, or closed its end while being written to).
    static constexpr const char* kClosedHere = "closed by this side";
    static constexpr const char* kPeerGone = "the peer has gone";

    // The descriptors stay the caller's; they are made non-blocking.
    Link(std::string peer, int readFd, int writeFd, ParserLimits limits = {},
         std::size_t queueLimit = kDefaultQueueLimit);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // onEnded, when given, runs once both threads are done with the link (on the last of
    // them to finish): from then on join() does not wait.
    void start(MessageHandler onMessage, ClosedHandler onClosed, Prelude prelude = {},
               std::function<void()> onEnded = {});

    // Queue bytes for the peer. False once the link is closing.
    bool send(std::string text);
    bool send(std::shared_ptr<OutgoingPiece> piece);

    // Takes no more, sends what is queued (for at most grace), then ends the writer.
    void finishSending(std::chrono::milliseconds grace);
    // Ends both threads as soon as they see it.
    void close();
    // Waits for both threads; not on the reader thread itself.
    void join();

    bool onReaderThread() const { return std::this_thread::get_id() == readerId_.load(); }
    std::thread::native_handle_type readerHandle() { return reader_.native_handle(); }
    const std::string& peer() const { return peer_; }

    // For a prelude: reads what is there, waiting until something is, the stream ends (0) or
    // the link is closed (-1). After a small read it first lets more gather for a moment
    // (kGatherTime): a peer that sends small messages one at a time would otherwise cost a
    // wake-up, a read and an acknowledgement each, most of their cost to us and to the peer.
    long readSome(char* buffer, std::size_t size);

    static constexpr std::chrono::microseconds kGatherTime{100};
    // A read or a written batch under this is small: a burst may be under way.
    static constexpr std::size_t kSmallBytes = std::size_t{16} << 10;
    // For a prelude: writes all of it unless the link closes first.
    bool writeAll(std::string_view bytes);

    // Before start, for a local socket: descriptors the peer passes with its bytes are
    // kept, in the order they came, for the message handler to take (the reader's own).
    void acceptDescriptors() { acceptsDescriptors_ = true; }
    // The oldest descriptor not yet taken (the caller closes it), or -1.
    int takeDescriptor();

private:
    struct Entry {
        std::string text;
        std::shared_ptr<OutgoingPiece> piece;
    };

    bool enqueue(Entry entry, std::size_t weight);
    void readLoop(Prelude prelude);
    void writeLoop();
    bool writeBytes(std::string_view bytes, std::chrono::steady_clock::time_point deadline);
    // stopReading: the reader drops what is still to be read (otherwise it reads what is
    // already there first).
    void fail(const std::string& reason, bool stopReading);
    long readReady(char* buffer, std::size_t size);
    void logUnread(bool midMessage);
    // Waits kGatherTime, or less if the link is closed meanwhile.
    void letSmallMessagesGather();
    void threadEnded();

    const std::string peer_;
    const int readFd_;
    const int writeFd_;
    const ParserLimits limits_;
    const std::size_t queueLimit_;
    int wakeFd_ = -1;

    MessageHandler onMessage_;
    ClosedHandler onClosed_;
    std::function<void()> onEnded_;
    std::atomic<int> threadsRunning_{0};

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> queue_;
    std::size_t queued_ = 0;
    bool accepting_ = true;
    bool draining_ = false;
    std::chrono::steady_clock::time_point drainDeadline_{};
    bool closing_ = false;
    bool stopReading_ = false;
    std::string failure_;
    long drainLeft_ = -1;        // the reader's own: bytes still to read once the writing side ended
    bool lastReadSmall_ = false; // the reader's own

    bool acceptsDescriptors_ = false;
    std::deque<int> descriptors_; // the reader thread's own

    std::atomic<std::thread::id> readerId_{};
    std::thread reader_;
    std::thread writer_;
};

} // namespace zeta::indigo::wire
