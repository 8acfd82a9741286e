// The protocol on its own: what real peers send parses the same however the bytes are cut,
// every kind of bad stream is refused with its reason and nothing half-read comes out,
// records written out read back the same, and names map both ways.

#include "indigo/indigo_property.h"
#include "indigo/wire/indigo_base64.h"
#include "indigo/wire/indigo_name_map.h"
#include "indigo/wire/indigo_wire_codes.h"
#include "indigo/wire/indigo_xml_parser.h"
#include "indigo/wire/indigo_xml_plain.h"
#include "indigo/wire/indigo_xml_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

using namespace zeta::indigo::wire;

namespace {

struct Parsed {
    std::vector<WireMessage> messages;
    bool ok = true;
    std::string error;
};

// Feeds the input in pieces of the given sizes (cycled); 0 means all at once.
Parsed parse(const std::string& input, std::vector<std::size_t> pieces = {0}, ParserLimits limits = {}) {
    Parsed parsed;
    XmlStreamParser parser([&](WireMessage& m) { parsed.messages.push_back(std::move(m)); }, limits);
    std::size_t at = 0;
    std::size_t k = 0;
    while (at < input.size() && parsed.ok) {
        std::size_t size = pieces[k++ % pieces.size()];
        if (size == 0 || at + size > input.size()) size = input.size() - at;
        parsed.ok = parser.feed(input.data() + at, size);
        at += size;
    }
    if (parsed.ok) parsed.ok = parser.finish();
    parsed.error = parser.error();
    return parsed;
}

// Everything a message carries, as one text, to compare parses of the same input.
std::string summary(const WireMessage& m) {
    std::ostringstream out;
    out << static_cast<int>(m.kind) << '|' << m.type << '|' << m.device << '|' << m.name << '|' << m.label << '|'
        << m.group << '|' << m.message << '|' << m.version << '|' << (m.state ? static_cast<int>(*m.state) : -1) << '|'
        << m.perm << '|' << m.rule << '|' << m.blobMode << '|' << m.invalid;
    for (const WireItem& i : m.items) {
        out << "[" << i.name << '|' << i.label << '|' << i.text << '|' << i.format << '|' << i.value << '|' << i.min
            << '|' << i.max << '|' << i.step << '|' << i.hasMin << i.hasMax << i.hasStep << '|' << i.on << '|'
            << i.light << '|' << std::string(i.bytes.begin(), i.bytes.end()) << '|' << i.url << "]";
    }
    return out.str();
}

std::string base64(const std::string& bytes) {
    std::string out;
    appendBase64(out, bytes.data(), bytes.size());
    return out;
}

// Base64 wrapped at 72 columns and indented, as drivers write it on a pipe.
std::string wrapped(const std::string& encoded) {
    std::string out = "\n";
    for (std::size_t i = 0; i < encoded.size(); i += 72)
        out += encoded.substr(i, 72) + "\n";
    return out + "  ";
}

const std::string kConnectionDef =
    "<defSwitchVector device=\"CCD Simulator\" name=\"CONNECTION\" label=\"Connection\" group=\"Main Control\" "
    "state=\"Idle\" perm=\"rw\" rule=\"OneOfMany\" timeout=\"60\" timestamp=\"2026-12-10T12:18:21\">\n"
    "    <defSwitch name=\"CONNECT\" label=\"Connect\">\nOff\n    </defSwitch>\n"
    "    <defSwitch name=\"DISCONNECT\" label=\"Disconnect\">\nOn\n    </defSwitch>\n</defSwitchVector>\n";

const std::string kDriverSet =
    "<?xml version='1.0'?>\n<setNumberVector\n  device='Filter Simulator'\n  name='FILTER_SLOT'\n  state='Ok'\n"
    "  timeout='60'\n  timestamp='2026-12-10T12:23:48'\n>\n  <oneNumber name='FILTER_SLOT_VALUE'>\n      4\n  "
    "</oneNumber>\n"
    "</setNumberVector>\n";

struct ParseCase {
    const char* what;
    std::string input;
    std::function<void(const std::vector<WireMessage>&)> check;
};

std::vector<ParseCase> peerCases() {
    const std::string fits = "SIMPLE  =                    T" + std::string(50, ' ') + std::string(37, '\x01');
    return {
        {"indiserver's double-quoted definition", kConnectionDef,
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 1u);
             EXPECT_EQ(m[0].kind, MessageKind::Define);
             EXPECT_EQ(m[0].type, INDIGO_SWITCH_VECTOR);
             EXPECT_EQ(m[0].device, "CCD Simulator");
             EXPECT_EQ(m[0].group, "Main Control");
             EXPECT_EQ(m[0].perm, INDIGO_RW_PERM);
             EXPECT_EQ(m[0].rule, INDIGO_ONE_OF_MANY_RULE);
             ASSERT_EQ(m[0].items.size(), 2u);
             EXPECT_FALSE(m[0].items[0].on);
             EXPECT_TRUE(m[0].items[1].on);
             EXPECT_EQ(m[0].items[1].label, "Disconnect");
         }},
        {"a driver's single quotes, one attribute a line, a declaration before each message", kDriverSet + kDriverSet,
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 2u);
             for (const WireMessage& message : m) {
                 EXPECT_EQ(message.kind, MessageKind::Set);
                 EXPECT_EQ(message.state, INDIGO_OK_STATE);
                 ASSERT_EQ(message.items.size(), 1u);
                 EXPECT_EQ(message.items[0].value, 4);
                 EXPECT_FALSE(message.items[0].hasMin);
             }
         }},
        {"white space around values, a number definition with its range",
         "<defNumberVector device=\"CCD Simulator\" name=\"CCD_EXPOSURE\" label=\"Expose\" group=\"Main Control\" "
         "state=\"Idle\" perm=\"rw\" timeout=\"60\">\n    <defNumber name=\"CCD_EXPOSURE_VALUE\" label=\"Duration "
         "(s)\" "
         "format=\"%5.2f\" min=\"0.010000000000000000208\" max=\"3600\" step=\"1\">\n1\n    "
         "</defNumber>\n</defNumberVector>\n"
         "<defTextVector device=\"D\" name=\"T\" state=\"Ok\" perm=\"ro\"><defText name=\"A\">\n   spaced text  "
         "\n</defText>"
         "</defTextVector>",
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 2u);
             const WireItem& item = m[0].items.at(0);
             EXPECT_EQ(item.value, 1);
             EXPECT_EQ(item.format, "%5.2f");
             EXPECT_DOUBLE_EQ(item.min, 0.01);
             EXPECT_EQ(item.max, 3600);
             EXPECT_TRUE(item.hasMin && item.hasMax && item.hasStep);
             EXPECT_EQ(m[1].items.at(0).text, "spaced text");
             EXPECT_EQ(m[1].perm, INDIGO_RO_PERM);
         }},
        {"a BLOB on one line, with len",
         "<setBLOBVector device=\"CCD Simulator\" name=\"CCD1\" state=\"Ok\" timeout=\"60\">\n    <oneBLOB "
         "name=\"CCD1\" size=\"" +
             std::to_string(fits.size()) + "\" format=\".fits\" len=\"" + std::to_string(fits.size()) + "\">\n" +
             base64(fits) + "\n    </oneBLOB>\n</setBLOBVector>\n",
         [fits](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 1u);
             const WireItem& blob = m[0].items.at(0);
             EXPECT_EQ(std::string(blob.bytes.begin(), blob.bytes.end()), fits);
             EXPECT_EQ(blob.format, ".fits");
         }},
        {"a BLOB from a driver: enclen and 72 columns",
         "<?xml version='1.0'?>\n<setBLOBVector\n  device='CCD Simulator'\n  name='CCD1'\n  state='Ok'\n>\n  "
         "<oneBLOB\n    "
         "name='CCD1'\n    size='" +
             std::to_string(fits.size()) + "'\n    enclen='" + std::to_string(base64(fits).size()) +
             "'\n    format='.fits'>" + wrapped(base64(fits)) + "</oneBLOB>\n</setBLOBVector>\n",
         [fits](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 1u);
             EXPECT_EQ(std::string(m[0].items.at(0).bytes.begin(), m[0].items.at(0).bytes.end()), fits);
         }},
        {"decoded bytes past len are cut to len",
         "<setBLOBVector device=\"C\" name=\"CCD1\" state=\"Ok\"><oneBLOB name=\"CCD1\" size=\"2629440\" "
         "format=\".fits.fz\" "
         "len=\"5\">" +
             base64("fpack" + std::string(16, '\0')) + "</oneBLOB></setBLOBVector>",
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 1u);
             EXPECT_EQ(std::string(m[0].items.at(0).bytes.begin(), m[0].items.at(0).bytes.end()), "fpack");
         }},
        {"a set that changes a range, with a message",
         "<setNumberVector device=\"CCD Simulator\" name=\"CCD_FRAME\" state=\"Idle\" timeout=\"60\" "
         "message=\"Focuser moved 1500 steps outward\">\n    <oneNumber name=\"X\" min=\"0\" max=\"1279\" "
         "step=\"0\">\n0\n"
         "    </oneNumber>\n</setNumberVector>\n",
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 1u);
             EXPECT_EQ(m[0].message, "Focuser moved 1500 steps outward");
             const WireItem& x = m[0].items.at(0);
             EXPECT_TRUE(x.hasMin && x.hasMax && x.hasStep);
             EXPECT_EQ(x.max, 1279);
         }},
        {"a definition sent twice comes out twice", kConnectionDef + kConnectionDef,
         [](const std::vector<WireMessage>& m) {
             EXPECT_EQ(m.size(), 2u);
         }},
        {"a new relayed by the server, a write-only property, a light without permission",
         "<newNumberVector device=\"Filter Simulator\" name=\"FILTER_SLOT\">\n    <oneNumber "
         "name=\"FILTER_SLOT_VALUE\">\n2\n"
         "    </oneNumber>\n</newNumberVector>\n"
         "<defSwitchVector device=\"CCD Simulator\" name=\"CCD_COOLER\" state=\"Idle\" perm=\"wo\" rule=\"OneOfMany\">"
         "<defSwitch name=\"COOLER_ON\">Off</defSwitch></defSwitchVector>"
         "<defLightVector device=\"W\" name=\"L\" state=\"Alert\"><defLight "
         "name=\"A\">Busy</defLight></defLightVector>",
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 3u);
             EXPECT_EQ(m[0].kind, MessageKind::New);
             EXPECT_EQ(m[0].items.at(0).value, 2);
             EXPECT_EQ(m[1].perm, INDIGO_WO_PERM);
             EXPECT_EQ(m[2].perm, INDIGO_RO_PERM);
             EXPECT_EQ(m[2].items.at(0).light, INDIGO_BUSY_STATE);
         }},
        {"sexagesimal and exponent numbers; one that is neither is marked invalid",
         "<newNumberVector device=\"T\" name=\"EQ\"><oneNumber name=\"RA\">12:30:00</oneNumber><oneNumber "
         "name=\"H\">12:30"
         "</oneNumber><oneNumber name=\"DEC\">-0:30:00</oneNumber><oneNumber "
         "name=\"E\">1e1</oneNumber></newNumberVector>"
         "<newNumberVector device=\"T\" name=\"EQ\"><oneNumber name=\"RA\">10 15 30</oneNumber></newNumberVector>",
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 2u);
             EXPECT_EQ(m[0].invalid, "");
             EXPECT_EQ(m[0].items.at(0).value, 12.5);
             EXPECT_EQ(m[0].items.at(1).value, 12.5);
             EXPECT_EQ(m[0].items.at(2).value, -0.5);
             EXPECT_EQ(m[0].items.at(3).value, 10);
             EXPECT_THAT(m[1].invalid, testing::HasSubstr("not a number"));
         }},
        {"messages, deletes, requests and BLOB modes",
         "<message device=\"Filter Simulator\" timestamp=\"2026-12-10T12:19:33\" message=\"[INFO] Setting current "
         "filter to slot 3\"/>"
         "<delProperty device=\"Focuser Simulator\" name=\"FOCUS_MOTION\"/><delProperty device=\"Filter Simulator\"/>"
         "<getProperties version='1.7' device='Telescope Simulator' name='EQUATORIAL_EOD_COORD'/>"
         "<enableBLOB device='CCD Simulator' name='CCD1'>Also</enableBLOB><enableBLOB>Sometimes</enableBLOB>",
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 6u);
             EXPECT_EQ(m[0].kind, MessageKind::Message);
             EXPECT_EQ(m[0].message, "[INFO] Setting current filter to slot 3");
             EXPECT_EQ(m[1].kind, MessageKind::Delete);
             EXPECT_EQ(m[1].name, "FOCUS_MOTION");
             EXPECT_EQ(m[2].name, "");
             EXPECT_EQ(m[3].kind, MessageKind::GetProperties);
             EXPECT_EQ(m[3].version, "1.7");
             EXPECT_EQ(m[3].name, "EQUATORIAL_EOD_COORD");
             EXPECT_EQ(m[4].blobMode, "Also");
             EXPECT_THAT(m[5].invalid, testing::HasSubstr("unknown BLOB mode"));
         }},
        {"unknown elements are read past; a BLOB by URL carries no bytes",
         "<bogus a=\"1\"><deeper>text</deeper></bogus>\n<setBLOBVector device=\"Z\" name=\"CCD_IMAGE\" state=\"Ok\">"
         "<oneBLOB name=\"IMAGE\" format=\".fits\" size=\"100\" url=\"http://127.0.0.1:7624/blob/1-2.fits\"/>"
         "<unknownChild/></setBLOBVector>",
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 1u);
             EXPECT_EQ(m[0].items.size(), 1u);
             EXPECT_EQ(m[0].items.at(0).url, "http://127.0.0.1:7624/blob/1-2.fits");
             EXPECT_TRUE(m[0].items.at(0).bytes.empty());
         }},
        {"well formed but unusable: unknown state, a switch neither On nor Off, no device",
         "<setSwitchVector device=\"D\" name=\"S\" state=\"Maybe\"><oneSwitch "
         "name=\"A\">On</oneSwitch></setSwitchVector>"
         "<setSwitchVector device=\"D\" name=\"S\"><oneSwitch name=\"A\">Yes</oneSwitch></setSwitchVector>"
         "<setSwitchVector name=\"S\"><oneSwitch name=\"A\">On</oneSwitch></setSwitchVector>",
         [](const std::vector<WireMessage>& m) {
             ASSERT_EQ(m.size(), 3u);
             EXPECT_THAT(m[0].invalid, testing::HasSubstr("unknown state"));
             EXPECT_THAT(m[1].invalid, testing::HasSubstr("neither On nor Off"));
             EXPECT_THAT(m[2].invalid, testing::HasSubstr("without a device"));
         }},
    };
}

