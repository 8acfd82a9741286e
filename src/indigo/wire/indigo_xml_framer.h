#pragma once
// Finds where each top-level element ends, so that the parser can be told its document is
// complete right there: a parser fed piecemeal holds back an element's last event until
// it sees more input, and the next message may be a long time coming. It also finds where
// the text of a BLOB item starts, so that its base64 (nearly all of a frame's bytes) is
// decoded straight from the input instead of going through the XML parser. Only the
// lexical outline is followed (tags, quotes, comments, processing instructions, CDATA,
// declarations); whether the XML is well formed is the parser's to judge.

#include <cstddef>
#include <string>

namespace zeta::indigo::wire {

class Framer {
public:
    explicit Framer(std::size_t maxMarkup) : maxMarkup_(maxMarkup) {}

    // Bytes of data up to and including the end of the top-level element or of the start
    // tag of a BLOB item, or size when neither is in them. done() and inBlobText() tell.
    std::size_t scan(const char* data, std::size_t size);

    bool done() const { return done_; }
    bool overLimit() const { return overLimit_; }
    // In the text of a BLOB item: the caller takes the bytes up to the next "<" and then
    // calls endBlobText.
    bool inBlobText() const { return state_ == State::BlobText; }
    void endBlobText() { state_ = State::Text; }
    // Inside an element, or inside markup: the stream may not end here.
    bool inside() const { return depth_ > 0 || state_ != State::Text; }

    void reset();

private:
    enum class State { Text, Open, Tag, Instruction, Bang, Comment, Data, Declaration, BlobText };

    void enter(State state);

    // One character of a start or end tag; true when it ends the top-level element.
    bool tagEnds(char c);

    void declaration(char c);

    const std::size_t maxMarkup_;
    State state_ = State::Text;
    int depth_ = 0;
    bool endTag_ = false;
    bool done_ = false;
    bool overLimit_ = false;
    char quote_ = 0;
    char previous_ = 0;
    char previous2_ = 0;
    int brackets_ = 0;
    std::size_t markup_ = 0;
    std::string bang_;
    bool naming_ = false;
    std::string name_; // of the tag being read
    std::string top_;  // of the top-level element
};

} // namespace zeta::indigo::wire
