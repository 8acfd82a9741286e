#pragma once
// The protocol's words for the bus's codes, and its numbers and times as text.

#include "indigo/indigo_bus.h"

#include <optional>
#include <string>
#include <string_view>

namespace zeta::indigo::wire {

// Which names a peer speaks: INDI's (protocol 1.7) or the bus's own (protocol 2.0).
//
// How a peer is told apart: by the version of the getProperties it sends. A client of our
// server whose getProperties says 2.0 or later speaks the bus's names; any other (1.7, an
// older one, none) is an INDI client and gets INDI's names. Our own getProperties, to a
// remote server and to a driver, always says 1.7: we cannot know what a server is before it
// answers, an INDI driver behind it exits when it is sent a version above its own, and an
// INDIGO server answers 1.7 as well. What a peer sends us is read in either spelling (names
// the table does not hold pass as they are), so nothing else has to be told apart.
enum class Dialect { Indi, Indigo };

// The protocol version we state in our getProperties.
inline constexpr const char* kIndiProtocolVersion = "1.7";
// The lowest version a client states to be given the bus's names.
inline constexpr int kIndigoProtocolMajor = 2;

const char* stateText(indigo_property_state state);
std::optional<indigo_property_state> parseState(std::string_view text);

const char* permText(indigo_property_perm perm);
std::optional<indigo_property_perm> parsePerm(std::string_view text);

const char* ruleText(indigo_rule rule);
std::optional<indigo_rule> parseRule(std::string_view text);

std::optional<bool> parseSwitch(std::string_view text);

// A decimal number as peers write it: plain ("1e1", "-3.5", "nan") or sexagesimal with ":"
// between degrees or hours, minutes and seconds ("12:30", "-0:30:00"). Surrounding white
// space is allowed, anything else is not.
std::optional<double> parseNumber(std::string_view text);

// The shortest text that reads back as the same double, in plain decimals ("100000",
// "0.001") unless the magnitude is below 1e-6 or from 1e16 up.
void appendNumber(std::string& out, double value);

// A whole non-negative count ("2626560").
std::optional<long long> parseCount(std::string_view text);

// This process's name on the wire ("Zeta" and a number drawn once), sent with the
// getProperties of its remote connections: its server refuses a connection that carries
// it, which would otherwise mirror the bus's own devices back onto it without end.
const std::string& processClientName();

// UTC now as YYYY-MM-DDTHH:MM:SS.
std::string timestampNow();

// The text without leading and trailing spaces, tabs, carriage returns and newlines.
std::string_view trimmed(std::string_view text);

} // namespace zeta::indigo::wire