TEST(WireParser, WhatPeersSendParsesTheSameHoweverTheBytesAreCut) {
    std::mt19937 random(12345);
    for (const ParseCase& c : peerCases()) {
        SCOPED_TRACE(c.what);
        const Parsed whole = parse(c.input);
        ASSERT_TRUE(whole.ok) << whole.error;
        c.check(whole.messages);
        std::vector<std::size_t> randomPieces;
        for (int i = 0; i < 64; ++i)
            randomPieces.push_back(1 + random() % 97);
        for (const std::vector<std::size_t>& pieces :
             {std::vector<std::size_t>{1}, std::vector<std::size_t>{7}, randomPieces}) {
            const Parsed cut = parse(c.input, pieces);
            ASSERT_TRUE(cut.ok) << cut.error;
            ASSERT_EQ(cut.messages.size(), whole.messages.size());
            for (std::size_t i = 0; i < whole.messages.size(); ++i)
                EXPECT_EQ(summary(cut.messages[i]), summary(whole.messages[i]));
        }
    }
}

TEST(WireParser, ABlobOfManyMegabytesStreamsThroughWithoutTrippingTheTagLimit) {
    const std::string bytes(3 << 20, 'z');
    const std::string input = "<setBLOBVector device=\"C\" name=\"B\" state=\"Ok\"><oneBLOB name=\"B\" size=\"" +
                              std::to_string(bytes.size()) + "\" format=\".bin\">" + base64(bytes) +
                              "</oneBLOB></setBLOBVector>";
    ParserLimits limits;
    limits.maxPendingBytes = 64 << 10;
    const Parsed parsed = parse(input, {65536}, limits);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.messages.size(), 1u);
    EXPECT_EQ(parsed.messages[0].items.at(0).bytes.size(), bytes.size());
}

