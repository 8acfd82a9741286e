#include "indigo/wire/indigo_xml_parser.h"

#include "indigo/wire/indigo_base64.h"
#include "indigo/wire/indigo_wire_codes.h"
#include "indigo/wire/indigo_xml_framer.h"
#include "indigo/wire/indigo_xml_plain.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <expat.h>
#include <new>
#include <optional>
#include <random>
#include <string_view>

namespace zeta::indigo::wire {

namespace {

struct VectorElement {
    const char* name;
    MessageKind kind;
    indigo_property_type type;
};

constexpr VectorElement kVectors[] = {
    {"defTextVector", MessageKind::Define, INDIGO_TEXT_VECTOR},
    {"defNumberVector", MessageKind::Define, INDIGO_NUMBER_VECTOR},
    {"defSwitchVector", MessageKind::Define, INDIGO_SWITCH_VECTOR},
    {"defLightVector", MessageKind::Define, INDIGO_LIGHT_VECTOR},
    {"defBLOBVector", MessageKind::Define, INDIGO_BLOB_VECTOR},
    {"setTextVector", MessageKind::Set, INDIGO_TEXT_VECTOR},
    {"setNumberVector", MessageKind::Set, INDIGO_NUMBER_VECTOR},
    {"setSwitchVector", MessageKind::Set, INDIGO_SWITCH_VECTOR},
    {"setLightVector", MessageKind::Set, INDIGO_LIGHT_VECTOR},
    {"setBLOBVector", MessageKind::Set, INDIGO_BLOB_VECTOR},
    {"newTextVector", MessageKind::New, INDIGO_TEXT_VECTOR},
    {"newNumberVector", MessageKind::New, INDIGO_NUMBER_VECTOR},
    {"newSwitchVector", MessageKind::New, INDIGO_SWITCH_VECTOR},
    {"newBLOBVector", MessageKind::New, INDIGO_BLOB_VECTOR},
};

// The element that holds one item of a vector of that kind and type.
std::string_view itemElement(MessageKind kind, indigo_property_type type) {
    const bool def = kind == MessageKind::Define;
    switch (type) {
    case INDIGO_TEXT_VECTOR:
        return def ? "defText" : "oneText";
    case INDIGO_NUMBER_VECTOR:
        return def ? "defNumber" : "oneNumber";
    case INDIGO_SWITCH_VECTOR:
        return def ? "defSwitch" : "oneSwitch";
    case INDIGO_LIGHT_VECTOR:
        return def ? "defLight" : "oneLight";
    case INDIGO_BLOB_VECTOR:
        return def ? "defBLOB" : "oneBLOB";
    }
    return {};
}

const char* attribute(const XML_Char** attributes, const char* name) {
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        if (std::strcmp(attributes[i], name) == 0) return attributes[i + 1];
    }
    return nullptr;
}

constexpr int kMaxDepth = 4;

} // namespace

class XmlStreamParser::State {
public:
    State(Sink sink, ParserLimits limits) : sink_(std::move(sink)), limits_(limits), framer_(limits.maxPendingBytes) {
        // One secret hash salt for the parser's life: left to expat, every message (each is
        // parsed after a reset) would draw a new one from the kernel.
        try {
            std::random_device random;
            salt_ = (static_cast<unsigned long>(random()) << 32) ^ random();
        } catch (const std::exception&) {
            salt_ = 0; // expat draws its own
        }
        parser_ = XML_ParserCreate(nullptr);
        installHandlers();
    }
    ~State() {
        if (parser_ != nullptr) XML_ParserFree(parser_);
    }

    bool feed(const char* data, std::size_t size);
    bool finish();
    bool midMessage() const { return error_.empty() && !betweenDocuments_ && (depth_ > 0 || framer_.inside()); }
    const std::string& error() const { return error_; }

private:
    enum class Top { Vector, Delete, Message, GetProperties, EnableBlob, Ping, Ignored };

    static State* self(void* user) { return static_cast<State*>(user); }

