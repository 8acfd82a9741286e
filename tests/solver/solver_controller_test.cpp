// The solver's two protocols against a scripted service on 127.0.0.1: what is sent, byte for
// byte, and how each reply ends or continues the solve.

#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/gui/named_image.h"
#include "platform/system_log.h"
#include "solver/solver_requests.h"
#include "solver_test_support.h"
#include "support/free_port.h"

#include <atomic>
#include <gtest/gtest.h>

using solver_test::RecordingPanel;
using solver_test::ScriptedService;

namespace {

class Solver : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        SolverController::Timing timing;
        timing.sleep = [this](std::chrono::milliseconds duration) {
            pauses += duration.count();
        };
        timing.pollTimeLimit = std::chrono::seconds(60);
        controller.setTiming(timing);
        controller.setView(&panel);
        controller.setCurrentImageSource([this] { return image; });
        controller.awakeFromNib();
        EXPECT_EQ(statusTexts(), std::vector<std::string>{std::string(zeta::platform::kStatusNone) + " Ready"});
        panel.statuses.clear();
        image = solver_test::smallImage();
    }
    void TearDown() override {
        controller.waitForWorkers();
        dispatch::drainMainQueue();
        zeta::platform::setSystemLogHandler({});
    }

    // Starts a solve on the chosen service and waits for its end.
    void solve(bool local) {
        if (local) {
            panel.showServiceChoice(service.url(), true, true);
        } else {
            panel.publicURLValue = service.url();
            panel.apiKeyValue = "abc123";
        }
        controller.solveAction();
        finish();
    }
    void finish() {
        dispatch::runMainQueueUntil(
            [this] {
                controller.waitForWorkers();
                return true;
            },
            std::chrono::seconds(30));
        dispatch::drainMainQueue();
    }
    std::vector<std::string> statusTexts() {
        std::vector<std::string> texts;
        for (const auto& status : panel.statuses)
            texts.push_back(status.image + " " + status.text);
        return texts;
    }
    const RecordingPanel::Status& last() { return panel.statuses.back(); }

    ScriptedService service;
    RecordingPanel panel;
    SolverController controller;
    std::shared_ptr<Image> image;
    std::atomic<long long> pauses{0};
};

const std::string kRunning(zeta::platform::kStatusPartiallyAvailable);
const std::string kDone(zeta::platform::kStatusAvailable);
const std::string kFailed(zeta::platform::kStatusUnavailable);

TEST(SolverRequests, LoginBodyIsTheFormEncodedJsonOfTheKey) {
    EXPECT_EQ(zeta::solver::loginBody("abc123"), "request-json=%7B%20%22apikey%22:%20%22abc123%22%20%7D");
    // A key with characters that would end or change the form value reaches the service whole.
    EXPECT_EQ(zeta::solver::loginBody("a&b+c=d\"e"),
              "request-json=%7B%20%22apikey%22:%20%22a%26b%2Bc%3Dd%5C%22e%22%20%7D");
}