// A receiver that keeps each frame's buffer and gives the one it held back with the message,
// as the mirror does: the next frame is decoded into a buffer that holds an older, larger or
// smaller one, and must come out exactly, neither padded nor cut by what was there.
TEST(WireParser, FramesOneAfterAnotherComeOutWholeInTheBufferTheLastOneGaveBack) {
    std::mt19937 random(7);
    std::string input;
    std::vector<std::string> sent;
    for (std::size_t size : {70000u, 1000u, 0u, 150000u, 3u, 150000u, 20000u}) {
        std::string bytes(size, '\0');
        for (char& b : bytes)
            b = static_cast<char>(random());
        sent.push_back(bytes);
        input += "<setBLOBVector device=\"C\" name=\"B\"><oneBLOB name=\"B\" size=\"" + std::to_string(size) +
                 "\" format=\".bin\">" + base64(bytes) + "</oneBLOB></setBLOBVector>\n";
    }
    for (std::size_t piece : {std::size_t{0}, std::size_t{4093}, std::size_t{65536}}) {
        SCOPED_TRACE(piece);
        BlobBytes held;
        std::vector<std::string> received;
        XmlStreamParser parser(
            [&](WireMessage& m) {
                ASSERT_EQ(m.items.size(), 1u);
                held.swap(m.items[0].bytes);
                received.emplace_back(held.begin(), held.end());
            },
            {});
        bool ok = true;
        for (std::size_t at = 0; at < input.size() && ok; at += piece == 0 ? input.size() : piece)
            ok = parser.feed(input.data() + at, std::min(input.size() - at, piece == 0 ? input.size() : piece));
        ASSERT_TRUE(ok && parser.finish()) << parser.error();
        EXPECT_EQ(received, sent);
    }
}

