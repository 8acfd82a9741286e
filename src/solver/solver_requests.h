#pragma once
// The bodies and replies of the two plate-solving services, as plain functions of their
// inputs: what the solver workers send and how they read what comes back.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::solver {

// The login form: "request-json=" and the JSON object {"apikey": key}, percent-encoded. The
// key is escaped as JSON and the form keeps no raw "&", "+" or "=" inside the value, so any
// key the user types reaches the service as typed.
std::string loginBody(std::string_view apiKey);

// The multipart body of the web upload: the request-json part with the session, then the
// JPEG as "image.jpeg".
std::string uploadBody(std::string_view boundary, std::string_view session, std::string_view jpeg);

// "Boundary-" and a fresh random UUID.
std::string makeBoundary();

// The reply body as a JSON object; none for a body that is not JSON or not an object.
std::optional<nlohmann::json> replyObject(std::string_view body);

// A member of the reply when it has the given kind; none when absent or of another kind.
std::optional<std::string> textMember(const nlohmann::json& reply, const char* name);
std::optional<std::int64_t> integerMember(const nlohmann::json& reply, const char* name);
// "jobs" as a list of integers; none when absent, not a list, or holding anything else.
std::optional<std::vector<std::int64_t>> integerListMember(const nlohmann::json& reply, const char* name);

struct Calibration {
    double ra = 0;          // degrees
    double dec = 0;         // degrees
    double orientation = 0; // degrees
    double pixscale = 0;    // arcseconds per pixel
};
// The reply's "calibration": an object of finite numbers with the four members; none otherwise.
std::optional<Calibration> calibration(const nlohmann::json& reply);

// Rounded to two decimals, halves away from zero.
double roundToHundredths(double value);

} // namespace zeta::solver
