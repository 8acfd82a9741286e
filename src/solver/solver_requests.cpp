#include "solver/solver_requests.h"

#include <QUuid>
#include <cmath>

namespace zeta::solver {
namespace {

// Characters a form value may carry as they are; "&", "+" and "=" would end or change the
// value, so they are encoded although a URL host allows them.
bool keptInForm(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '\'':
    case '(':
    case ')':
    case '*':
    case ',':
    case ';':
    case ':':
    case '[':
    case ']':
        return true;
    default:
        return false;
    }
}

std::string percentEncode(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (keptInForm(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0F]);
        }
    }
    return out;
}

// A JSON text literal of the value, quotes included.
std::string jsonText(std::string_view value) {
    return nlohmann::json(std::string(value)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::string loginBody(std::string_view apiKey) {
    return "request-json=" + percentEncode("{ \"apikey\": " + jsonText(apiKey) + " }");
}

std::string uploadBody(std::string_view boundary, std::string_view session, std::string_view jpeg) {
    const std::string b(boundary);
    std::string body;
    body.reserve(jpeg.size() + 512);
    body += "--" + b + "\r\n";
    body += "Content-Type: text/plain\r\n";
    body += "Content-Disposition: form-data; name=\"request-json\"\r\n\r\n";
    body += "{ \"session\": " + jsonText(session) +
            ", \"allow_commercial_use\": \"d\", \"allow_modifications\": \"d\", \"publicly_visible\": \"n\" }\r\n";
    body += "--" + b + "\r\n";
    body += "Content-Type: application/octet-stream\r\n";
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"image.jpeg\"\r\n\r\n";
    body.append(jpeg);
    body += "\r\n--" + b + "--\r\n";
    return body;
}

std::string makeBoundary() {
    return "Boundary-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::optional<nlohmann::json> replyObject(std::string_view body) {
    nlohmann::json reply = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) return std::nullopt;
    return reply;
}

std::optional<std::string> textMember(const nlohmann::json& reply, const char* name) {
    const auto found = reply.find(name);
    if (found == reply.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<std::int64_t> integerMember(const nlohmann::json& reply, const char* name) {
    const auto found = reply.find(name);
    if (found == reply.end() || !found->is_number_integer()) return std::nullopt;
    return found->get<std::int64_t>();
}

std::optional<std::vector<std::int64_t>> integerListMember(const nlohmann::json& reply, const char* name) {
    const auto found = reply.find(name);
    if (found == reply.end() || !found->is_array()) return std::nullopt;
    std::vector<std::int64_t> values;
    for (const auto& entry : *found) {
        if (!entry.is_number_integer()) return std::nullopt;
        values.push_back(entry.get<std::int64_t>());
    }
    return values;
}

std::optional<Calibration> calibration(const nlohmann::json& reply) {
    const auto found = reply.find("calibration");
    if (found == reply.end() || !found->is_object()) return std::nullopt;
    for (const auto& member : found->items()) {
        if (!member.value().is_number()) return std::nullopt;
    }
    auto number = [&](const char* name) -> std::optional<double> {
        const auto value = found->find(name);
        if (value == found->end()) return std::nullopt;
        const double x = value->get<double>();
        return std::isfinite(x) ? std::optional<double>(x) : std::nullopt;
    };
    const auto ra = number("ra"), dec = number("dec"), orientation = number("orientation"),
               pixscale = number("pixscale");
    if (!ra || !dec || !orientation || !pixscale) return std::nullopt;
    return Calibration{*ra, *dec, *orientation, *pixscale};
}

double roundToHundredths(double value) {
    return std::round(value * 100) / 100;
}

} // namespace zeta::solver
