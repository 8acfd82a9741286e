// A small INDI driver for the wire benchmarks, run the same way behind either server: it
// speaks the protocol on stdin and stdout and sends, on request, frames of a fixed size
// (FRAME: BYTES, COUNT) or a run of number updates (EVENTS: COUNT; VALUE counts 1..COUNT).

#include "bench_frames.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <unistd.h>

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

// COUNT 0 only makes the frame, and says so: making it is not the server's time.
void sendFrames(std::size_t bytes, long count) {
    static std::map<std::size_t, std::string> made;
    auto it = made.find(bytes);
    if (it == made.end()) it = made.emplace(bytes, zeta::bench::frameMessage(bytes)).first;
    if (count == 0)
        writeAll("<setNumberVector " + device() + " name=\"FRAME\" state=\"Ok\"><oneNumber name=\"BYTES\">" +
                 std::to_string(bytes) + "</oneNumber><oneNumber name=\"COUNT\">0</oneNumber></setNumberVector>\n");
    for (long i = 0; i < count; ++i)
        if (!writeAll(it->second)) return;
}

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

void handleNewNumber(std::string_view element) {
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
        sendFrames(static_cast<std::size_t>(values["BYTES"]), static_cast<long>(values["COUNT"]));
    else if (property == "EVENTS")
        sendEvents(static_cast<long>(values["COUNT"]));
}

} // namespace

int main() {
    std::string input;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        input.append(buffer, static_cast<std::size_t>(n));
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
            const std::string_view element(input.data() + start, end - start);
            if (tag == "getProperties") {
                const std::string wanted = attribute(element.substr(0, element.find('>')), "device");
                if (wanted.empty() || wanted == kDriverDevice) defineAll();
            } else if (tag == "newNumberVector")
                handleNewNumber(element);
            input.erase(0, end);
        }
    }
}