    void installHandlers() {
        if (parser_ == nullptr) return;
        if (salt_ != 0) XML_SetHashSalt(parser_, salt_);
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(
            parser_, [](void* u, const XML_Char* n, const XML_Char** a) { self(u)->start(n, a); },
            [](void* u, const XML_Char* n) { self(u)->end(n); });
        XML_SetCharacterDataHandler(
            parser_, [](void* u, const XML_Char* s, int len) { self(u)->text(s, static_cast<std::size_t>(len)); });
        XML_SetStartDoctypeDeclHandler(parser_, [](void* u, const XML_Char*, const XML_Char*, const XML_Char*, int) {
            self(u)->fail("a DOCTYPE is not accepted");
        });
        XML_SetEntityDeclHandler(
            parser_, [](void* u, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
                        const XML_Char*, const XML_Char*) { self(u)->fail("entity declarations are not accepted"); });
    }

    void noteEvent() {
        if (!plain_) lastEvent_ = XML_GetCurrentByteIndex(parser_);
    }

    void fail(std::string reason) {
        if (error_.empty()) error_ = std::move(reason);
        if (!plain_) XML_StopParser(parser_, XML_FALSE);
    }

    void invalid(std::string reason) {
        if (message_.invalid.empty()) message_.invalid = std::move(reason);
    }

    void start(const XML_Char* name, const XML_Char** attributes);
    void end(const XML_Char* name);
    void text(const char* data, std::size_t size);

    void startTop(std::string_view name, const XML_Char** attributes);
    void startItem(std::string_view name, const XML_Char** attributes);
    bool blobText(const char* data, std::size_t size);
    Base64Decoder& blobDecoder() {
        if (!decoder_) decoder_.emplace(blob_, limits_.maxBlobBytes - blobBytes_);
        return *decoder_;
    }
    void endItem();
    void endTop();
    // A whole plain element read without the parser: its events, then the message.
    bool replayPlain();
    void resetDocument();
    void resetMessage();
    // Keeps the larger of bytes and the spare for the next BLOB; bytes is left empty.
    void keepSpare(BlobBytes& bytes) {
        if (bytes.capacity() > spare_.capacity()) spare_.swap(bytes);
        bytes = BlobBytes();
    }

    Sink sink_;
    ParserLimits limits_;
    unsigned long salt_ = 0;
    XML_Parser parser_ = nullptr;
    std::string error_;

    // Where the stream stands.
    bool betweenDocuments_ = true;
    std::int64_t documentFed_ = 0; // bytes given to the parser for this document
    std::int64_t lastEvent_ = 0;   // offset of the last parser event in it
    bool documentDone_ = false;
    bool deliver_ = false;
    Framer framer_;
    PlainElementReader plainReader_;
    bool plain_ = false;            // handling the plain reader's events
    std::size_t plainTagBytes_ = 0; // of the start tag being handled

    // The message being read.
    int depth_ = 0;
    Top top_ = Top::Ignored;
    WireMessage message_;
    std::string text_;
    bool inItem_ = false;
    bool itemIgnored_ = false;
    WireItem item_;
    // The BLOB item being read: its bytes decode into blob_ from the framer's BLOB text,
    // which the parser reports only afterwards, or from the parser's text events.
    BlobBytes blob_;
    std::optional<Base64Decoder> decoder_;
    BlobBytes spare_; // the buffer of an earlier BLOB, given back once its message was handled
    std::optional<long long> blobSize_, blobLen_, blobEncodedLen_;
    std::int64_t blobBytes_ = 0; // decoded in earlier items of this message
};

void XmlStreamParser::State::start(const XML_Char* name, const XML_Char** attributes) {
    noteEvent();
    ++depth_;
    const auto tagBytes = plain_ ? plainTagBytes_ : static_cast<std::size_t>(XML_GetCurrentByteCount(parser_));
    if (tagBytes > limits_.maxPendingBytes) {
        fail("a tag or attribute over " + std::to_string(limits_.maxPendingBytes) + " bytes");
        return;
    }
    if (depth_ > kMaxDepth) {
        fail("elements nested too deep");
        return;
    }
    if (depth_ == 1)
        startTop(name, attributes);
    else if (depth_ == 2 && top_ == Top::Vector)
        startItem(name, attributes);
}