struct BadCase {
    const char* what;
    std::string input;
    const char* reason;
};

TEST(WireParser, ABadStreamStopsWithItsReasonAndNothingHalfReadComesOut) {
    ParserLimits limits;
    limits.maxPendingBytes = 4096;
    limits.maxTextBytes = 256;
    limits.maxBlobBytes = 1000;
    limits.maxItems = 8;
    const std::string good = "<message device=\"D\" message=\"before\"/>\n";
    const auto blob = [](const std::string& attributes, const std::string& data) {
        return "<setBLOBVector device=\"C\" name=\"B\" state=\"Ok\"><oneBLOB name=\"B\" " + attributes + ">" + data +
               "</oneBLOB></setBLOBVector>";
    };
    std::string manyItems = "<defSwitchVector device=\"D\" name=\"S\" state=\"Idle\" perm=\"rw\" rule=\"AnyOfMany\">";
    for (int i = 0; i < 9; ++i)
        manyItems += "<defSwitch name=\"I" + std::to_string(i) + "\">Off</defSwitch>";
    manyItems += "</defSwitchVector>";
    const std::vector<BadCase> cases = {
        {"malformed XML", "<<<not xml>>>", "malformed XML"},
        {"a closing tag that does not match", "<message device=\"D\"></mess>", "malformed XML"},
        {"base64 with a character outside its alphabet", blob("size=\"3\"", "QU*D"), "not base64"},
        {"base64 cut short", blob("size=\"3\"", "QUJ"), "cut short"},
        {"data after the padding", blob("size=\"1\"", "QQ==QUJD"), "not base64"},
        {"BLOB shorter than its len", blob("size=\"100\" len=\"100\"", "QUJD"),
         "holds 3 bytes where its size says 100"},
        {"BLOB shorter than its size", blob("size=\"4\"", "QUJD"), "holds 3 bytes where its size says 4"},
        {"enclen that disagrees with the data", blob("size=\"3\" enclen=\"8\"", "QUJD"), "enclen says 8"},
        {"a size that is not a count", blob("size=\"-3\"", "QUJD"), "not a byte count"},
        {"a declared BLOB over the limit", blob("size=\"5000\"", ""), "over the limit"},
        {"BLOB data over the limit", blob("", std::string(2000, 'A')), "over the limit"},
        {"item text over the limit",
         "<defTextVector device=\"D\" name=\"T\"><defText name=\"A\">" + std::string(300, 'x') +
             "</defText></defTextVector>",
         "element text over"},
        {"a tag over the limit", "<message device=\"D\" message=\"" + std::string(10000, 'm') + "\"/>",
         "tag or attribute over"},
        {"too many items", manyItems, "more than 8 items"},
        {"a DOCTYPE with entities",
         "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;\">]>"
         "<message device=\"&lol2;\"/>",
         "DOCTYPE"},
        {"elements nested too deep", "<a><b><c><d><e/></d></c></b></a>", "nested too deep"},
        {"the stream ends inside a message",
         "<setNumberVector device=\"D\" name=\"N\" state=\"Ok\"><oneNumber name=\"X\">1", "middle of a message"},
        {"the stream ends inside a tag", "<setNumberVector device=\"D\" na", "middle of a message"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{5}}) {
            const bool endsInside = std::string(c.reason) == "middle of a message";
            const Parsed parsed = parse(good + c.input + (endsInside ? "" : good), {piece}, limits);
            EXPECT_FALSE(parsed.ok);
            EXPECT_THAT(parsed.error, testing::HasSubstr(c.reason));
            ASSERT_EQ(parsed.messages.size(), 1u) << "only the message before the fault";
            EXPECT_EQ(parsed.messages[0].message, "before");
        }
    }
}

TEST(WireParser, AStreamThatEndsBetweenMessagesEndsCleanly) {
    for (const std::string& input :
         std::vector<std::string>{"", "\n  \n", kConnectionDef + "\n", "<?xml version='1.0'?>\n"}) {
        const Parsed parsed = parse(input);
        EXPECT_TRUE(parsed.ok) << parsed.error;
    }
}

