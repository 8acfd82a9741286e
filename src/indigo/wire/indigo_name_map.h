#pragma once
// Property and item names that INDI peers spell differently from the bus. One table serves
// both directions: what arrives in INDI names is renamed to the bus's names, and what goes
// to an INDI peer is renamed back. Names the table does not hold pass unchanged, so a name
// already in the bus's spelling comes through an inbound rename as it is.

#include <string_view>

namespace zeta::indigo::wire {

// The bus's property name for an INDI property name.
std::string_view indigoPropertyName(std::string_view indiProperty);
// The bus's item name for an item of an INDI property (named in INDI).
std::string_view indigoItemName(std::string_view indiProperty, std::string_view indiItem);

// The INDI property name for a property of the bus.
std::string_view indiPropertyName(std::string_view indigoProperty);
// The INDI item name for an item of a property of the bus (named as on the bus).
std::string_view indiItemName(std::string_view indigoProperty, std::string_view indigoItem);

} // namespace zeta::indigo::wire
