// A small INDI driver for the wire benchmarks, run the same way behind either server: it
// speaks the protocol on stdin and stdout and sends, on request, frames of a fixed size
// (FRAME: BYTES, COUNT, INLINE) or a run of number updates (EVENTS: COUNT; VALUE counts
// 1..COUNT).
//
// Started by a server on a local socket, it hands a frame over as drivers do there: its bytes
// in shared memory whose descriptor goes beside the message, then a pingRequest, and the next
// frame only once the server has answered it. On a pipe, or when the request says INLINE 1,
// a frame is base64 text in the message, as a driver on a pipe or behind a remote server
// sends it.

#include "bench_frames.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using zeta::bench::kDriverDevice;

bool writeAll(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(1, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Sends text with the descriptor beside its first byte.
bool writeWithDescriptor(std::string_view text, int fd) {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec data{const_cast<char*>(text.data()), text.size()};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* part = CMSG_FIRSTHDR(&message);
    part->cmsg_level = SOL_SOCKET;
    part->cmsg_type = SCM_RIGHTS;
    part->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(part), &fd, sizeof fd);
    ssize_t n;
    do {
        n = sendmsg(1, &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    return writeAll(text.substr(static_cast<std::size_t>(n)));
}

bool stdoutIsSocket() {
    struct stat status {};
    return fstat(1, &status) == 0 && S_ISSOCK(status.st_mode);
}

std::string device() {
    return std::string("device=\"") + kDriverDevice + "\"";
}

void defineAll() {
    const std::string d = device();
    std::string text;
    text += "<defNumberVector " + d +
            " name=\"FRAME\" label=\"Frame\" group=\"Bench\" state=\"Idle\" perm=\"rw\">"
            "<defNumber name=\"BYTES\" label=\"Bytes\" format=\"%.0f\" min=\"0\" max=\"1e9\" step=\"1\">0</defNumber>"
            "<defNumber name=\"COUNT\" label=\"Count\" format=\"%.0f\" min=\"0\" max=\"1e6\" step=\"1\">0</defNumber>"
            "<defNumber name=\"INLINE\" label=\"Inline\" format=\"%.0f\" min=\"0\" max=\"1\" step=\"1\">0</defNumber>"
            "</defNumberVector>\n";
    text += "<defNumberVector " + d +
            " name=\"EVENTS\" label=\"Events\" group=\"Bench\" state=\"Idle\" perm=\"rw\">"
            "<defNumber name=\"COUNT\" label=\"Count\" format=\"%.0f\" min=\"0\" max=\"1e9\" step=\"1\">0</defNumber>"
            "</defNumberVector>\n";
    text += "<defNumberVector " + d +
            " name=\"VALUE\" label=\"Value\" group=\"Bench\" state=\"Idle\" perm=\"ro\">"
            "<defNumber name=\"X\" label=\"X\" format=\"%.0f\" min=\"0\" max=\"1e9\" step=\"1\">0</defNumber>"
            "</defNumberVector>\n";
    text += "<defBLOBVector " + d +
            " name=\"IMAGE\" label=\"Image\" group=\"Bench\" state=\"Idle\" perm=\"ro\">"
            "<defBLOB name=\"DATA\" label=\"Data\"/></defBLOBVector>\n";
    writeAll(text);
}

// Reads stdin into input; false at its end.
bool readMore(std::string& input) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        input.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
}

class FrameSender {
public:
    explicit FrameSender(std::string& input) : input_(input), onSocket_(stdoutIsSocket()) {}

    // COUNT 0 only makes the frame, and says so: making it is not the server's time.
    void send(std::size_t bytes, long count, bool inlineText) {
        const bool shared = onSocket_ && !inlineText;
        if (count == 0) {
            made(bytes, shared);
            writeAll("<setNumberVector " + device() + " name=\"FRAME\" state=\"Ok\"><oneNumber name=\"BYTES\">" +
                     std::to_string(bytes) + "</oneNumber><oneNumber name=\"COUNT\">0</oneNumber></setNumberVector>\n");
        }
        for (long i = 0; i < count; ++i)
            if (!(shared ? sendShared(bytes) : writeAll(made(bytes, false)))) return;
    }

private:
    // The frame's message text: whole when inline, without its bytes when shared.
    const std::string& made(std::size_t bytes, bool shared) {
        auto& texts = shared ? sharedTexts_ : inlineTexts_;
        auto it = texts.find(bytes);
        if (it != texts.end()) return it->second;
        if (!shared) return texts.emplace(bytes, zeta::bench::frameMessage(bytes)).first->second;
        memories_.emplace(bytes, sharedMemory(zeta::bench::frameBytes(bytes)));
        return texts.emplace(bytes, zeta::bench::sharedFrameMessage(bytes)).first->second;
    }

    // The frame's shared memory is made once, as its text is, and passed again with every
    // frame, as a camera driver reuses its frame buffer: filling fresh shared memory for each
    // frame would be the driver's time (on this machine most of a frame's, as memory given
    // back is slow to touch again), not the server's. The bytes never change.
    static int sharedMemory(const std::vector<std::uint8_t>& frame) {
        const int fd = memfd_create("frame", MFD_CLOEXEC);
        if (fd < 0) return -1;
        bool ok = ftruncate(fd, static_cast<off_t>(frame.size())) == 0;
        if (ok && !frame.empty()) {
            void* map = mmap(nullptr, frame.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            ok = map != MAP_FAILED;
            if (ok) {
                std::memcpy(map, frame.data(), frame.size());
                munmap(map, frame.size());
            }
        }
        if (ok) return fd;
        ::close(fd);
        return -1;
    }

    bool sendShared(std::size_t bytes) {
        const std::string& text = made(bytes, true);
        const int fd = memories_.at(bytes);
        if (fd < 0 || !writeWithDescriptor(text, fd)) return false;
        const std::string uid = "SetBLOB/" + std::to_string(++pings_);
        return writeAll("<pingRequest uid=\"" + uid + "\"/>\n") && awaitPingReply(uid);
    }

    // Waits for the server's answer to the ping; what else comes meanwhile stays in the input
    // for the main loop.
    bool awaitPingReply(const std::string& uid) {
        for (;;) {
            for (std::size_t at = input_.find("<pingReply"); at != std::string::npos;
                 at = input_.find("<pingReply", at + 1)) {
                const std::size_t end = input_.find('>', at);
                if (end == std::string::npos) break;
                if (input_.substr(at, end - at).find("\"" + uid + "\"") != std::string::npos ||
                    input_.substr(at, end - at).find("'" + uid + "'") != std::string::npos) {
                    input_.erase(at, end + 1 - at);
                    return true;
                }
            }
            if (!readMore(input_)) return false;
        }
    }

    std::string& input_;
    const bool onSocket_;
    std::map<std::size_t, std::string> inlineTexts_;
    std::map<std::size_t, std::string> sharedTexts_;
    std::map<std::size_t, int> memories_; // open until the driver ends
    long pings_ = 0;
};

void sendEvents(long count) {
    const std::string head = "<setNumberVector " + device() + " name=\"VALUE\" state=\"Ok\"><oneNumber name=\"X\">";
    std::string batch;
    for (long i = 1; i <= count; ++i) {
        batch += head;
        batch += std::to_string(i);
        batch += "</oneNumber></setNumberVector>\n";
        if (batch.size() >= (64u << 10)) {
            if (!writeAll(batch)) return;
            batch.clear();
        }
    }
    writeAll(batch);
}

// The value of attribute name in the tag text, either quote.
std::string attribute(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        if (at == 0 || (tag[at - 1] != ' ' && tag[at - 1] != '\t' && tag[at - 1] != '\n')) continue;
        std::size_t p = at + name.size();
        while (p < tag.size() && tag[p] == ' ')
            ++p;
        if (p >= tag.size() || tag[p] != '=') continue;
        ++p;
        while (p < tag.size() && tag[p] == ' ')
            ++p;
        if (p >= tag.size()) return {};
        const char quote = tag[p];
        const std::size_t end = tag.find(quote, p + 1);
        if (end == std::string_view::npos) return {};
        return std::string(tag.substr(p + 1, end - p - 1));
    }
    return {};
}

void handleNewNumber(std::string_view element, FrameSender& frames) {
    const std::string_view open = element.substr(0, element.find('>'));
    const std::string property = attribute(open, "name");
    std::map<std::string, double> values;
    for (std::size_t at = element.find("<oneNumber"); at != std::string_view::npos;
         at = element.find("<oneNumber", at + 1)) {
        const std::size_t close = element.find('>', at);
        const std::size_t end = element.find('<', close);
        if (close == std::string_view::npos || end == std::string_view::npos) break;
        values[attribute(element.substr(at, close - at), "name")] =
            std::atof(std::string(element.substr(close + 1, end - close - 1)).c_str());
    }
    if (property == "FRAME")
        frames.send(static_cast<std::size_t>(values["BYTES"]), static_cast<long>(values["COUNT"]),
                    values["INLINE"] != 0);
    else if (property == "EVENTS")
        sendEvents(static_cast<long>(values["COUNT"]));
}

} // namespace

int main() {
    std::string input;
    FrameSender frames(input);
    for (;;) {
        if (!readMore(input)) return 0;
        // Whole elements at the top level; anything else is skipped.
        for (;;) {
            const std::size_t start = input.find('<');
            if (start == std::string::npos) {
                input.clear();
                break;
            }
            std::size_t nameEnd = input.find_first_of(" \t\r\n/>", start + 1);
            const std::size_t tagEnd = input.find('>', start);
            if (nameEnd == std::string::npos || tagEnd == std::string::npos) break;
            const std::string tag = input.substr(start + 1, nameEnd - start - 1);
            std::size_t end;
            if (input[tagEnd - 1] == '/') {
                end = tagEnd + 1;
            } else {
                const std::size_t closing = input.find("</" + tag + ">", tagEnd);
                if (closing == std::string::npos) break;
                end = closing + tag.size() + 3;
            }
            // Handled from a copy: sending frames reads on into the input.
            const std::string element = input.substr(start, end - start);
            input.erase(0, end);
            if (tag == "getProperties") {
                const std::string wanted = attribute(element.substr(0, element.find('>')), "device");
                if (wanted.empty() || wanted == kDriverDevice) defineAll();
            } else if (tag == "newNumberVector")
                handleNewNumber(element, frames);
        }
    }
}
