#include "solver/solver_controller.h"

#include "Common/indigo.h"
#include "imaging/image.h"
#include "platform/constants.h"
#include "platform/gui/named_image.h"
#include "platform/number_text.h"
#include "platform/system_log.h"
#include "solver/http_client.h"

#include <cmath>
#include <thread>
#include <turbojpeg.h>

using zeta::solver::HttpReply;
using zeta::solver::HttpRequest;
namespace solver = zeta::solver;
namespace platform = zeta::platform;

namespace {

constexpr std::chrono::seconds kOneSecond{1};

void logReply(const nlohmann::json& reply) {
    platform::systemLog(reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

} // namespace

SolverController::SolverController() : boundary_(solver::makeBoundary()) {
    timing_.sleep = [](std::chrono::milliseconds duration) {
        std::this_thread::sleep_for(duration);
    };
}

SolverController::~SolverController() {
    aborted_ = true;
    waitForWorkers();
}

void SolverController::setCurrentImageSource(std::function<std::shared_ptr<Image>()> source) {
    currentImage_ = std::move(source);
}

void SolverController::setTiming(Timing timing) {
    if (!timing.sleep)
        timing.sleep = [](std::chrono::milliseconds duration) {
            std::this_thread::sleep_for(duration);
        };
    timing_ = std::move(timing);
}

// --- Panel ------------------------------------------------------------------------------------

bool SolverController::awakeFromNib() {
    auto& defaults = DEFAULTS();
    if (defaults.objectForKey("astrometry.localOverride")) {
        astrometryOverride_ = defaults.stringForKey("astrometry.localOverride", "");
    }
    if (view_) {
        if (astrometryOverride_)
            view_->showServiceChoice(*astrometryOverride_, true, true);
        else
            view_->showServiceChoice("", false, false);
        view_->showLocalOverride(astrometryOverride_.value_or(""), std::nullopt);
        view_->showSettings(defaults.stringForKey("astrometry.apiKey", ""),
                            defaults.stringForKey("astrometry.baseURL", kPublicServiceURL));
        view_->showStatus(platform::kStatusNone, std::string("Ready"), "Solve", true);
        view_->setMountButtonsEnabled(false);
    }
    return !astrometryOverride_;
}

void SolverController::savePreferences() {
    if (view_) view_->setHidesOnDeactivate(DEFAULTS().boolForKey("hidePanels", true));
}

void SolverController::saveAction() {
    if (!view_) return;
    auto& defaults = DEFAULTS();
    defaults.setObject(view_->apiKey(), "astrometry.apiKey");
    defaults.setObject(view_->publicURL(), "astrometry.baseURL");
    defaults.setBool(view_->localChosen(), "astrometry.local");
}

void SolverController::setLocalOverride(const std::string& text) {
    if (!view_) return;
    const auto first = text.find_first_not_of(" \t");
    const std::string url =
        first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
    // Leaving the field unchanged changes nothing (the radios stay as the user set them).
    if (url == astrometryOverride_.value_or("")) {
        view_->showLocalOverride(url, std::nullopt);
        return;
    }
    auto& defaults = DEFAULTS();
    if (url.empty()) {
        defaults.removeObjectForKey("astrometry.localOverride");
        astrometryOverride_.reset();
        view_->showLocalOverride("", std::nullopt);
        const auto resolved = std::find_if(services_.rbegin(), services_.rend(),
                                           [](const LocalService& service) { return service.url.has_value(); });
        showLocalService(resolved != services_.rend() ? *resolved->url : "", resolved != services_.rend());
        return;
    }
    if (!solver::isHttpURL(url)) {
        view_->showLocalOverride(astrometryOverride_.value_or(""),
                                 "\"" + url + "\" is not an http URL, such as http://host:port");
        return;
    }
    defaults.setObject(url, "astrometry.localOverride");
    astrometryOverride_ = url;
    view_->showLocalOverride(url, std::nullopt);
    view_->showServiceChoice(url, true, true);
}

void SolverController::solveAction() {
    saveAction();
    if (running_) {
        aborted_ = true;
        if (view_) view_->setSolveEnabled(false);
        return;
    }
    // Started, but its first status has not been shown yet: one solve at a time.
    if (solving_) return;
    std::shared_ptr<Image> image = currentImage_ ? currentImage_() : nullptr;
    if (!image || !view_) return;
    image_ = std::move(image);
    aborted_ = false;
    apiKey_ = view_->apiKey();
    solving_ = true;
    if (view_->localChosen()) {
        if (!view_->localURL().empty()) baseURL_ = view_->localURL();
        startWorker(&SolverController::localSolver);
    } else {
        if (!view_->publicURL().empty()) baseURL_ = view_->publicURL();
        startWorker(&SolverController::publicSolver);
    }
}

void SolverController::syncAction() {
    sendCoordinates("SYNC");
}

void SolverController::slewAction() {
    sendCoordinates("SLEW");
}

void SolverController::sendCoordinates(const char* property) {
    saveAction();
    if (!view_ || !indigo()) return;
    const double ra = parseSexagesimal(view_->raText());
    const double dec = parseSexagesimal(view_->decText());
    indigo()->changeNumberProperty(MOUNT_DEVICE_NAME(), property, {{"RA", ra}, {"DEC", dec}});
    if (image_) {
        const double scale = std::strtod(view_->pixelScaleText().c_str(), nullptr);
        const double angle = std::strtod(view_->orientationText().c_str(), nullptr);
        indigo()->changeNumberProperty(MOUNT_DEVICE_NAME(), "FOV",
                                       {{"WIDTH", scale * static_cast<double>(image_->width()) / 3600},
                                        {"HEIGHT", scale * static_cast<double>(image_->height()) / 3600},
                                        {"ANGLE", angle}});
    }
}

void SolverController::currentImageChanged() {
    updateMountButtons();
}

// Sync and Slew need a telescope and a solution of the image the window shows.
void SolverController::updateMountButtons() {
    if (!view_) return;
    const std::shared_ptr<Image> shown = currentImage_ ? currentImage_() : nullptr;
    view_->setMountButtonsEnabled(telescopePresent_ && solvedImage_ && shown == solvedImage_);
}

// --- Local services ---------------------------------------------------------------------------

void SolverController::showLocalService(const std::string& url, bool enabled) {
    if (!view_) return;
    if (!enabled) {
        view_->showServiceChoice("", false, false);
        return;
    }
    view_->showServiceChoice(url, true, DEFAULTS().boolForKey("astrometry.local", true));
}

void SolverController::serviceFound(const std::string& key) {
    services_.push_back({key, std::nullopt});
}

void SolverController::serviceResolved(const std::string& key, const std::string& host, int port) {
    const std::string url = "http://" + host + ":" + std::to_string(port);
    platform::systemLog("Astrometry service " + host + ":" + std::to_string(port) + " detected");
    for (auto& service : services_) {
        if (service.key == key) service.url = url;
    }
    // A fixed local service keeps the choice; the list is kept for when it is removed.
    if (astrometryOverride_) return;
    showLocalService(url, true);
}

void SolverController::serviceRemoved(const std::string& key) {
    const auto found =
        std::find_if(services_.begin(), services_.end(), [&](const LocalService& s) { return s.key == key; });
    if (found == services_.end()) return;
    services_.erase(found);
    if (astrometryOverride_) return;
    if (services_.empty()) {
        showLocalService("", false);
    } else if (services_.back().url) {
        showLocalService(*services_.back().url, true);
    }
    // The last one left has not resolved yet: its URL comes with its resolution.
}

// --- Telescope presence -----------------------------------------------------------------------

void SolverController::defineProperty(const std::shared_ptr<INDIGO::Property>& property) {
    if (!property || property->device()->name() != MOUNT_DEVICE_NAME() || property->name() != "SYNC") return;
    if (indigo()) indigo()->message("Orvanta is found");
    onMain([this] {
        telescopePresent_ = true;
        updateMountButtons();
    });
}

void SolverController::deleteProperty(const std::shared_ptr<INDIGO::Property>& property) {
    if (!property || property->device()->name() != MOUNT_DEVICE_NAME() || property->name() != "SYNC") return;
    if (indigo()) indigo()->message("Orvanta is lost");
    onMain([this] {
        telescopePresent_ = false;
        updateMountButtons();
    });
}

// --- Status -----------------------------------------------------------------------------------

void SolverController::onMain(std::function<void()> block) {
    main_.async(std::move(block));
}

void SolverController::applyStatus(std::string_view imageName, const std::optional<std::string>& message, bool running,
                                   bool solved) {
    running_ = running;
    if (!running) solving_ = false;
    if (running)
        solvedImage_.reset();
    else if (solved)
        solvedImage_ = image_;
    else
        solvedImage_.reset();
    if (view_) view_->showStatus(imageName, message, running ? "Abort" : "Solve", true);
    updateMountButtons();
}

void SolverController::setRunningStatus(std::optional<std::string> message) {
    onMain([this, message = std::move(message)] {
        applyStatus(platform::kStatusPartiallyAvailable, message, true, false);
    });
}

void SolverController::setDoneStatus(std::optional<std::string> message) {
    onMain([this, message = std::move(message)] { applyStatus(platform::kStatusAvailable, message, false, true); });
}

void SolverController::setFailedStatus(std::optional<std::string> message) {
    onMain([this, message = std::move(message)] { applyStatus(platform::kStatusUnavailable, message, false, false); });
}

// A solve that ends before any status (a base URL that is not a URL): the panel keeps what
// it showed, and the button takes a new press again.
void SolverController::finishSilently() {
    onMain([this] { solving_ = false; });
}

// --- Workers ----------------------------------------------------------------------------------

void SolverController::startWorker(void (SolverController::*step)()) {
    {
        std::lock_guard lock(workersMutex_);
        ++workers_;
    }
    dispatch::globalQueue().async([this, step] {
        try {
            (this->*step)();
        } catch (const std::exception& error) {
            platform::systemLog(std::string("Plate solver failed: ") + error.what());
            setFailedStatus(std::string("Failed: ") + error.what());
        }
        std::lock_guard lock(workersMutex_);
        --workers_;
        workersDone_.notify_all();
    });
}

void SolverController::waitForWorkers() {
    std::unique_lock lock(workersMutex_);
    workersDone_.wait(lock, [this] { return workers_ == 0; });
}

void SolverController::pause(std::chrono::milliseconds duration) {
    timing_.sleep(duration);
    pollWaited_ += duration;
}

bool SolverController::pauseAndCheckAbort() {
    pause(kOneSecond);
    if (aborted_) {
        setFailedStatus(std::string("Aborted"));
        return true;
    }
    return false;
}

// A poll that never gets a final answer (a vanished service) ends instead of waiting forever.
bool SolverController::pollTimeRanOut(const char* what) {
    if (pollWaited_ < timing_.pollTimeLimit) return false;
    setFailedStatus(std::string("No answer from the ") + what + " within " +
                    std::to_string(timing_.pollTimeLimit.count()) + " s");
    return true;
}

HttpReply SolverController::request(const std::string& method, const std::string& url,
                                    std::vector<std::pair<std::string, std::string>> headers, std::string body) {
    HttpRequest request;
    request.method = method;
    request.url = url;
    request.headers = std::move(headers);
    request.body = std::move(body);
    request.timeout = timing_.requestTimeout;
    const auto started = std::chrono::steady_clock::now();
    HttpReply reply = solver::performRequest(request);
    pollWaited_ += std::chrono::steady_clock::now() - started;
    return reply;
}

// --- Web service ------------------------------------------------------------------------------

void SolverController::publicSolver() {
    const std::string url = baseURL_ + "/api/login";
    if (!solver::isHttpURL(url)) {
        finishSilently();
        return;
    }
    setRunningStatus(std::string("Connecting..."));
    handleLoginResponse(
        request("POST", url, {{"Content-Type", "application/x-www-form-urlencoded"}}, solver::loginBody(apiKey_)));
}

std::optional<nlohmann::json> SolverController::successReply(const HttpReply& reply, const char* what) {
    if (!reply.received) {
        running_ = false;
        setFailedStatus(reply.error);
        return std::nullopt;
    }
    const auto object = solver::replyObject(reply.body);
    const auto status = object ? solver::textMember(*object, "status") : std::nullopt;
    if (!status) {
        setFailedStatus("The solving service sent an unreadable " + std::string(what) + " reply");
        return std::nullopt;
    }
    logReply(*object);
    if (*status != "success") {
        setFailedStatus(solver::textMember(*object, "errormessage"));
        return std::nullopt;
    }
    return object;
}

void SolverController::handleLoginResponse(const HttpReply& reply) {
    const auto object = successReply(reply, "login");
    if (!object) return;
    if (const auto message = solver::textMember(*object, "message"))
        setRunningStatus(*message == "authenticated user: " ? std::string("Authenticated") : *message);
    currentSession_ = solver::textMember(*object, "session");
    if (!currentSession_) {
        setFailedStatus(std::string("The solving service sent no session"));
        return;
    }
    startWorker(&SolverController::upload);
}

std::optional<std::string> SolverController::jpegOfImage() const {
    if (!image_) return std::nullopt;
    const auto rendering = image_->image();
    const auto bitmap = rendering ? rendering->firstBitmapImageRep() : nullptr;
    if (!bitmap || !bitmap->bitmapData() || bitmap->bitsPerSample() != 8 || bitmap->isPlanar() ||
        (bitmap->samplesPerPixel() != 3 && bitmap->samplesPerPixel() != 4))
        return std::nullopt;
    tjhandle handle = tjInitCompress();
    if (!handle) return std::nullopt;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int format = bitmap->samplesPerPixel() == 3 ? TJPF_RGB : TJPF_RGBX;
    const int result = tjCompress2(handle, bitmap->bitmapData(), static_cast<int>(bitmap->pixelsWide()),
                                   static_cast<int>(bitmap->bytesPerRow()), static_cast<int>(bitmap->pixelsHigh()),
                                   format, &jpeg, &size, TJSAMP_420, kUploadJpegQuality, 0);
    std::optional<std::string> bytes;
    if (result == 0 && jpeg) bytes.emplace(reinterpret_cast<const char*>(jpeg), size);
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

void SolverController::upload() {
    if (aborted_) {
        setFailedStatus(std::string("Aborted"));
        return;
    }
    const auto jpeg = jpegOfImage();
    if (!jpeg) {
        setFailedStatus(std::string("The image could not be encoded as JPEG"));
        return;
    }
    handleUploadResponse(request("POST", baseURL_ + "/api/upload",
                                 {{"Content-Type", "multipart/form-data; boundary=" + boundary_}},
                                 solver::uploadBody(boundary_, currentSession_.value_or(""), *jpeg)));
}

void SolverController::handleUploadResponse(const HttpReply& reply) {
    const auto object = successReply(reply, "upload");
    if (!object) return;
    currentSubmission_ = solver::integerMember(*object, "subid");
    if (!currentSubmission_) {
        setFailedStatus(std::string("The solving service sent no submission number"));
        return;
    }
    setRunningStatus(std::string("Image uploaded"));
    startWorker(&SolverController::waitForSubmission);
}

void SolverController::pollUntil(const std::string& url, const char* service, int pauseSeconds,
                                 const std::function<bool(const HttpReply& reply)>& answered) {
    if (aborted_) {
        setFailedStatus(std::string("Aborted"));
        return;
    }
    pollWaited_ = {};
    while (true) {
        if (answered(request("GET", url, {}, {}))) return;
        for (int i = 0; i < pauseSeconds; ++i) {
            if (pauseAndCheckAbort()) return;
        }
        if (pollTimeRanOut(service)) return;
    }
}

void SolverController::waitForSubmission() {
    const std::string url = baseURL_ + "/api/submissions/" + std::to_string(currentSubmission_.value_or(0));
    pollUntil(url, "solving service", 5, [this](const HttpReply& reply) {
        const auto object = reply.received ? solver::replyObject(reply.body) : std::nullopt;
        const auto jobs = object ? solver::integerListMember(*object, "jobs") : std::nullopt;
        if (!jobs || jobs->empty()) return false;
        logReply(*object);
        currentJob_ = jobs->front();
        startWorker(&SolverController::waitForJob);
        return true;
    });
}

void SolverController::waitForJob() {
    const std::string url = baseURL_ + "/api/jobs/" + std::to_string(currentJob_.value_or(0)) + "/info";
    pollUntil(url, "solving service", 5, [this](const HttpReply& reply) {
        const auto object = reply.received ? solver::replyObject(reply.body) : std::nullopt;
        const auto status = object ? solver::textMember(*object, "status") : std::nullopt;
        if (status == "success") {
            logReply(*object);
            const auto result = solver::calibration(*object);
            if (!result) {
                setFailedStatus(std::string("The solving service sent no usable calibration"));
                return true;
            }
            onMain([this, result = *result] { showCalibration(result, "Job finished"); });
            return true;
        }
        if (status == "failure") {
            logReply(*object);
            onMain([this] {
                clearCalibration();
                setFailedStatus(std::string("Job failed"));
            });
            return true;
        }
        return false;
    });
}

// --- Local service ----------------------------------------------------------------------------

void SolverController::localSolver() {
    if (aborted_) {
        setFailedStatus(std::string("Aborted"));
        return;
    }
    const std::string url = baseURL_ + "/api/upload";
    if (!solver::isHttpURL(url)) {
        finishSilently();
        return;
    }
    setRunningStatus(std::string("Uploading..."));
    const auto& data = image_->data();
    handleLocalUploadResponse(
        request("PUT", url, {{"Content-Disposition", "attachment; filename=\"image" + image_->format() + "\""}},
                std::string(reinterpret_cast<const char*>(data.bytes()), data.length())));
}

void SolverController::handleLocalUploadResponse(const HttpReply& reply) {
    const auto object = reply.received ? solver::replyObject(reply.body) : std::nullopt;
    const auto status = object ? solver::textMember(*object, "status") : std::nullopt;
    if (!status) {
        setFailedStatus(std::string("Failed to upload image"));
        return;
    }
    if (*status != "success") {
        setFailedStatus(solver::textMember(*object, "errormessage"));
        return;
    }
    setRunningStatus(std::string("Image uploaded"));
    pause(kOneSecond);
    checkStatus();
}

void SolverController::checkStatus() {
    // A vanished service answers at once: the pause keeps the poll from being a busy loop.
    pollUntil(baseURL_ + "/api/status", "local solving service", 1, [this](const HttpReply& reply) {
        const auto object = reply.received ? solver::replyObject(reply.body) : std::nullopt;
        const auto status = object ? solver::textMember(*object, "status") : std::nullopt;
        if (status == "busy") {
            setRunningStatus(solver::textMember(*object, "message"));
        } else if (status == "done") {
            const auto result = solver::calibration(*object);
            if (!result) {
                setFailedStatus(std::string("The solving service sent no usable calibration"));
                return true;
            }
            onMain([this, result = *result] { showCalibration(result, "Done"); });
            return true;
        } else if (status == "failed") {
            onMain([this, message = solver::textMember(*object, "message")] {
                clearCalibration();
                setFailedStatus(message);
            });
            return true;
        }
        return false;
    });
}

// --- Results ----------------------------------------------------------------------------------

void SolverController::showCalibration(const solver::Calibration& calibration, const std::string& message) {
    if (view_)
        view_->showSolution(calibration.ra / 15, calibration.dec, solver::roundToHundredths(calibration.orientation),
                            solver::roundToHundredths(calibration.pixscale));
    setDoneStatus(message);
}

void SolverController::clearCalibration() {
    if (view_) view_->clearSolution();
}