// Small messages mostly go around the XML parser (indigo_xml_plain.h). Whatever the shape,
// a message must come out as the parser alone gives it: fed all at once, the plain way takes
// what it can; fed a byte at a time, no message is ever whole in one piece and the parser
// reads them all.
TEST(WireParser, ThePlainWayReadsAsTheParserDoesAndLeavesItTheRest) {
    ParserLimits limits;
    limits.maxPendingBytes = 200;
    limits.maxTextBytes = 64;
    limits.maxItems = 2;
    const std::string set = "<setNumberVector device=\"D\" name=\"N\" state=\"Ok\"><oneNumber name=\"X\">1</oneNumber>"
                            "</setNumberVector>";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"indiserver's layout", "<setNumberVector device=\"Bench Driver\" name=\"VALUE\" state=\"Ok\">\n    "
                                "<oneNumber name=\"X\">\n1\n    </oneNumber>\n</setNumberVector>\n"},
        {"tabs and newlines in values read as spaces",
         "<message device='D' message='a\tb\nc'/><setTextVector device=\"D\" name=\"T\"><oneText name=\"A\" "
         "label=\"x\ny\">t\tu\nv</oneText></setTextVector>"},
        {"white space around = and before the end", "<setSwitchVector device = 'D'\n name\t=\"S\" ><oneSwitch "
                                                    "name='A' >On</oneSwitch ></setSwitchVector\n>"},
        {"names with every name character", "<a:b-c.d_1 e:f-g.h_2=\"1\"><x.y/></a:b-c.d_1>"},
        {"> and ]] in values, > in text",
         "<message device='D' message='a>b]]>c'/><message device='D'>a > b]]</message>"},
        {"a reference", "<message device='D' message='a &amp; &#65;'/>"},
        {"a carriage return", "<message device='D'\r\n message='x'/>"},
        {"UTF-8", "<message device='D' message='10 \xc2\xb0'/>"},
        {"a declaration first", "<?xml version='1.0'?>" + set},
        {"a comment inside", "<setNumberVector device=\"D\" name=\"N\"><!-- c --><oneNumber name=\"X\">1</oneNumber>"
                             "</setNumberVector>"},
        {"CDATA", "<message device='D'><![CDATA[x]]></message>"},
        {"an element inside an item", "<setTextVector device='D' name='T'><oneText name='A'><b>x</b></oneText>"
                                      "</setTextVector>"},
        {"a BLOB", "<setBLOBVector device='C' name='B'><oneBLOB name='B' size='3' format='.x'>QUJD</oneBLOB>"
                   "</setBLOBVector>"},
        {"a BLOB definition", "<defBLOBVector device='C' name='B' perm='ro'><defBLOB name='B'/></defBLOBVector>"},
        {"items over the limit", "<setNumberVector device='D' name='N'><oneNumber name='A'>1</oneNumber><oneNumber "
                                 "name='B'>2</oneNumber><oneNumber name='C'>3</oneNumber></setNumberVector>"},
        {"text over the limit",
         "<setTextVector device='D' name='T'><oneText name='A'>" + std::string(65, 't') + "</oneText></setTextVector>"},
        {"a tag at the limit", "<message device='D' message='" + std::string(200 - 30, 'm') + "'/>"},
        {"a tag over the limit", "<message device='D' message='" + std::string(200 - 29, 'm') + "'/>"},
        {"a duplicate attribute", "<message device='D' device='E'/>"},
        {"attributes not apart", "<message device='D'message='x'/>"},
        {"an unquoted value", "<message device=D/>"},
        {"a < in a value", "<message device='<'/>"},
        {"a value without its end", "<message device='D/>"},
        {"an end tag that does not match", "<message device='D'></messages>"},
        {"an end tag too short", "<message device='D'></messag>"},
        {"a lone ]]> in text", "<message device='D'>a]]>b</message>"},
        {"a control character", "<message device='D'>\x01</message>"},
        {"text before a message", "x" + set},
        {"elements nested too deep", "<a><b><c><d><e/></d></c></b></a>"},
        {"a message and half of one", set + "<setNumberVector device=\"D\" name=\"N\" state=\"Ok\"><oneNumber"},
    };
    for (const auto& [what, input] : cases) {
        SCOPED_TRACE(what);
        for (const std::string& stream : {input, input + "\n" + set, set + input}) {
            const Parsed whole = parse(stream, {0}, limits);
            const Parsed bytes = parse(stream, {1}, limits);
            EXPECT_EQ(whole.ok, bytes.ok);
            EXPECT_EQ(whole.error, bytes.error);
            ASSERT_EQ(whole.messages.size(), bytes.messages.size());
            for (std::size_t i = 0; i < whole.messages.size(); ++i)
                EXPECT_EQ(summary(whole.messages[i]), summary(bytes.messages[i]));
        }
    }
}

// The plain way must take what it is for, or the test above shows nothing.
TEST(WireParser, ThePlainWayTakesWholePlainMessagesOnly) {
    PlainElementReader reader;
    const std::string update = "<setNumberVector device=\"Bench Driver\" name=\"VALUE\" state=\"Ok\">\n    "
                               "<oneNumber name=\"X\" label='a\tb'>\n1\n    </oneNumber>\n</setNumberVector>";
    const std::string stream = update + "\n<message device='D'/>";
    ASSERT_EQ(reader.read(stream.data(), stream.size(), 1 << 20), update.size());
    std::vector<std::string> seen;
    for (const PlainElementReader::Event& event : reader.events()) {
        switch (event.kind) {
        case PlainElementReader::Event::Kind::Start: {
            std::string tag = std::string("<") + (reader.text() + event.name);
            for (const char** a = reader.attributes(event); *a != nullptr; a += 2)
                tag += std::string(" ") + a[0] + "=" + a[1];
            seen.push_back(tag);
            break;
        }
        case PlainElementReader::Event::Kind::Text:
            seen.emplace_back(reader.text() + event.data, event.size);
            break;
        case PlainElementReader::Event::Kind::End:
            seen.push_back(std::string("/") + (reader.text() + event.name));
            break;
        }
    }
    EXPECT_THAT(seen, testing::ElementsAre("<setNumberVector device=Bench Driver name=VALUE state=Ok", "\n    ",
                                           "<oneNumber name=X label=a b", "\n1\n    ", "/oneNumber", "\n",
                                           "/setNumberVector"));
    for (std::size_t cut = 1; cut < update.size(); ++cut)
        EXPECT_EQ(reader.read(update.data(), cut, 1 << 20), 0u) << cut;
    EXPECT_EQ(reader.read(update.data(), update.size(), 60), 0u) << "its first tag is over the limit";
}

