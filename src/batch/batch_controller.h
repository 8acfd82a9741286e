#pragma once
// BatchController: keeps every frame of a capture run, as one numbered file per frame in the
// frame's own format or as one SER, AVI or MOV video per run ("outputFormat"), and browses
// the files the run saved (previous, next, reveal, load any file into the image window).
//
// Threads
// - open(), updateGUI(), the table's data source and the actions: main thread.
// - saveFrame(): the thread that delivers the frame (the bus queue). It hands the frame to the
//   controller's writer queue, which writes the frames in order while the next one is being
//   taken; once kFramesAhead frames wait there, saveFrame() waits for room (no frame is ever
//   dropped to keep up). The list of saved files and `current` change only on the main queue,
//   in a task the writer queues, so the table never sees a list being changed.
// - close(): any thread; idempotent. It returns once every frame handed over before it is
//   written, so a frame is never handed to a video being finished. Called from the run-failed
//   handler (the writer's own thread), it does not wait for the frames behind the failed one:
//   the failed run drops them.
// - flush(): any thread but the writer's; returns once every frame handed over is written.
//   The capture engine calls it before each next exposure, so that a frame that cannot be
//   saved ends the run there.
//
// Failures: a name is reserved by creating its file exclusively, so a frame never
// overwrites a file. A folder that refuses a file (not writable, disk full) gives one line
// naming the path and the error; a partly written file is removed, the run is marked failed
// (runFailed(), and the run-failed handler is called once), and the run's later frames are
// counted but not written. All 999 names taken is logged for each frame it drops.
//
// Lifetime: one instance, made and destroyed on the main thread after the frames stop.

#include "Common/base_controller.h"
#include "Common/main_hop.h"
#include "batch/batch_naming.h"
#include "platform/dispatch.h"
#include "platform/image/data.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class BatchView;
class FFMPEG;
class Image;
class SER;

namespace zeta::platform {
class UserDefaults;
}

class BatchController : public BaseController {
public:
    // Reads its settings from the store given (the application's own by default).
    explicit BatchController(zeta::platform::UserDefaults* defaults = nullptr);
    ~BatchController() override;

    // --- Outlets (main thread) -----------------------------------------------------------
    void setView(BatchView* view) { view_ = view; }
    // The image window's image setter: receives each loaded file.
    using ImageHandler = std::function<void(std::shared_ptr<Image>)>;
    void setImageHandler(ImageHandler handler) { imageHandler_ = std::move(handler); }
    // The camera window's previewInProgress; no preview when unset.
    void setPreviewInProgress(std::function<bool()> preview) { previewInProgress_ = std::move(preview); }
    // Called once per run, on the thread that found it, when the run cannot save any more
    // (the capture engine ends the run in Alert). Set before runs start.
    void setRunFailedHandler(std::function<void()> handler) { runFailedHandler_ = std::move(handler); }

    // --- Fields --------------------------------------------------------------------------
    std::optional<std::string> folder() const;
    void setFolder(std::optional<std::string> folder);
    std::optional<std::string> nameTemplate() const;
    void setNameTemplate(std::optional<std::string> nameTemplate);
    std::int64_t index() const { return index_.load(); }
    void setIndex(std::int64_t index) { index_.store(index); }
    // Main thread.
    const std::vector<std::string>& images() const { return images_; }
    std::int64_t current() const { return current_; }
    // The run writes a video.
    bool hasVideo() const;
    // The run met a folder that refuses its files; cleared by open().
    bool runFailed() const { return runFailed_.load(); }

    // --- Settings (no operation writes them; the camera window's capture group may) --------
    std::string outputFormat() const;
    void setOutputFormat(const std::string& format);
    zeta::batch::NameEncoding nameEncoding() const;
    void setEncodeFilter(bool on);
    void setEncodeMode(bool on);
    void setEncodeDuration(bool on);
    void setEncodeTemperature(bool on);

    // --- Run -----------------------------------------------------------------------------
    virtual void updateGUI();
    virtual void open();
    // The bytes must be the frame's own, as its update event delivered them
    // (INDIGO::BLOBItem::eventValue(), which a busy decode does not leave empty).
    virtual void saveFrame(const zeta::platform::Data& frame, const std::optional<std::string>& filter,
                           const std::optional<std::string>& mode, std::optional<double> duration,
                           const std::optional<std::string>& temperature, const std::string& extension);
    virtual void close();
    void flush();

    // Frames handed over and not yet written, at most, before saveFrame() waits.
    static constexpr long kFramesAhead = 2;

    // --- Table data source (main thread) -------------------------------------------------
    std::size_t numberOfRows() const { return images_.size(); }
    // The file name of the row's path.
    std::string objectValue(std::size_t row) const;

    // --- Actions (main thread) -----------------------------------------------------------
    // A click on a table row (none: no row selected).
    void tableLoadAction(std::optional<std::int64_t> selectedRow);
    // Any other load control: the open panel.
    void loadAction();
    void previousAction();
    void nextAction();
    // The table's reveal gesture, on its selected row.
    void tableShowInFinderAction(std::optional<std::int64_t> selectedRow);
    // Any other reveal control: the current entry.
    void showInFinderAction();

private:
    void log(const std::string& text) const;
    void loadImage(const std::string& path);
    // True for the first failure of the run.
    bool markRunFailed();
    void failRun();
    void writeFrame(const zeta::platform::Data& frame, const std::optional<std::string>& filter,
                    const std::optional<std::string>& mode, std::optional<double> duration,
                    const std::optional<std::string>& temperature, const std::string& extension);
    bool saveFile(const zeta::platform::Data& frame, const std::string& base, const std::string& extension,
                  std::string& savedPath, bool& failed);
    void queueRefresh();
    void dropVideoLocked(const std::string& why);
    zeta::platform::UserDefaults& defaults() const;

    zeta::platform::UserDefaults* defaults_;
    BatchView* view_ = nullptr;
    ImageHandler imageHandler_;
    std::function<bool()> previewInProgress_;
    std::function<void()> runFailedHandler_;

    mutable std::mutex fieldsLock_; // folder and template, set on main, read by saveFrame
    std::optional<std::string> folder_;
    std::optional<std::string> nameTemplate_;
    std::atomic<std::int64_t> index_{0};

    // Main thread only.
    std::vector<std::string> images_;
    std::int64_t current_ = -1;

    // The run: its writers and the generation that tells its saved files from a later run's.
    mutable std::mutex runLock_;
    std::shared_ptr<FFMPEG> ffmpegVideo_;
    std::shared_ptr<SER> serVideo_;
    std::string videoPath_;
    std::uint64_t generation_ = 0;
    std::atomic<bool> runFailed_{false};

    zeta::common::MainHop main_;

    // Last: destroyed first, it writes what is left before the members its tasks use go
    // (main_ among them: the writer's main-queue work goes through it).
    dispatch::Semaphore room_{kFramesAhead};
    dispatch::SerialQueue writer_{"batch frame writer"};
};
