#pragma once
// SolverController: the plate-solver panel. It sends the image shown in the image window to
// the public plate-solving web service or to a local solving service, shows the solution
// (right ascension, declination, orientation, pixel scale) and hands it to the telescope
// device MOUNT_DEVICE_NAME() as SYNC or SLEW with the field of view.
//
// Threads
// - Actions, awakeFromNib(), the service-list calls and every view change run on the main
//   thread; the status operations may be called from any thread and queue their change on
//   the main queue, in order.
// - A solve is a chain of workers on global queues (publicSolver() or localSolver() and the
//   steps they start); requests block their worker; replies are handled on that worker.
// - defineProperty()/deleteProperty() run on the bus's "indigoSyncQueue" and only log and
//   queue the button change.
// Lifetime: the destructor asks a running solve to stop and waits for its workers. Blocks
// already queued on the main queue are dropped once the controller is gone.

#include "Common/base_controller.h"
#include "Common/main_hop.h"
#include "solver/solver_requests.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class Image;

namespace zeta::solver {
struct HttpReply;
}

// The panel's controls as the controller sees them. Called on the main thread only.
class SolverView {
public:
    virtual ~SolverView() = default;

    // Status light (a status image name), the status text (unchanged without one) and the
    // solve button's title and enabled state.
    virtual void showStatus(std::string_view imageName, const std::optional<std::string>& text,
                            std::string_view solveTitle, bool solveEnabled) = 0;
    virtual void setSolveEnabled(bool enabled) = 0;
    virtual void setMountButtonsEnabled(bool enabled) = 0;
    // The result fields: hours and degrees shown sexagesimal, the other two as numbers.
    virtual void showSolution(double raHours, double decDegrees, double orientation, double pixelScale) = 0;
    virtual void clearSolution() = 0;
    // The local service's URL field and the two radios (the web radio is the opposite).
    virtual void showServiceChoice(const std::string& localURL, bool localEnabled, bool localOn) = 0;
    virtual void showSettings(const std::string& apiKey, const std::string& publicURL) = 0;
    // The user's fixed local service URL ("" for none) and why the last one typed was refused.
    virtual void showLocalOverride(const std::string& url, const std::optional<std::string>& refusal) = 0;

    virtual std::string apiKey() const = 0;
    virtual std::string publicURL() const = 0;
    virtual std::string localURL() const = 0;
    virtual bool localChosen() const = 0;
    virtual std::string raText() const = 0;
    virtual std::string decText() const = 0;
    virtual std::string orientationText() const = 0;
    virtual std::string pixelScaleText() const = 0;
    // Whether the panel hides while the application is inactive.
    virtual void setHidesOnDeactivate(bool) {}
};

class SolverController : public BaseController {
public:
    // The public service's base URL, the default of "astrometry.baseURL".
    static constexpr const char* kPublicServiceURL = "http://nova.astrometry.net";
    // JPEG quality of the web upload's image (the smallest file).
    static constexpr int kUploadJpegQuality = 1;

    struct Timing {
        // Pauses of the polls; tests replace it to run without waiting.
        std::function<void(std::chrono::milliseconds)> sleep;
        // The longest a poll waits for a final answer before the solve fails.
        std::chrono::seconds pollTimeLimit{15 * 60};
        // Time limit of one request.
        std::chrono::seconds requestTimeout{60};
    };

    SolverController();
    ~SolverController() override;

    void setView(SolverView* view) { view_ = view; }
    // Where the image to solve comes from: the image window's current image.
    void setCurrentImageSource(std::function<std::shared_ptr<Image>()> source);
    void setTiming(Timing timing);

    // Prepares the panel: override or service browsing, saved settings, "Ready". Returns
    // whether local services should be browsed for (no override set).
    bool awakeFromNib();

    void saveAction();
    // The panel takes "hidePanels" again.
    void savePreferences() override;
    // The user fixes the local service ("astrometry.localOverride"): an http URL is stored and
    // chosen at once, an empty text removes the key and gives the choice back to the services
    // found; anything else is refused and the stored value stays.
    void setLocalOverride(const std::string& text);
    void solveAction();
    void syncAction();
    void slewAction();
    // The image window shows another image: Sync and Slew follow whether it is the solved one.
    void currentImageChanged();