TEST_F(Solver, WebSolveSendsTheProtocolAndShowsTheSolution) {
    service.script("/api/login", {R"({"status":"success","message":"authenticated user: ","session":"s1"})"});
    service.script("/api/upload", {R"({"status":"success","subid":42})"});
    service.script("/api/submissions/42", {R"({"jobs":[]})", R"({"jobs":["x"]})", R"({"jobs":[7,8]})"});
    service.script("/api/jobs/7/info",
                   {R"({"status":"solving"})", R"({"status":"success","calibration":{"ra":180,"dec":0,)"
                                               R"("orientation":90.456,"pixscale":1.006}})"});
    solve(false);

    EXPECT_EQ(service.paths(),
              (std::vector<std::string>{"POST /api/login", "POST /api/upload", "GET /api/submissions/42",
                                        "GET /api/submissions/42", "GET /api/submissions/42", "GET /api/jobs/7/info",
                                        "GET /api/jobs/7/info"}));
    EXPECT_EQ(statusTexts(), (std::vector<std::string>{kRunning + " Connecting...", kRunning + " Authenticated",
                                                       kRunning + " Image uploaded", kDone + " Job finished"}));
    EXPECT_EQ(last().button, "Solve");
    EXPECT_EQ(panel.ra, "12:00:00");
    EXPECT_EQ(panel.dec, "0:00:00");
    EXPECT_EQ(panel.orientation, "90.46");
    EXPECT_EQ(panel.pixelScale, "1.01");
    // Two unusable submission replies and one unfinished job: five one-second pauses each.
    EXPECT_EQ(pauses, 15000);

    const auto requests = service.requests();
    EXPECT_EQ(requests[0].body, "request-json=%7B%20%22apikey%22:%20%22abc123%22%20%7D");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/x-www-form-urlencoded");

    const std::string boundary = controller.boundary();
    EXPECT_EQ(requests[1].header("Content-Type"), "multipart/form-data; boundary=" + boundary);
    const std::string& body = requests[1].body;
    const std::string head = "--" + boundary +
                             "\r\nContent-Type: text/plain\r\nContent-Disposition: form-data; "
                             "name=\"request-json\"\r\n\r\n{ \"session\": \"s1\", \"allow_commercial_use\": \"d\", "
                             "\"allow_modifications\": \"d\", \"publicly_visible\": \"n\" }\r\n--" +
                             boundary +
                             "\r\nContent-Type: application/octet-stream\r\nContent-Disposition: form-data; "
                             "name=\"file\"; filename=\"image.jpeg\"\r\n\r\n";
    ASSERT_GT(body.size(), head.size());
    EXPECT_EQ(body.substr(0, head.size()), head);
    EXPECT_EQ(body.substr(head.size(), 2), "\xFF\xD8"); // the JPEG's start-of-image marker
    const std::string tail = "\r\n--" + boundary + "--\r\n";
    EXPECT_EQ(body.substr(body.size() - tail.size()), tail);
    EXPECT_EQ(body.substr(body.size() - tail.size() - 2, 2), "\xFF\xD9");
}

struct WebCase {
    friend void PrintTo(const struct WebCase& c, std::ostream* out) { *out << c.name; }
    const char* name;
    std::vector<std::pair<std::string, std::vector<std::string>>> script;
    std::vector<std::string> statuses; // status image + text, in order
};

class WebReplies : public Solver, public ::testing::WithParamInterface<WebCase> {};

TEST_P(WebReplies, EndTheSolveAsTheServiceSays) {
    for (const auto& [path, replies] : GetParam().script)
        service.script(path, replies);
    panel.ra = "1:00:00"; // a previous solution stays unless the service's answer empties it
    solve(false);
    EXPECT_EQ(statusTexts(), GetParam().statuses);
    EXPECT_EQ(last().button, "Solve");
    EXPECT_TRUE(last().enabled);
    EXPECT_FALSE(controller.running());
}

const std::string kLogin = "/api/login";
const std::string kUpload = "/api/upload";
const std::string kOkLogin = R"({"status":"success","session":"s"})";
const std::string kOkUpload = R"({"status":"success","subid":1})";

