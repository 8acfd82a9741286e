#include "indigo/wire/indigo_wire_link.h"

#include "indigo/indigo_log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace zeta::indigo::wire {

namespace {

constexpr std::size_t kReadChunk = std::size_t{256} << 10;
constexpr std::size_t kCoalesce = std::size_t{64} << 10;

void makeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// A write to a closed pipe raises SIGPIPE at the writing thread. The writer keeps it
// blocked, so the write fails with EPIPE instead; the pending signal is taken off here.
void blockBrokenPipeSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void dropPendingBrokenPipeSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    timespec zero{};
    while (sigtimedwait(&set, nullptr, &zero) == SIGPIPE) {}
}

// Bytes that have arrived and wait to be read (0 when that cannot be told).
long bytesWaiting(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 && count > 0 ? count : 0;
}

} // namespace

Link::Link(std::string peer, int readFd, int writeFd, ParserLimits limits, std::size_t queueLimit)
    : peer_(std::move(peer)), readFd_(readFd), writeFd_(writeFd), limits_(limits), queueLimit_(queueLimit) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    makeNonBlocking(readFd_);
    if (writeFd_ != readFd_) makeNonBlocking(writeFd_);
}

Link::~Link() {
    close();
    join();
    for (int fd : descriptors_)
        ::close(fd);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

int Link::takeDescriptor() {
    if (descriptors_.empty()) return -1;
    const int fd = descriptors_.front();
    descriptors_.pop_front();
    return fd;
}

void Link::start(MessageHandler onMessage, ClosedHandler onClosed, Prelude prelude, std::function<void()> onEnded) {
    onMessage_ = std::move(onMessage);
    onClosed_ = std::move(onClosed);
    onEnded_ = std::move(onEnded);
    threadsRunning_.store(2);
    if (wakeFd_ < 0) {
        failure_ = "no event descriptor";
        closing_ = true;
    }
    writer_ = std::thread([this] { writeLoop(); });
    reader_ = std::thread([this, prelude = std::move(prelude)]() mutable { readLoop(std::move(prelude)); });
}

bool Link::send(std::string text) {
    const std::size_t weight = text.size();
    return enqueue(Entry{std::move(text), nullptr}, weight);
}

bool Link::send(std::shared_ptr<OutgoingPiece> piece) {
    if (piece == nullptr) return false;
    const std::size_t weight = piece->weight();
    return enqueue(Entry{std::string(), std::move(piece)}, weight);
}

bool Link::enqueue(Entry entry, std::size_t weight) {
    std::lock_guard lock(mutex_);
    if (!accepting_ || closing_) return false;
    if (queued_ > 0 && queued_ + weight > queueLimit_) {
        if (failure_.empty()) failure_ = "the peer does not read: " + std::to_string(queued_) + " bytes are waiting";
        closing_ = true;
        accepting_ = false;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        changed_.notify_all();
        return false;
    }
    queued_ += weight;
    queue_.push_back(std::move(entry));
    changed_.notify_one();
    return true;
}

void Link::finishSending(std::chrono::milliseconds grace) {
    std::lock_guard lock(mutex_);
    accepting_ = false;
    if (!draining_) {
        draining_ = true;
        drainDeadline_ = std::chrono::steady_clock::now() + grace;
    }
    changed_.notify_all();
}

void Link::threadEnded() {
    if (threadsRunning_.fetch_sub(1) == 1 && onEnded_) onEnded_();
}

void Link::fail(const std::string& reason, bool stopReading) {
    {
        std::lock_guard lock(mutex_);
        if (failure_.empty()) failure_ = reason;
        closing_ = true;
        stopReading_ = stopReading_ || stopReading;
        accepting_ = false;
        changed_.notify_all();
    }
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) {
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
    }
}

void Link::close() {
    fail(kClosedHere, true);
}

void Link::join() {
    const std::thread::id self = std::this_thread::get_id();
    if (reader_.joinable() && reader_.get_id() != self) reader_.join();
    if (writer_.joinable() && writer_.get_id() != self) writer_.join();
}

void Link::letSmallMessagesGather() {
    pollfd wake{wakeFd_, POLLIN, 0};
    const timespec gather{0, std::chrono::nanoseconds(kGatherTime).count()};
    ppoll(&wake, 1, &gather, nullptr);
}