void XmlStreamParser::State::startTop(std::string_view name, const XML_Char** attributes) {
    message_ = WireMessage{};
    text_.clear();
    blobBytes_ = 0;
    top_ = Top::Ignored;
    for (const VectorElement& vector : kVectors) {
        if (name == vector.name) {
            top_ = Top::Vector;
            message_.kind = vector.kind;
            message_.type = vector.type;
            break;
        }
    }
    if (top_ == Top::Ignored) {
        if (name == "delProperty") {
            top_ = Top::Delete;
            message_.kind = MessageKind::Delete;
        } else if (name == "message") {
            top_ = Top::Message;
            message_.kind = MessageKind::Message;
        } else if (name == "getProperties") {
            top_ = Top::GetProperties;
            message_.kind = MessageKind::GetProperties;
        } else if (name == "enableBLOB") {
            top_ = Top::EnableBlob;
            message_.kind = MessageKind::EnableBlob;
        } else if (name == "pingRequest") {
            top_ = Top::Ping;
            message_.kind = MessageKind::PingRequest;
        } else {
            return; // not ours: read past it
        }
    }
    const auto text = [&](const char* key) {
        const char* value = attribute(attributes, key);
        return value != nullptr ? std::string(value) : std::string();
    };
    message_.device = text("device");
    message_.name = text("name");
    message_.message = text("message");
    message_.version = text("version");
    message_.uid = text("uid");
    message_.client = text("client");
    if (top_ != Top::Vector) return;
    message_.label = text("label");
    message_.group = text("group");
    if (const char* timeout = attribute(attributes, "timeout"); timeout != nullptr && parseNumber(timeout))
        message_.timeout = std::string(trimmed(timeout));
    if (message_.device.empty() || message_.name.empty()) invalid("a property without a device or name");
    if (const char* state = attribute(attributes, "state")) {
        message_.state = parseState(state);
        if (!message_.state) invalid(std::string("unknown state '") + state + "'");
    }
    if (message_.kind != MessageKind::Define) return;
    if (!message_.state) message_.state = INDIGO_IDLE_STATE;
    const bool readOnlyKind = message_.type == INDIGO_LIGHT_VECTOR;
    message_.perm = readOnlyKind ? INDIGO_RO_PERM : INDIGO_RW_PERM;
    if (const char* perm = attribute(attributes, "perm"); perm != nullptr && !readOnlyKind) {
        if (auto parsed = parsePerm(perm))
            message_.perm = *parsed;
        else
            invalid(std::string("unknown permission '") + perm + "'");
    }
    if (const char* rule = attribute(attributes, "rule"); rule != nullptr && message_.type == INDIGO_SWITCH_VECTOR) {
        if (auto parsed = parseRule(rule))
            message_.rule = *parsed;
        else
            invalid(std::string("unknown rule '") + rule + "'");
    }
}