    // Local solving services, from the service browser (main thread); key names one service.
    void serviceFound(const std::string& key);
    void serviceResolved(const std::string& key, const std::string& host, int port);
    void serviceRemoved(const std::string& key);

    void defineProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void deleteProperty(const std::shared_ptr<INDIGO::Property>& property) override;

    // Status operations: any thread; the change is queued on the main queue.
    void setRunningStatus(std::optional<std::string> message);
    void setDoneStatus(std::optional<std::string> message);
    void setFailedStatus(std::optional<std::string> message);

    // The steps of a solve (each on a global queue).
    virtual void publicSolver();
    virtual void upload();
    virtual void waitForSubmission();
    virtual void waitForJob();
    virtual void localSolver();
    virtual void checkStatus();

    // The reply's object when the service answered "success"; otherwise the failure is shown
    // and none comes back.
    std::optional<nlohmann::json> successReply(const zeta::solver::HttpReply& reply, const char* what);
    void handleLoginResponse(const zeta::solver::HttpReply& reply);
    void handleUploadResponse(const zeta::solver::HttpReply& reply);
    void handleLocalUploadResponse(const zeta::solver::HttpReply& reply);
    // Main thread.
    void showCalibration(const zeta::solver::Calibration& calibration, const std::string& message);
    void clearCalibration();

    const std::string& boundary() const { return boundary_; }
    const std::string& baseURL() const { return baseURL_; }
    bool running() const { return running_; }
    // Waits until no worker of a solve is left (tests; the destructor).
    void waitForWorkers();

private:
    void startWorker(void (SolverController::*step)());
    void onMain(std::function<void()> block);
    void pause(std::chrono::milliseconds duration);
    // One pause of a second followed by the abort test; true when the solve was aborted.
    bool pauseAndCheckAbort();
    bool pollTimeRanOut(const char* what);
    // Asks url until answered() takes a reply as final, pausing the given seconds between
    // asks; an abort or the poll's time limit ends it with a failed status.
    void pollUntil(const std::string& url, const char* service, int pauseSeconds,
                   const std::function<bool(const zeta::solver::HttpReply& reply)>& answered);
    void finishSilently();
    void sendCoordinates(const char* property);
    void updateMountButtons();
    void applyStatus(std::string_view imageName, const std::optional<std::string>& message, bool running, bool solved);
    zeta::solver::HttpReply request(const std::string& method, const std::string& url,
                                    std::vector<std::pair<std::string, std::string>> headers, std::string body);
    void showLocalService(const std::string& url, bool enabled);
    std::optional<std::string> jpegOfImage() const;

    SolverView* view_ = nullptr;
    std::function<std::shared_ptr<Image>()> currentImage_;
    Timing timing_;
    std::chrono::steady_clock::duration pollWaited_{};

    const std::string boundary_;
    std::optional<std::string> astrometryOverride_;
    // Written on the main thread before a worker starts, read by the workers after.
    std::string baseURL_ = kPublicServiceURL;
    std::string apiKey_;
    std::shared_ptr<Image> image_;
    // Each written by one step and read by the step it starts.
    std::optional<std::string> currentSession_;
    std::optional<std::int64_t> currentSubmission_;
    std::optional<std::int64_t> currentJob_;

    std::atomic<bool> running_{false};
    std::atomic<bool> aborted_{false};
    // Main thread: a solve has started and not yet ended (covers the moment before its first
    // running status, so a second press then is ignored).
    bool solving_ = false;
    bool telescopePresent_ = false;
    // The image the shown result fields belong to; none until a solve is done.
    std::shared_ptr<Image> solvedImage_;

    struct LocalService {
        std::string key;
        std::optional<std::string> url;
    };
    std::vector<LocalService> services_;

    std::mutex workersMutex_;
    std::condition_variable workersDone_;
    int workers_ = 0;
    zeta::common::MainHop main_;
};
