#pragma once
// The protocol's words for the bus's codes, and its numbers and times as text.

#include "indigo/indigo_bus.h"

#include <optional>
#include <string>
#include <string_view>

namespace zeta::indigo::wire {

// Which names a peer speaks: INDI's (protocol 1.7) or the bus's own (protocol 2.0).
enum class Dialect { Indi, Indigo };

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

// The shortest text that reads back as the same double.
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