long Link::readSome(char* buffer, std::size_t size) {
    for (;;) {
        if (drainLeft_ >= 0) {
            // The writing side has ended: what had arrived by then is still read, no more,
            // unless the owner closes meanwhile.
            {
                std::lock_guard lock(mutex_);
                if (drainLeft_ == 0 || stopReading_) return -1;
            }
            const long n = readReady(buffer, std::min(size, static_cast<std::size_t>(drainLeft_)));
            if (n > 0) drainLeft_ -= n;
            return n == -2 ? -1 : n;
        }
        if (lastReadSmall_) {
            lastReadSmall_ = false;
            letSmallMessagesGather(); // a close that cuts it short is seen below
        }
        pollfd fds[2] = {{readFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            fail(errnoText("poll"), true);
            return -1;
        }
        if (fds[1].revents != 0) {
            std::lock_guard lock(mutex_);
            if (stopReading_) return -1;
            drainLeft_ = bytesWaiting(readFd_);
            continue;
        }
        if (fds[0].revents == 0) continue;
        const long n = readReady(buffer, size);
        lastReadSmall_ = n > 0 && static_cast<std::size_t>(n) < kSmallBytes;
        if (n != -2) return n;
    }
}

// One read of what is there: the count, 0 at the end of the stream, -1 on failure, -2 when
// nothing is there yet.
long Link::readReady(char* buffer, std::size_t size) {
    for (;;) {
        ssize_t n;
        if (acceptsDescriptors_) {
            iovec data{buffer, size};
            alignas(cmsghdr) char control[CMSG_SPACE(16 * sizeof(int))];
            msghdr message{};
            message.msg_iov = &data;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            n = recvmsg(readFd_, &message, MSG_CMSG_CLOEXEC);
            if (n >= 0) {
                for (cmsghdr* part = CMSG_FIRSTHDR(&message); part != nullptr; part = CMSG_NXTHDR(&message, part)) {
                    if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS) continue;
                    const std::size_t count = (part->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                    for (std::size_t k = 0; k < count; ++k) {
                        int fd;
                        std::memcpy(&fd, CMSG_DATA(part) + k * sizeof(int), sizeof fd);
                        descriptors_.push_back(fd);
                    }
                }
                if ((message.msg_flags & MSG_CTRUNC) != 0) {
                    fail("descriptors passed beside the data were lost", true);
                    return -1;
                }
            }
        } else {
            n = ::read(readFd_, buffer, size);
        }
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return -2;
        if (errno == ECONNRESET) return 0; // a peer that vanished ends its stream like one that closed
        fail(errnoText("read"), true);
        return -1;
    }
}

void Link::logUnread(bool midMessage) {
    const long waiting = bytesWaiting(readFd_);
    if (waiting > 0)
        indigo_error("indigo: %s: the connection ended with %ld bytes of input unread", peer_.c_str(), waiting);
    else if (midMessage)
        indigo_error("indigo: %s: the connection ended in the middle of a message", peer_.c_str());
}

bool Link::writeAll(std::string_view bytes) {
    blockBrokenPipeSignal();
    return writeBytes(bytes, std::chrono::steady_clock::time_point::max());
}

bool Link::writeBytes(std::string_view bytes, std::chrono::steady_clock::time_point deadline) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(writeFd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            const bool gone = errno == EPIPE || errno == ECONNRESET;
            const std::string reason = gone ? std::string(kPeerGone) : errnoText("write");
            if (errno == EPIPE) dropPendingBrokenPipeSignal();
            fail(reason, false);
            return false;
        }
        int timeout = -1;
        if (deadline != std::chrono::steady_clock::time_point::max()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                fail("the peer stopped reading", false);
                return false;
            }
            timeout = static_cast<int>(left.count());
        }
        pollfd fds[2] = {{writeFd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            fail(errnoText("poll"), false);
            return false;
        }
        if (fds[1].revents != 0) return false;
    }
    return true;
}

void Link::writeLoop() {
    blockBrokenPipeSignal();
    std::string pending;
    bool lastBatchSmall = false;
    for (;;) {
        if (lastBatchSmall) letSmallMessagesGather();
        std::deque<Entry> batch;
        std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return closing_ || draining_ || !queue_.empty(); });
            if (closing_ || (draining_ && queue_.empty())) break;
            batch.swap(queue_);
            if (draining_) deadline = drainDeadline_;
        }
        bool ok = true;
        std::size_t written = 0;
        for (std::size_t i = 0; i < batch.size() && ok; ++i) {
            Entry& entry = batch[i];
            written += entry.piece != nullptr ? entry.piece->weight() : entry.text.size();
            if (entry.piece != nullptr && entry.piece->streams()) {
                if (!pending.empty()) {
                    ok = writeBytes(pending, deadline);
                    pending.clear();
                }
                ok = ok && entry.piece->writeTo([&](std::string_view piece) { return writeBytes(piece, deadline); });
                entry = Entry{};
                continue;
            }
            const std::string_view bytes = entry.piece != nullptr ? entry.piece->bytes() : std::string_view(entry.text);
            // Small messages go out together; a large one goes out on its own.
            if (bytes.size() < kCoalesce) {
                pending.append(bytes);
                if (pending.size() < kCoalesce && i + 1 < batch.size()) continue;
            }
            if (!pending.empty()) {
                ok = writeBytes(pending, deadline);
                pending.clear();
            }
            if (ok && bytes.size() >= kCoalesce) ok = writeBytes(bytes, deadline);
            entry = Entry{}; // let go of bytes as soon as they are out
        }
        if (ok && !pending.empty()) ok = writeBytes(pending, deadline);
        pending.clear();
        lastBatchSmall = written < kSmallBytes;
        std::lock_guard lock(mutex_);
        queued_ -= std::min(queued_, written);
        if (!ok) break;
    }
    threadEnded();
}

void Link::readLoop(Prelude prelude) {
    readerId_.store(std::this_thread::get_id());
    std::string reason;
    std::string initial;
    XmlStreamParser parser([this](WireMessage& message) { onMessage_(message); }, limits_);
    bool reading = true;
    if (prelude && !prelude(*this, initial)) {
        reading = false;
    } else if (!initial.empty() && !parser.feed(initial.data(), initial.size())) {
        reason = parser.error();
        reading = false;
    }
    std::vector<char> buffer(reading ? kReadChunk : 0);
    bool ended = !reading;
    while (reading) {
        const long n = readSome(buffer.data(), buffer.size());
        if (n == 0) {
            ended = true;
            if (!parser.finish()) reason = parser.error();
            break;
        }
        if (n < 0) {
            std::lock_guard lock(mutex_);
            reason = failure_.empty() ? "closed" : failure_;
            break;
        }
        if (!parser.feed(buffer.data(), static_cast<std::size_t>(n))) {
            reason = parser.error();
            ended = true; // the stream cannot go on: the rest is not input
            break;
        }
    }
    if (!reason.empty()) fail(reason, true);
    if (!ended) logUnread(parser.midMessage());
    if (onClosed_) onClosed_(reason);
    threadEnded();
}

} // namespace zeta::indigo::wire