void XmlStreamParser::State::startItem(std::string_view name, const XML_Char** attributes) {
    inItem_ = true;
    itemIgnored_ = name != itemElement(message_.kind, message_.type);
    text_.clear();
    if (itemIgnored_) return;
    if (message_.items.size() >= limits_.maxItems) {
        fail("more than " + std::to_string(limits_.maxItems) + " items in one property");
        return;
    }
    item_ = WireItem{};
    const char* itemName = attribute(attributes, "name");
    if (itemName == nullptr || itemName[0] == '\0')
        invalid("an item without a name");
    else
        item_.name = itemName;
    if (const char* label = attribute(attributes, "label")) item_.label = label;
    if (const char* format = attribute(attributes, "format")) item_.format = format;

    const auto number = [&](const char* key, double& target) {
        const char* value = attribute(attributes, key);
        if (value == nullptr) return false;
        if (auto parsed = parseNumber(value)) {
            target = *parsed;
            return true;
        }
        invalid(std::string("attribute ") + key + " is not a number: '" + value + "'");
        return false;
    };
    if (message_.type == INDIGO_NUMBER_VECTOR) {
        const bool define = message_.kind == MessageKind::Define;
        item_.hasMin = number("min", item_.min) || define;
        item_.hasMax = number("max", item_.max) || define;
        item_.hasStep = number("step", item_.step) || define;
    }
    if (message_.type != INDIGO_BLOB_VECTOR || message_.kind == MessageKind::Define) return;

    const auto count = [&](const char* key, std::optional<long long>& target) {
        target.reset();
        const char* value = attribute(attributes, key);
        if (value == nullptr) return;
        target = parseCount(value);
        if (!target) fail(std::string("BLOB attribute ") + key + " is not a byte count: '" + value + "'");
    };
    count("size", blobSize_);
    count("len", blobLen_);
    count("enclen", blobEncodedLen_);
    if (const char* url = attribute(attributes, "url")) item_.url = url;
    if (const char* attached = attribute(attributes, "attached");
        attached != nullptr && std::string_view(attached) == "true") {
        item_.attached = true;
        item_.length = blobLen_.value_or(blobSize_.value_or(-1));
        if (item_.length < 0) {
            fail("an attached BLOB without its length");
            return;
        }
    }
    const std::int64_t room = limits_.maxBlobBytes - blobBytes_;
    const long long declared = blobLen_.value_or(blobSize_.value_or(0));
    if (declared > room) {
        fail("a BLOB of " + std::to_string(declared) + " bytes is over the limit");
        return;
    }
    // Decoded into memory already touched, at its full size at once: growing it, or fresh
    // memory for every frame, costs a page fault per page.
    if (blob_.capacity() == 0) {
        blob_.swap(spare_);
        blob_.clear();
    }
    if (declared > 0 && item_.url.empty() && !item_.attached && static_cast<std::size_t>(declared) > blob_.capacity()) {
        try {
            blob_.reserve(static_cast<std::size_t>(declared));
        } catch (const std::bad_alloc&) {
            // Grown as the data comes, and refused by the limit if it is a lie.
        }
    }
    blobDecoder();
}

bool XmlStreamParser::State::blobText(const char* data, std::size_t size) {
    Base64Decoder& decoder = blobDecoder();
    if (decoder.feed(data, size)) return true;
    error_ = decoder.overLimit() ? "BLOB data over the limit" : "BLOB data is not base64";
    return false;
}

void XmlStreamParser::State::text(const char* data, std::size_t size) {
    noteEvent();
    if (depth_ == 2 && inItem_ && !itemIgnored_) {
        if (message_.type == INDIGO_BLOB_VECTOR && message_.kind != MessageKind::Define) {
            Base64Decoder& decoder = blobDecoder();
            if (!decoder.feed(data, size))
                fail(decoder.overLimit() ? "BLOB data over the limit" : "BLOB data is not base64");
            return;
        }
    } else if (!(depth_ == 1 && (top_ == Top::EnableBlob || top_ == Top::Message))) {
        return; // layout white space, or text of elements we skip
    }
    if (text_.size() + size > limits_.maxTextBytes) {
        fail("element text over " + std::to_string(limits_.maxTextBytes) + " bytes");
        return;
    }
    text_.append(data, size);
}