TEST(WireCodes, NumbersReadAsPeersWriteThem) {
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"5.2000000000000001776", 5.2},
        {" \n1\n    ", 1},
        {"1e1", 10},
        {"+3", 3},
        {"-10.25", -10.25},
        {"12:30:00", 12.5},
        {"12:30", 12.5},
        {"-0:30:00", -0.5},
        {"10:15:30.5", 10 + 15 / 60.0 + 30.5 / 3600},
        {"10 15 30", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"1:2:3:4", std::nullopt},
        {"1:-2", std::nullopt},
        {"1e999", std::nullopt},
        {"12.5x", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<double> value = parseNumber(c.text);
        ASSERT_EQ(value.has_value(), c.value.has_value());
        if (value) {
            EXPECT_DOUBLE_EQ(*value, *c.value);
        }
    }
    for (double v : {1.25, -0.1, 1e-300, 12345678.9, 0.0, 5.2000000000000001776, 3600.0, 1e300, 4.9e-324}) {
        std::string text;
        appendNumber(text, v);
        EXPECT_EQ(parseNumber(text), v) << text;
    }
    // INDI clients print a value as it came: plain decimals, exponents only for the extremes.
    const std::pair<double, const char*> written[] = {
        {100000, "100000"},
        {1e15, "1000000000000000"},
        {0.001, "0.001"},
        {-2.5e-6, "-0.0000025"},
        {1e16, "1e+16"},
        {1e-7, "1e-07"},
        {0, "0"},
        {5.2000000000000001776, "5.2"},
        {65535.5, "65535.5"},
        {-100000, "-100000"},
    };
    for (const auto& [value, text] : written) {
        std::string out;
        appendNumber(out, value);
        EXPECT_EQ(out, text);
    }
}

