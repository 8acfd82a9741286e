#include "indigo/wire/indigo_xml_framer.h"

#include <cstring>
#include <string_view>

namespace zeta::indigo::wire {

std::size_t Framer::scan(const char* data, std::size_t size) {
    done_ = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (state_ == State::BlobText) return i;
        if (state_ == State::Text) {
            const void* lt = std::memchr(data + i, '<', size - i);
            if (lt == nullptr) return size;
            i = static_cast<std::size_t>(static_cast<const char*>(lt) - data);
            enter(State::Open);
            continue;
        }
        if (++markup_ > maxMarkup_) {
            overLimit_ = true;
            return i;
        }
        const char c = data[i];
        switch (state_) {
        case State::Open:
            name_.clear();
            naming_ = true;
            if (c == '/') {
                endTag_ = true;
                state_ = State::Tag;
                break;
            }
            if (c == '?') {
                state_ = State::Instruction;
                break;
            }
            if (c == '!') {
                state_ = State::Bang;
                bang_.clear();
                break;
            }
            // Any other character is the first of a start tag's name.
            endTag_ = false;
            state_ = State::Tag;
            [[fallthrough]];
        case State::Tag:
            if (tagEnds(c)) {
                done_ = true;
                return i + 1;
            }
            if (state_ == State::BlobText) return i + 1;
            break;
        case State::Instruction:
            if (c == '>' && previous_ == '?') state_ = State::Text;
            break;
        case State::Bang:
            bang_ += c;
            if (bang_ == "--") {
                state_ = State::Comment;
                previous2_ = 0;
            } else if (std::string_view("[CDATA[").substr(0, bang_.size()) == bang_) {
                if (bang_.size() == 7) state_ = State::Data;
            } else if (bang_ != "-") {
                state_ = State::Declaration;
                brackets_ = 0;
                quote_ = 0;
                declaration(c);
            }
            break;
        case State::Comment:
            if (c == '>' && previous_ == '-' && previous2_ == '-') state_ = State::Text;
            break;
        case State::Data:
            if (c == '>' && previous_ == ']' && previous2_ == ']') state_ = State::Text;
            break;
        case State::Declaration:
            declaration(c);
            break;
        case State::Text:
        case State::BlobText:
            break;
        }
        previous2_ = previous_;
        previous_ = c;
    }
    return size;
}

void Framer::reset() {
    state_ = State::Text;
    depth_ = 0;
    done_ = false;
    quote_ = 0;
    top_.clear();
}

void Framer::enter(State state) {
    state_ = state;
    markup_ = 0;
    previous_ = previous2_ = 0;
    quote_ = 0;
}

bool Framer::tagEnds(char c) {
    if (naming_) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>')
            naming_ = false;
        else if (name_.size() < 32)
            name_ += c;
    }
    if (quote_ != 0) {
        if (c == quote_) quote_ = 0;
        return false;
    }
    if (c == '"' || c == '\'') {
        quote_ = c;
        return false;
    }
    if (c != '>') return false;
    state_ = State::Text;
    if (endTag_) {
        if (--depth_ <= 0) {
            depth_ = 0;
            return true;
        }
    } else if (previous_ == '/') {
        return depth_ == 0;
    } else {
        ++depth_;
        if (depth_ == 1)
            top_ = name_;
        else if (depth_ == 2 && name_ == "oneBLOB" && (top_ == "setBLOBVector" || top_ == "newBLOBVector"))
            state_ = State::BlobText;
    }
    return false;
}

void Framer::declaration(char c) {
    if (quote_ != 0) {
        if (c == quote_) quote_ = 0;
    } else if (c == '"' || c == '\'') {
        quote_ = c;
    } else if (c == '[') {
        ++brackets_;
    } else if (c == ']') {
        --brackets_;
    } else if (c == '>' && brackets_ <= 0) {
        state_ = State::Text;
    }
}

} // namespace zeta::indigo::wire