void XmlStreamParser::State::endItem() {
    inItem_ = false;
    if (itemIgnored_) {
        decoder_.reset();
        blob_.clear();
        return;
    }
    switch (message_.type) {
    case INDIGO_TEXT_VECTOR:
        item_.text = std::string(trimmed(text_));
        break;
    case INDIGO_NUMBER_VECTOR:
        if (message_.kind == MessageKind::Define && trimmed(text_).empty()) {
            item_.value = 0;
        } else if (auto value = parseNumber(text_)) {
            item_.value = *value;
        } else {
            invalid("item " + item_.name + " is not a number: '" + std::string(trimmed(text_)).substr(0, 64) + "'");
        }
        break;
    case INDIGO_SWITCH_VECTOR:
        if (auto on = parseSwitch(text_))
            item_.on = *on;
        else
            invalid("item " + item_.name + " is neither On nor Off");
        break;
    case INDIGO_LIGHT_VECTOR:
        if (auto state = parseState(text_))
            item_.light = *state;
        else
            invalid("item " + item_.name + " is not a light state");
        break;
    case INDIGO_BLOB_VECTOR:
        if (decoder_) {
            item_.bytes = std::move(blob_);
            blob_ = BlobBytes();
            if (!decoder_->finish()) {
                fail("BLOB data is not base64 (a group is cut short)");
                return;
            }
            const long long decoded = static_cast<long long>(item_.bytes.size());
            // The byte count to hold the data to: len when given, else size unless the
            // driver's enclen (a count of base64 characters) says how much was sent.
            long long expected = -1;
            if (blobLen_)
                expected = *blobLen_;
            else if (!blobEncodedLen_ && blobSize_)
                expected = *blobSize_;
            if (blobEncodedLen_ && static_cast<long long>(decoder_->characters()) != *blobEncodedLen_) {
                fail("BLOB " + item_.name + " has " + std::to_string(decoder_->characters()) +
                     " base64 characters where enclen says " + std::to_string(*blobEncodedLen_));
                return;
            }
            const bool byReference = (!item_.url.empty() || item_.attached) && decoded == 0;
            if (expected >= 0 && !byReference) {
                if (decoded < expected) {
                    fail("BLOB " + item_.name + " holds " + std::to_string(decoded) + " bytes where its size says " +
                         std::to_string(expected));
                    return;
                }
                // Peers pad compressed data past its length: the length holds.
                item_.bytes.resize(static_cast<std::size_t>(expected));
            }
            blobBytes_ += static_cast<std::int64_t>(item_.bytes.size());
            decoder_.reset();
        }
        break;
    }
    message_.items.push_back(std::move(item_));
    item_ = WireItem{};
}

void XmlStreamParser::State::endTop() {
    deliver_ = top_ != Top::Ignored;
    if (top_ == Top::EnableBlob) {
        message_.blobMode = std::string(trimmed(text_));
        const std::string& mode = message_.blobMode;
        if (mode != "Never" && mode != "Also" && mode != "Only" && mode != "URL")
            invalid("unknown BLOB mode '" + mode.substr(0, 32) + "'");
    } else if (top_ == Top::Message && message_.message.empty()) {
        message_.message = std::string(trimmed(text_));
    } else if (top_ == Top::Delete && message_.device.empty()) {
        invalid("a delProperty without a device");
    }
    text_.clear();
}

void XmlStreamParser::State::end(const XML_Char*) {
    noteEvent();
    if (depth_ == 2 && top_ == Top::Vector && inItem_) endItem();
    --depth_;
    if (depth_ > 0 || !error_.empty()) return;
    endTop();
    documentDone_ = true;
}

void XmlStreamParser::State::resetDocument() {
    XML_ParserReset(parser_, nullptr);
    installHandlers();
    framer_.reset();
    resetMessage();
}

void XmlStreamParser::State::resetMessage() {
    betweenDocuments_ = true;
    documentFed_ = 0;
    lastEvent_ = 0;
    documentDone_ = false;
    depth_ = 0;
    inItem_ = false;
    decoder_.reset();
    keepSpare(blob_);
    for (WireItem& item : message_.items)
        keepSpare(item.bytes);
    message_ = WireMessage{};
    item_ = WireItem{};
    text_.clear();
}