TEST(WireBase64, DecodesPaddingAndWhiteSpaceAndRefusesTheRest) {
    struct Case {
        const char* text;
        const char* bytes; // nullptr: refused
    };
    const Case cases[] = {
        {"QQ==", "A"},     {"QUI=", "AB"},        {"QUJD", "ABC"},       {" Q U\nJ D \r\n", "ABC"},
        {"", ""},          {"Q===", nullptr},     {"QQ=A", nullptr},     {"QUJDQ", nullptr},
        {"=QUJ", nullptr}, {"QU==QUJD", nullptr}, {"QUJD\x80", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BlobBytes out;
        Base64Decoder decoder(out, 100);
        const bool ok = decoder.feed(c.text, std::strlen(c.text)) && decoder.finish();
        EXPECT_EQ(ok, c.bytes != nullptr);
        if (ok) {
            EXPECT_EQ(std::string(out.begin(), out.end()), c.bytes);
        }
    }
    for (std::size_t size : {0, 1, 2, 3, 4, 5, 1000}) {
        std::string bytes;
        for (std::size_t i = 0; i < size; ++i)
            bytes += static_cast<char>(i * 37);
        const std::string encoded = base64(bytes);
        EXPECT_EQ(encoded.size(), base64Length(size));
        BlobBytes out;
        Base64Decoder decoder(out, 1 << 20);
        ASSERT_TRUE(decoder.feed(encoded.data(), encoded.size()) && decoder.finish());
        EXPECT_EQ(std::string(out.begin(), out.end()), bytes);
    }
}

// Long texts take the decoder's fast path; one character at a time never does, so it is the
// yardstick: every byte value in places inside and at the edges of a fast block, texts of
// every length in random pieces, and a limit reached inside a block.
TEST(WireBase64, LongTextsDecodeAsOneCharacterAtATimeDoes) {
    struct Result {
        bool ok;
        std::string bytes;
        std::size_t characters;
        bool operator==(const Result&) const = default;
    };
    const auto decode = [](const std::string& text, std::size_t piece, std::int64_t limit) {
        BlobBytes out;
        Base64Decoder decoder(out, limit);
        bool ok = true;
        for (std::size_t at = 0; at < text.size() && ok; at += piece)
            ok = decoder.feed(text.data() + at, std::min(piece, text.size() - at));
        ok = ok && decoder.finish();
        return Result{ok, ok ? std::string(out.begin(), out.end()) : std::string(), decoder.characters()};
    };
    std::mt19937 random(99);
    std::string bytes(300, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    const std::string text = base64(bytes);
    for (std::size_t place : {0u, 5u, 31u, 32u, 33u, 63u, 100u, 351u, 352u, 399u}) {
        for (int value = 0; value < 256; ++value) {
            std::string changed = text;
            changed[place] = static_cast<char>(value);
            SCOPED_TRACE(testing::Message() << "byte " << value << " at " << place);
            ASSERT_EQ(decode(changed, changed.size(), 1 << 20), decode(changed, 1, 1 << 20));
        }
    }
    for (std::size_t size = 0; size < 400; size += 7) {
        const std::string part = base64(bytes.substr(0, std::min<std::size_t>(size, bytes.size())));
        const Result whole = decode(part, part.size(), 1 << 20);
        ASSERT_TRUE(whole.ok);
        EXPECT_EQ(whole, decode(part, 1 + random() % 90, 1 << 20)) << size;
    }
    for (std::int64_t limit = 0; limit <= 310; ++limit) {
        const Result limited = decode(text, text.size(), limit);
        EXPECT_EQ(limited.ok, limit >= 300) << limit;
        if (limited.ok) {
            EXPECT_EQ(limited.bytes, bytes);
        }
    }
}

// The encoder against the plain definition, three bytes at a time: every length up to a few
// hundred (so every way a fast path can end short of the data), every byte value in every
// place of a group.
TEST(WireBase64, EncodesEveryLengthAndByteAsTheDefinitionHasIt) {
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto plain = [&](const std::string& bytes) {
        std::string out;
        for (std::size_t i = 0; i < bytes.size(); i += 3) {
            const std::size_t left = std::min<std::size_t>(3, bytes.size() - i);
            std::uint32_t group = 0;
            for (std::size_t k = 0; k < 3; ++k)
                group = (group << 8) | (k < left ? static_cast<unsigned char>(bytes[i + k]) : 0u);
            for (std::size_t k = 0; k < 4; ++k)
                out += k <= left ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
        }
        return out;
    };
    std::uint32_t state = 12345;
    const auto next = [&] {
        state = state * 1103515245u + 12345u;
        return static_cast<char>(state >> 16);
    };
    for (std::size_t size = 0; size < 400; ++size) {
        std::string bytes;
        for (std::size_t i = 0; i < size; ++i)
            bytes += next();
        ASSERT_EQ(base64(bytes), plain(bytes)) << size << " bytes";
    }
    std::string every;
    for (int shift = 0; shift < 3; ++shift) {
        every.assign(static_cast<std::size_t>(shift), 'x');
        for (int b = 0; b < 256; ++b)
            every.append(3, static_cast<char>(b));
        EXPECT_EQ(base64(every), plain(every)) << "shifted by " << shift;
    }
}

// Records written out and read back with the parser.
class WireWriter : public testing::Test {
protected:
    void TearDown() override {
        for (indigo_property* p : made)
            indigo_release_property(p);
    }
    WireMessage readBack(const std::string& text) {
        const Parsed parsed = parse(text);
        EXPECT_TRUE(parsed.ok) << parsed.error << "\n" << text;
        EXPECT_EQ(parsed.messages.size(), 1u) << text;
        return parsed.messages.empty() ? WireMessage{} : parsed.messages[0];
    }
    std::vector<indigo_property*> made;
};

TEST_F(WireWriter, EveryTypeReadsBackWithItsValuesAndTextsSafelyEscaped) {
    indigo_property* text = indigo_init_text_property(nullptr, "Dev & Co", "NOTE", "Grp <1>", "Label \"q\" 'a'",
                                                      INDIGO_OK_STATE, INDIGO_RW_PERM, 3);
    indigo_init_text_item(text->items + 0, "A", "a", "x < y & y > \"z\" 'w'");
    indigo_init_text_item(text->items + 1, "B", "b",
                          "line one\nline two\ttab\x01"
                          "bell");
    indigo_init_text_item(text->items + 2, "C", "c", "caf\xc3\xa9 \xff\xfe bad");
    indigo_property* number =
        indigo_init_number_property(nullptr, "D", "N", "G", "L", INDIGO_BUSY_STATE, INDIGO_WO_PERM, 2);
    indigo_init_number_item(number->items + 0, "X", "x", -1e300, 1e300, 1e-3, 0.1);
    indigo_init_number_item(number->items + 1, "Y", "y", 0, 10, 1, -12345678.875);
    indigo_property* sw = indigo_init_switch_property(nullptr, "D", "S", "G", "L", INDIGO_ALERT_STATE, INDIGO_RW_PERM,
                                                      INDIGO_AT_MOST_ONE_RULE, 2);
    indigo_init_switch_item(sw->items + 0, "ON", "On", true);
    indigo_init_switch_item(sw->items + 1, "OFF", "Off", false);
    indigo_property* light = indigo_init_light_property(nullptr, "D", "LIGHTS", "G", "L", INDIGO_IDLE_STATE, 1);
    indigo_init_light_item(light->items, "A", "a", INDIGO_ALERT_STATE);
    made = {text, number, sw, light};

    const OutgoingNames& names = namesFor(Dialect::Indigo);
    for (indigo_property* p : made) {
        std::string out;
        writeDefinition(out, *p, "hello <there>", names);
        const WireMessage def = readBack(out);
        EXPECT_EQ(def.kind, MessageKind::Define);
        EXPECT_EQ(def.type, p->type);
        EXPECT_EQ(def.device, p->device);
        EXPECT_EQ(def.label, p->label);
        EXPECT_EQ(def.group, p->group);
        EXPECT_EQ(def.state, p->state);
        EXPECT_EQ(def.message, "hello <there>");
        if (p->type != INDIGO_LIGHT_VECTOR) {
            EXPECT_EQ(def.perm, p->perm);
        }
        ASSERT_EQ(def.items.size(), static_cast<std::size_t>(p->count));
        out.clear();
        writeUpdate(out, *p, nullptr, names);
        const WireMessage set = readBack(out);
        EXPECT_EQ(set.kind, MessageKind::Set);
        EXPECT_EQ(set.state, p->state);
        if (p->type != INDIGO_LIGHT_VECTOR) { // lights are never requested
            out.clear();
            writeNew(out, *p, names);
            EXPECT_EQ(readBack(out).kind, MessageKind::New);
        }
    }
    std::string out;
    writeDefinition(out, *text, nullptr, names);
    const WireMessage texts = readBack(out);
    EXPECT_EQ(texts.items[0].text, "x < y & y > \"z\" 'w'");
    EXPECT_EQ(texts.items[1].text, "line one\nline two\ttab?bell"); // a control character XML cannot carry
    EXPECT_EQ(texts.items[2].text, "caf\xc3\xa9 ?? bad");           // bytes that are not UTF-8
    out.clear();
    writeUpdate(out, *number, nullptr, names);
    const WireMessage numbers = readBack(out);
    EXPECT_EQ(numbers.items[0].value, 0.1);
    EXPECT_EQ(numbers.items[0].min, -1e300);
    EXPECT_EQ(numbers.items[0].step, 1e-3);
    EXPECT_EQ(numbers.items[1].value, -12345678.875);
    out.clear();
    writeUpdate(out, *sw, nullptr, names);
    EXPECT_TRUE(readBack(out).items[0].on);
    out.clear();
    writeDefinition(out, *sw, nullptr, names);
    EXPECT_EQ(readBack(out).rule, INDIGO_AT_MOST_ONE_RULE);
    out.clear();
    writeUpdate(out, *light, nullptr, names);
    EXPECT_EQ(readBack(out).items[0].light, INDIGO_ALERT_STATE);
}

TEST_F(WireWriter, BlobsGoInlineOrByUrlAndNamesFollowTheDialect) {
    indigo_property* image = indigo_init_blob_property(nullptr, "Cam", "CCD_IMAGE", "G", "L", INDIGO_OK_STATE, 1);
    indigo_init_blob_item(image->items, "IMAGE", "Image");
    made = {image};
    for (std::size_t size : {0, 1, 2, 3, 100001}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 131 + 7);
        image->items[0].blob.value = bytes.empty() ? nullptr : bytes.data();
        image->items[0].blob.size = static_cast<std::int64_t>(size);
        indigo_copy_name(image->items[0].blob.format, ".fits");
        std::string out;
        writeUpdate(out, *image, nullptr, namesFor(Dialect::Indi));
        const WireMessage set = readBack(out);
        EXPECT_EQ(set.name, "CCD1");
        ASSERT_EQ(set.items.size(), 1u);
        EXPECT_EQ(set.items[0].name, "CCD1");
        EXPECT_EQ(set.items[0].format, ".fits");
        EXPECT_EQ(std::string(set.items[0].bytes.begin(), set.items[0].bytes.end()), bytes);
    }
    const std::vector<std::string> urls = {"http://127.0.0.1:1/blob/3-4.fits"};
    std::string out;
    writeUpdate(out, *image, nullptr, namesFor(Dialect::Indigo), &urls);
    const WireMessage byUrl = readBack(out);
    EXPECT_EQ(byUrl.name, "CCD_IMAGE");
    EXPECT_EQ(byUrl.items[0].name, "IMAGE");
    EXPECT_EQ(byUrl.items[0].url, urls[0]);
    EXPECT_TRUE(byUrl.items[0].bytes.empty());
    out.clear();
    writeDelete(out, "Cam", "CCD_IMAGE", nullptr, namesFor(Dialect::Indi));
    EXPECT_EQ(readBack(out).name, "CCD1");
    out.clear();
    writeDelete(out, "Cam", "", "gone", namesFor(Dialect::Indi));
    const WireMessage all = readBack(out);
    EXPECT_EQ(all.name, "");
    EXPECT_EQ(all.message, "gone");
}

TEST(WireNames, OneTableMapsBothWaysAndPassesTheRestThrough) {
    struct Pair {
        const char* indigoProperty;
        const char* indigoItem;
        const char* indiProperty;
        const char* indiItem;
    };
    const Pair pairs[] = {
        {"CONNECTION", "CONNECTED", "CONNECTION", "CONNECT"},
        {"CONNECTION", "DISCONNECTED", "CONNECTION", "DISCONNECT"},
        {"CCD_EXPOSURE", "EXPOSURE", "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE"},
        {"CCD_ABORT_EXPOSURE", "ABORT_EXPOSURE", "CCD_ABORT_EXPOSURE", "ABORT"},
        {"CCD_IMAGE", "IMAGE", "CCD1", "CCD1"},
        {"CCD_INFO", "WIDTH", "CCD_INFO", "CCD_MAX_X"},
        {"CCD_INFO", "PIXEL_SIZE", "CCD_INFO", "CCD_PIXEL_SIZE"},
        {"CCD_FRAME", "LEFT", "CCD_FRAME", "X"},
        {"CCD_FRAME", "WIDTH", "CCD_FRAME", "WIDTH"},
        {"CCD_BIN", "HORIZONTAL", "CCD_BINNING", "HOR_BIN"},
        {"CCD_TEMPERATURE", "TEMPERATURE", "CCD_TEMPERATURE", "CCD_TEMPERATURE_VALUE"},
        {"CCD_COOLER", "ON", "CCD_COOLER", "COOLER_ON"},
        {"CCD_GAIN", "GAIN", "CCD_GAIN", "GAIN"},
        {"FOCUSER_STEPS", "STEPS", "REL_FOCUS_POSITION", "FOCUS_RELATIVE_POSITION"},
        {"FOCUSER_DIRECTION", "MOVE_OUTWARD", "FOCUS_MOTION", "FOCUS_OUTWARD"},
        {"FOCUSER_POSITION", "POSITION", "ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION"},
        {"FOCUSER_ABORT_MOTION", "ABORT_MOTION", "FOCUS_ABORT_MOTION", "ABORT"},
        {"FOCUSER_SPEED", "SPEED", "FOCUS_SPEED", "FOCUS_SPEED_VALUE"},
        {"FOCUSER_TEMPERATURE", "TEMPERATURE", "FOCUS_TEMPERATURE", "TEMPERATURE"},
        {"WHEEL_SLOT", "SLOT", "FILTER_SLOT", "FILTER_SLOT_VALUE"},
        {"WHEEL_SLOT_NAME", "FILTER_SLOT_NAME_1", "FILTER_NAME", "FILTER_SLOT_NAME_1"},
        {"CONFIG", "LOAD", "CONFIG_PROCESS", "CONFIG_LOAD"},
        {"INFO", "DEVICE_INTERFACE", "DRIVER_INFO", "DRIVER_INTERFACE"},
        {"SIMULATOR_SETTINGS", "SIM_XRES", "SIMULATOR_SETTINGS", "SIM_XRES"},
    };
    for (const Pair& p : pairs) {
        SCOPED_TRACE(std::string(p.indiProperty) + "." + p.indiItem);
        EXPECT_EQ(indigoPropertyName(p.indiProperty), p.indigoProperty);
        EXPECT_EQ(indigoItemName(p.indiProperty, p.indiItem), p.indigoItem);
        EXPECT_EQ(indiPropertyName(p.indigoProperty), p.indiProperty);
        EXPECT_EQ(indiItemName(p.indigoProperty, p.indigoItem), p.indiItem);
        // What already carries the bus's names comes through an inbound rename unchanged.
        EXPECT_EQ(indigoPropertyName(p.indigoProperty), p.indigoProperty);
        EXPECT_EQ(indigoItemName(p.indigoProperty, p.indigoItem), p.indigoItem);
    }
}

} // namespace