INSTANTIATE_TEST_SUITE_P(
    Cases, WebReplies,
    ::testing::Values(
        WebCase{"LoginRefusedWithReason",
                {{kLogin, {R"({"status":"error","errormessage":"bad apikey"})"}}},
                {kRunning + " Connecting...", kFailed + " bad apikey"}},
        WebCase{"LoginRefusedWithoutReason",
                {{kLogin, {R"({"status":"error"})"}}},
                {kRunning + " Connecting...", kFailed + " Connecting..."}},
        WebCase{"LoginMessageShownAsIs",
                {{kLogin, {R"({"status":"success","message":"authenticated user: me","session":"s"})"}},
                 {kUpload, {R"({"status":"error","errormessage":"no"})"}}},
                {kRunning + " Connecting...", kRunning + " authenticated user: me", kFailed + " no"}},
        WebCase{"LoginWithoutMessageKeepsTheText",
                {{kLogin, {kOkLogin}}, {kUpload, {R"({"status":"error","errormessage":"quota"})"}}},
                {kRunning + " Connecting...", kFailed + " quota"}},
        WebCase{"LoginReplyNotJson",
                {{kLogin, {"<html>busy</html>"}}},
                {kRunning + " Connecting...", kFailed + " The solving service sent an unreadable login reply"}},
        WebCase{"LoginWithoutSession",
                {{kLogin, {R"({"status":"success"})"}}},
                {kRunning + " Connecting...", kFailed + " The solving service sent no session"}},
        WebCase{"UploadWithoutSubmission",
                {{kLogin, {kOkLogin}}, {kUpload, {R"({"status":"success","subid":"1"})"}}},
                {kRunning + " Connecting...", kFailed + " The solving service sent no submission number"}},
        WebCase{"JobFailure",
                {{kLogin, {kOkLogin}},
                 {kUpload, {kOkUpload}},
                 {"/api/submissions/1", {R"({"jobs":[3]})"}},
                 {"/api/jobs/3/info", {R"({"status":"failure"})"}}},
                {kRunning + " Connecting...", kRunning + " Image uploaded", kFailed + " Job failed"}},
        WebCase{"SuccessWithoutCalibration",
                {{kLogin, {kOkLogin}},
                 {kUpload, {kOkUpload}},
                 {"/api/submissions/1", {R"({"jobs":[3]})"}},
                 {"/api/jobs/3/info", {R"({"status":"success","calibration":{"ra":"x"}})"}}},
                {kRunning + " Connecting...", kRunning + " Image uploaded",
                 kFailed + " The solving service sent no usable calibration"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Solver, JobFailureEmptiesThePreviousSolutionOtherEndingsKeepIt) {
    panel.ra = "1:00:00";
    service.script(kLogin, {kOkLogin});
    service.script(kUpload, {kOkUpload});
    service.script("/api/submissions/1", {R"({"jobs":[3]})"});
    service.script("/api/jobs/3/info", {R"({"status":"failure"})"});
    solve(false);
    EXPECT_EQ(panel.ra, "");

    panel.ra = "1:00:00";
    service.script(kLogin, {R"({"status":"error"})"});
    solve(false);
    EXPECT_EQ(panel.ra, "1:00:00");
}

TEST_F(Solver, TransportFailureEndsTheSolveWithTheReason) {
    panel.publicURLValue = "http://127.0.0.1:" + std::to_string(test_support::freePort());
    panel.apiKeyValue = "k";
    controller.solveAction();
    finish();
    ASSERT_EQ(panel.statuses.size(), 2u);
    EXPECT_EQ(last().image, kFailed);
    EXPECT_NE(last().text, "Connecting...");
    EXPECT_FALSE(last().text.empty());
}

TEST_F(Solver, BaseURLThatIsNotAURLSendsNothingAndShowsNothing) {
    panel.publicURLValue = "not a url";
    controller.solveAction();
    finish();
    EXPECT_TRUE(panel.statuses.empty());
    // The press was taken back: the next press starts a solve.
    service.script(kLogin, {R"({"status":"error"})"});
    solve(false);
    EXPECT_EQ(last().image, kFailed);
}

TEST_F(Solver, AbortDuringAPollEndsWithinASecondAndKeepsTheSolution) {
    panel.ra = "1:00:00";
    service.script(kLogin, {kOkLogin});
    service.script(kUpload, {kOkUpload});
    service.script("/api/submissions/1", {R"({"jobs":[]})"});
    // The user presses Solve (now Abort) during the third pause of the submission poll.
    panel.publicURLValue = service.url();
    controller.setTiming({[this](std::chrono::milliseconds duration) {
                              pauses += duration.count();
                              if (pauses == 3000) dispatch::mainQueue().sync([this] { controller.solveAction(); });
                          },
                          std::chrono::seconds(3600), std::chrono::seconds(60)});
    controller.solveAction();
    ASSERT_TRUE(dispatch::runMainQueueUntil(
        [this] { return !panel.statuses.empty() && panel.statuses.back().image == kFailed; },
        std::chrono::seconds(30)));
    finish();
    EXPECT_EQ(last().text, "Aborted");
    EXPECT_EQ(last().button, "Solve");
    EXPECT_TRUE(last().enabled);
    EXPECT_EQ(panel.ra, "1:00:00");
    // Noticed as that pause ends, not at the end of a five-second wait.
    EXPECT_EQ(pauses, 3000);
}

TEST_F(Solver, PollThatNeverGetsAnAnswerEndsAtTheTimeLimit) {
    service.script(kLogin, {kOkLogin});
    service.script(kUpload, {kOkUpload});
    service.script("/api/submissions/1", {R"({"jobs":[3]})"});
    service.script("/api/jobs/3/info", {R"({"status":"solving"})"});
    controller.setTiming({[this](std::chrono::milliseconds d) { pauses += d.count(); }, std::chrono::seconds(20),
                          std::chrono::seconds(60)});
    solve(false);
    EXPECT_EQ(last().image, kFailed);
    EXPECT_EQ(last().text, "No answer from the solving service within 20 s");
    EXPECT_EQ(pauses, 20000);
}

// --- Local service ----------------------------------------------------------------------------

struct LocalCase {
    friend void PrintTo(const struct LocalCase& c, std::ostream* out) { *out << c.name; }
    const char* name;
    std::vector<std::string> upload;
    std::vector<std::string> status;
    std::vector<std::string> statuses;
};

class LocalReplies : public Solver, public ::testing::WithParamInterface<LocalCase> {};

TEST_P(LocalReplies, EndTheSolveAsTheServiceSays) {
    service.script("/api/upload", GetParam().upload);
    service.script("/api/status", GetParam().status);
    solve(true);
    EXPECT_EQ(statusTexts(), GetParam().statuses);
    EXPECT_EQ(last().button, "Solve");
}

const std::string kDoneReply =
    R"({"status":"done","calibration":{"ra":180,"dec":0,"orientation":90.456,"pixscale":1.006}})";

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalReplies,
    ::testing::Values(
        LocalCase{"BusyWithAndWithoutMessageThenDone",
                  {R"({"status":"success"})"},
                  {R"({"status":"busy","message":"Solving 10%"})", R"({"status":"busy"})", kDoneReply},
                  {kRunning + " Uploading...", kRunning + " Image uploaded", kRunning + " Solving 10%",
                   kRunning + " Solving 10%", kDone + " Done"}},
        LocalCase{"FailedWithoutMessage",
                  {R"({"status":"success"})"},
                  {R"({"status":"failed"})"},
                  {kRunning + " Uploading...", kRunning + " Image uploaded", kFailed + " Image uploaded"}},
        LocalCase{"FailedWithMessage",
                  {R"({"status":"success"})"},
                  {R"({"status":"failed","message":"no stars"})"},
                  {kRunning + " Uploading...", kRunning + " Image uploaded", kFailed + " no stars"}},
        LocalCase{
            "UploadReplyWithoutStatus", {"{}"}, {}, {kRunning + " Uploading...", kFailed + " Failed to upload image"}},
        LocalCase{
            "UploadReplyNotJson", {"busy"}, {}, {kRunning + " Uploading...", kFailed + " Failed to upload image"}},
        LocalCase{"UploadRefused",
                  {R"({"status":"error","errormessage":"full"})"},
                  {},
                  {kRunning + " Uploading...", kFailed + " full"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Solver, LocalUploadSendsTheFramesOwnBytes) {
    service.script("/api/upload", {R"({"status":"success"})"});
    service.script("/api/status", {kDoneReply});
    solve(true);
    const auto requests = service.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "PUT");
    EXPECT_EQ(requests[0].header("Content-Disposition"), "attachment; filename=\"image.png\"");
    EXPECT_FALSE(requests[0].hasHeader("Content-Type"));
    EXPECT_EQ(requests[0].body,
              std::string(reinterpret_cast<const char*>(image->data().bytes()), image->data().length()));
    EXPECT_EQ(panel.ra, "12:00:00");
    EXPECT_EQ(panel.pixelScale, "1.01");
    // One second before the first status poll.
    EXPECT_EQ(pauses, 1000);
}

TEST_F(Solver, VanishedLocalServiceIsPolledOncePerSecondUntilTheTimeLimit) {
    service.script("/api/upload", {R"({"status":"success"})"});
    const std::string url = service.url();
    controller.setTiming({[this](std::chrono::milliseconds d) { pauses += d.count(); }, std::chrono::seconds(5),
                          std::chrono::seconds(60)});
    // The service answers the upload, then the status resource is gone (404, not JSON).
    service.script("/api/status", {"gone"});
    solve(true);
    EXPECT_EQ(last().image, kFailed);
    EXPECT_EQ(last().text, "No answer from the local solving service within 5 s");
    const auto requests = service.requests();
    long statusPolls = 0;
    for (const auto& request : requests)
        statusPolls += request.path == "/api/status";
    // A pause of one second after each unusable answer: no busy loop.
    EXPECT_EQ(pauses, 1000 + statusPolls * 1000);
    EXPECT_EQ(statusPolls, 5);
}

TEST_F(Solver, SolveWithoutAnImageOnlySavesTheSettings) {
    image.reset();
    panel.apiKeyValue = "key-1";
    panel.publicURLValue = "http://example.invalid";
    controller.solveAction();
    finish();
    EXPECT_TRUE(panel.statuses.empty());
    EXPECT_EQ(DEFAULTS().stringForKey("astrometry.apiKey", ""), "key-1");
    EXPECT_TRUE(service.requests().empty());
}

TEST_F(Solver, SecondPressBeforeTheFirstStatusIsIgnored) {
    service.script(kLogin, {R"({"status":"error"})"});
    panel.publicURLValue = service.url();
    controller.solveAction();
    controller.solveAction(); // the running status has not reached the panel yet
    finish();
    EXPECT_EQ(service.paths(), (std::vector<std::string>{"POST /api/login"}));
}

// --- Service list -----------------------------------------------------------------------------

TEST_F(Solver, LocalServicesFollowTheBrowser) {
    DEFAULTS().setBool(true, "astrometry.local");
    controller.serviceFound("a");
    controller.serviceResolved("a", "hosta", 8080);
    EXPECT_EQ(panel.local, "http://hosta:8080");
    EXPECT_TRUE(panel.localEnabled);
    EXPECT_TRUE(panel.localOn);
    controller.serviceFound("b");
    controller.serviceResolved("b", "hostb", 9090);
    EXPECT_EQ(panel.local, "http://hostb:9090");
    controller.serviceRemoved("b");
    EXPECT_EQ(panel.local, "http://hosta:8080");
    controller.serviceRemoved("unknown");
    EXPECT_EQ(panel.local, "http://hosta:8080");
    controller.serviceRemoved("a");
    EXPECT_EQ(panel.local, "");
    EXPECT_FALSE(panel.localEnabled);
    EXPECT_FALSE(panel.localOn);
}

TEST_F(Solver, OverrideFixesTheLocalServiceAndStopsBrowsing) {
    DEFAULTS().setObject(std::string("http://10.0.0.9:1234"), "astrometry.localOverride");
    DEFAULTS().setBool(false, "astrometry.local");
    RecordingPanel other;
    SolverController overridden;
    overridden.setView(&other);
    EXPECT_FALSE(overridden.awakeFromNib()); // no browsing
    EXPECT_EQ(other.local, "http://10.0.0.9:1234");
    EXPECT_TRUE(other.localEnabled);
    EXPECT_TRUE(other.localOn);
    DEFAULTS().removeObjectForKey("astrometry.localOverride");
}

TEST_F(Solver, LocalServiceURLTheUserTypesIsStoredChosenOrRefused) {
    DEFAULTS().setBool(false, "astrometry.local");
    controller.serviceFound("a");
    controller.serviceResolved("a", "hosta", 8080); // found while the web service is chosen
    EXPECT_FALSE(panel.localOn);

    controller.setLocalOverride("  http://127.0.0.1:5000 ");
    EXPECT_EQ(DEFAULTS().stringForKey("astrometry.localOverride", "<absent>"), "http://127.0.0.1:5000");
    EXPECT_EQ(panel.overrideURL, "http://127.0.0.1:5000");
    EXPECT_FALSE(panel.refusal);
    EXPECT_EQ(panel.local, "http://127.0.0.1:5000");
    EXPECT_TRUE(panel.localEnabled);
    EXPECT_TRUE(panel.localOn);

    // Services come and go behind a fixed one without changing the choice.
    controller.serviceFound("b");
    controller.serviceResolved("b", "hostb", 9090);
    EXPECT_EQ(panel.local, "http://127.0.0.1:5000");

    for (const char* refused : {"127.0.0.1:5000", "ftp://host/", "not a url", "http://"}) {
        SCOPED_TRACE(refused);
        controller.setLocalOverride(refused);
        ASSERT_TRUE(panel.refusal);
        EXPECT_NE(panel.refusal->find("is not an http URL"), std::string::npos);
        EXPECT_EQ(DEFAULTS().stringForKey("astrometry.localOverride", "<absent>"), "http://127.0.0.1:5000");
        EXPECT_EQ(panel.local, "http://127.0.0.1:5000");
    }

    // Emptied: the key goes and the service found last is shown again, chosen as stored.
    controller.setLocalOverride(" ");
    EXPECT_FALSE(DEFAULTS().objectForKey("astrometry.localOverride"));
    EXPECT_FALSE(panel.refusal);
    EXPECT_EQ(panel.overrideURL, "");
    EXPECT_EQ(panel.local, "http://hostb:9090");
    EXPECT_TRUE(panel.localEnabled);
    EXPECT_FALSE(panel.localOn);
    controller.serviceRemoved("b");
    controller.serviceRemoved("a");
    EXPECT_FALSE(panel.localEnabled);
}

} // namespace