bool XmlStreamParser::State::feed(const char* data, std::size_t size) {
    if (parser_ == nullptr && error_.empty()) error_ = "out of memory for the XML parser";
    if (!error_.empty()) return false;
    while (size > 0) {
        if (betweenDocuments_) {
            while (size > 0 && (*data == ' ' || *data == '\n' || *data == '\r' || *data == '\t')) {
                ++data;
                --size;
            }
            if (size == 0) return true;
            betweenDocuments_ = false;
            // The parser has not been fed since its reset: a plain element may go around it.
            if (const std::size_t used = plainReader_.read(data, size, limits_.maxPendingBytes); used > 0) {
                if (!replayPlain()) return false;
                data += used;
                size -= used;
                continue;
            }
        }
        if (framer_.inBlobText()) {
            const void* lt = std::memchr(data, '<', size);
            const std::size_t text =
                lt != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lt) - data) : size;
            if (!blobText(data, text)) return false;
            data += text;
            size -= text;
            if (lt != nullptr) framer_.endBlobText();
            continue;
        }
        const std::size_t span = framer_.scan(data, std::min<std::size_t>(size, INT_MAX / 2));
        if (framer_.overLimit()) {
            error_ = "a tag or attribute over " + std::to_string(limits_.maxPendingBytes) + " bytes";
            return false;
        }
        const bool complete = framer_.done();
        const XML_Status status = XML_Parse(parser_, data, static_cast<int>(span), complete ? XML_TRUE : XML_FALSE);
        if (!error_.empty()) return false;
        if (status != XML_STATUS_OK) {
            error_ = std::string("malformed XML: ") + XML_ErrorString(XML_GetErrorCode(parser_)) + " at line " +
                     std::to_string(XML_GetCurrentLineNumber(parser_));
            return false;
        }
        documentFed_ += static_cast<std::int64_t>(span);
        data += span;
        size -= span;
        if (complete) {
            if (!documentDone_) {
                error_ = "malformed XML: an element that does not close";
                return false;
            }
            if (deliver_) sink_(message_);
            resetDocument();
            continue;
        }
        if (documentFed_ - lastEvent_ > static_cast<std::int64_t>(limits_.maxPendingBytes)) {
            error_ = "a tag or attribute over " + std::to_string(limits_.maxPendingBytes) + " bytes";
            return false;
        }
    }
    return true;
}

bool XmlStreamParser::State::replayPlain() {
    plain_ = true;
    const char* copy = plainReader_.text();
    for (const PlainElementReader::Event& event : plainReader_.events()) {
        switch (event.kind) {
        case PlainElementReader::Event::Kind::Start:
            plainTagBytes_ = event.tagBytes;
            start(copy + event.name, plainReader_.attributes(event));
            break;
        case PlainElementReader::Event::Kind::Text:
            text(copy + event.data, event.size);
            break;
        case PlainElementReader::Event::Kind::End:
            end(copy + event.name);
            break;
        }
        if (!error_.empty()) break;
    }
    plain_ = false;
    if (!error_.empty()) return false;
    if (deliver_) sink_(message_);
    resetMessage();
    return true;
}

bool XmlStreamParser::State::finish() {
    if (!error_.empty()) return false;
    if (betweenDocuments_) return true;
    if (depth_ > 0 || framer_.inside()) {
        error_ = "the stream ended in the middle of a message";
        return false;
    }
    // Only a declaration, a comment or white space may be left.
    if (XML_Parse(parser_, nullptr, 0, XML_TRUE) != XML_STATUS_OK &&
        XML_GetErrorCode(parser_) != XML_ERROR_NO_ELEMENTS) {
        error_ = "the stream ended in the middle of a message";
        return false;
    }
    return true;
}

XmlStreamParser::XmlStreamParser(Sink sink, ParserLimits limits)
    : state_(std::make_unique<State>(std::move(sink), limits)) {}

XmlStreamParser::~XmlStreamParser() = default;

bool XmlStreamParser::feed(const char* data, std::size_t size) {
    return state_->feed(data, size);
}

bool XmlStreamParser::finish() {
    return state_->finish();
}

bool XmlStreamParser::midMessage() const {
    return state_->midMessage();
}

const std::string& XmlStreamParser::error() const {
    return state_->error();
}

} // namespace zeta::indigo::wire
