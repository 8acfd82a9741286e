#include "batch/batch_controller.h"

#include "Common/indigo_client.h"
#include "batch/batch_view.h"
#include "imaging/ffmpeg_writer.h"
#include "imaging/image.h"
#include "imaging/ser_writer.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "platform/user_defaults.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kOutputFormat = "outputFormat";
constexpr const char* kEncodeFilter = "encodeFilter";
constexpr const char* kEncodeMode = "encodeMode";
constexpr const char* kEncodeDuration = "encodeDuration";
constexpr const char* kEncodeTemperature = "encodeTemperature";

// Removes a reserved file that nothing was written into.
void removeIfEmpty(const std::string& path) {
    struct stat status {};
    if (!path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0)
        ::unlink(path.c_str());
}

// The whole file; none when it cannot be read.
std::optional<zeta::platform::Data> readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        bytes.reserve(static_cast<std::size_t>(status.st_size));
    else if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    ::close(fd);
    return zeta::platform::Data(std::move(bytes));
}

// "." + the text after the last "." of the file's name; "." + the whole path without one.
std::string formatOfPath(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "." + path;
    return "." + path.substr(dot + 1);
}

} // namespace

BatchController::BatchController(zeta::platform::UserDefaults* defaults) : defaults_(defaults) {}

BatchController::~BatchController() {
    close();
}

zeta::platform::UserDefaults& BatchController::defaults() const {
    return defaults_ ? *defaults_ : zeta::platform::UserDefaults::standard();
}

void BatchController::log(const std::string& text) const {
    if (indigo())
        indigo()->message(text);
    else
        zeta::platform::systemLog(text);
}

std::optional<std::string> BatchController::folder() const {
    std::lock_guard guard(fieldsLock_);
    return folder_;
}

void BatchController::setFolder(std::optional<std::string> folder) {
    // Kept without its trailing "/" (the root stays "/").
    if (folder)
        while (folder->size() > 1 && folder->back() == '/')
            folder->pop_back();
    std::lock_guard guard(fieldsLock_);
    folder_ = std::move(folder);
}

std::optional<std::string> BatchController::nameTemplate() const {
    std::lock_guard guard(fieldsLock_);
    return nameTemplate_;
}

void BatchController::setNameTemplate(std::optional<std::string> nameTemplate) {
    std::lock_guard guard(fieldsLock_);
    nameTemplate_ = std::move(nameTemplate);
}

bool BatchController::hasVideo() const {
    std::lock_guard guard(runLock_);
    return ffmpegVideo_ || serVideo_;
}

std::string BatchController::outputFormat() const {
    return defaults().stringForKey(kOutputFormat, "FITS");
}

void BatchController::setOutputFormat(const std::string& format) {
    defaults().setObject(format, kOutputFormat);
    defaults().synchronize();
}

zeta::batch::NameEncoding BatchController::nameEncoding() const {
    auto& store = defaults();
    return {store.boolForKey(kEncodeFilter, true), store.boolForKey(kEncodeMode, true),
            store.boolForKey(kEncodeDuration, true), store.boolForKey(kEncodeTemperature, false)};
}

void BatchController::setEncodeFilter(bool on) {
    defaults().setBool(on, kEncodeFilter);
    defaults().synchronize();
}

void BatchController::setEncodeMode(bool on) {
    defaults().setBool(on, kEncodeMode);
    defaults().synchronize();
}

void BatchController::setEncodeDuration(bool on) {
    defaults().setBool(on, kEncodeDuration);
    defaults().synchronize();
}

void BatchController::setEncodeTemperature(bool on) {
    defaults().setBool(on, kEncodeTemperature);
    defaults().synchronize();
}

bool BatchController::markRunFailed() {
    return !runFailed_.exchange(true);
}

void BatchController::failRun() {
    if (markRunFailed() && runFailedHandler_) runFailedHandler_();
}

void BatchController::open() {
    // A run left open by its caller is finished first: its writer must not outlive it.
    close();
    {
        std::lock_guard guard(runLock_);
        ++generation_;
        runFailed_.store(false);
    }
    images_.clear();
    current_ = -1;
    updateGUI();

    const std::string format = outputFormat();
    if (format != "AVI" && format != "MOV" && format != "SER") return;
    const auto folder = this->folder();
    const auto nameTemplate = this->nameTemplate();
    if (!folder || !nameTemplate) return;

    std::string extension = format;
    for (char& c : extension)
        c = static_cast<char>(c - 'A' + 'a');
    const std::string base = *folder + "/" + zeta::batch::sanitizedPart(*nameTemplate);
    auto reserved = zeta::batch::reserveNumbered(base, "." + extension);
    switch (reserved.status) {
    case zeta::batch::Reservation::Status::AllTaken:
        log("No free name for the video " + base + "_NNN." + extension +
            " (001 to 999 exist), saving frames as "
            "numbered files");
        return;
    case zeta::batch::Reservation::Status::Failed:
        log("Failed to save video to " + reserved.path + ": " + zeta::batch::errorText(reserved.error));
        failRun();
        return;
    case zeta::batch::Reservation::Status::Reserved:
        break;
    }
    ::close(reserved.fd);

    std::lock_guard guard(runLock_);
    videoPath_ = reserved.path;
    if (extension == "ser") {
        serVideo_ = SER::initWith(reserved.path);
        if (serVideo_)
            serVideo_->setBayerMask(std::nullopt);
        else
            log("Failed to save video to " + reserved.path + ": " + zeta::batch::errorText(errno) +
                ", saving frames as numbered files");
    } else {
        ffmpegVideo_ = FFMPEG::initWith(reserved.path);
    }
    if (!serVideo_ && !ffmpegVideo_) {
        // The writer said why; the frames go to numbered files.
        removeIfEmpty(reserved.path);
        videoPath_.clear();
    }
}

void BatchController::dropVideoLocked(const std::string& why) {
    log("Video " + videoPath_ + " " + why + ", saving frames as numbered files");
    if (ffmpegVideo_) ffmpegVideo_->close();
    if (serVideo_) serVideo_->close();
    ffmpegVideo_.reset();
    serVideo_.reset();
    removeIfEmpty(videoPath_);
    videoPath_.clear();
}

bool BatchController::saveFile(const zeta::platform::Data& frame, const std::string& base, const std::string& extension,
                               std::string& savedPath, bool& failed) {
    auto reserved = zeta::batch::reserveNumbered(base, extension);
    switch (reserved.status) {
    case zeta::batch::Reservation::Status::AllTaken:
        log("Failed to save image: " + base + "_001" + extension + " to " + base + "_999" + extension + " all exist");
        return false;
    case zeta::batch::Reservation::Status::Failed:
        log("Failed to save image to " + reserved.path + ": " + zeta::batch::errorText(reserved.error));
        failed = markRunFailed();
        return false;
    case zeta::batch::Reservation::Status::Reserved:
        break;
    }
    bool written = zeta::batch::writeAll(reserved.fd, frame.bytes(), frame.length());
    int error = written ? 0 : errno;
    if (::close(reserved.fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        // No partial frame is left under a name that looks like a saved one.
        ::unlink(reserved.path.c_str());
        log("Failed to save image to " + reserved.path + ": " + zeta::batch::errorText(error));
        failed = markRunFailed();
        return false;
    }
    savedPath = std::move(reserved.path);
    return true;
}

void BatchController::saveFrame(const zeta::platform::Data& frame, const std::optional<std::string>& filter,
                                const std::optional<std::string>& mode, std::optional<double> duration,
                                const std::optional<std::string>& temperature, const std::string& extension) {
    index_.fetch_add(1);
    if (writer_.isCurrent()) {
        writeFrame(frame, filter, mode, duration, temperature, extension);
        return;
    }
    room_.wait();
    writer_.async([this, frame, filter, mode, duration, temperature, extension] {
        writeFrame(frame, filter, mode, duration, temperature, extension);
        room_.signal();
    });
}

void BatchController::flush() {
    if (!writer_.isCurrent()) writer_.sync([] {});
}

void BatchController::writeFrame(const zeta::platform::Data& frame, const std::optional<std::string>& filter,
                                 const std::optional<std::string>& mode, std::optional<double> duration,
                                 const std::optional<std::string>& temperature, const std::string& extension) {
    std::optional<std::string> saved;
    std::uint64_t generation = 0;
    bool failed = false;
    {
        std::unique_lock run(runLock_);
        generation = generation_;
        if (runFailed_.load()) {
            run.unlock();
            queueRefresh();
            return;
        }
        if (ffmpegVideo_ || serVideo_) {
            const VideoFrameOutcome outcome = ffmpegVideo_ ? ffmpegVideo_->add(frame) : serVideo_->add(frame);
            if (outcome != VideoFrameOutcome::WriterUnusable) {
                run.unlock();
                queueRefresh();
                return;
            }
            dropVideoLocked("cannot hold these frames");
        }
        const auto folder = this->folder();
        const auto nameTemplate = this->nameTemplate();
        if (folder && nameTemplate) {
            const std::string base =
                *folder + "/" +
                zeta::batch::frameBaseName(*nameTemplate, {filter, mode, duration, temperature}, nameEncoding());
            std::string path;
            // Frames are written one at a time: the run's lock also orders them with close().
            if (saveFile(frame, base, zeta::batch::sanitizedExtension(extension), path, failed))
                saved = std::move(path);
        }
    }
    // Outside the run's lock: the handler may well close the run.
    if (failed && runFailedHandler_) runFailedHandler_();
    main_.async([this, generation, saved = std::move(saved)] {
        std::uint64_t now;
        {
            std::lock_guard guard(runLock_);
            now = generation_;
        }
        if (saved && generation == now) {
            images_.push_back(*saved);
            current_ = static_cast<std::int64_t>(images_.size()) - 1;
        }
        updateGUI();
    });
}

void BatchController::queueRefresh() {
    main_.async([this] { updateGUI(); });
}

void BatchController::close() {
    flush();
    std::lock_guard guard(runLock_);
    auto ffmpeg = std::move(ffmpegVideo_);
    auto ser = std::move(serVideo_);
    ffmpegVideo_.reset();
    serVideo_.reset();
    if (ffmpeg) {
        ffmpeg->close();
        // A video that never received a frame leaves no empty file behind.
        if (!ffmpeg->opened()) removeIfEmpty(videoPath_);
    } else if (ser) {
        ser->close();
    }
    videoPath_.clear();
}

void BatchController::updateGUI() {
    if (!view_) return;
    const bool preview = previewInProgress_ && previewInProgress_();
    const auto count = static_cast<std::int64_t>(images_.size());
    view_->setPreviousButtonEnabled(current_ >= 1 && !preview);
    view_->setShowInFinderButtonEnabled(current_ >= 0 && !preview);
    view_->setNextButtonEnabled(current_ >= 0 && current_ < count - 1 && !preview);
    view_->reloadTable(current_ < count ? current_ : -1);
}

std::string BatchController::objectValue(std::size_t row) const {
    if (row >= images_.size()) return {};
    const std::string& path = images_[row];
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void BatchController::loadImage(const std::string& path) {
    const auto bytes = readWholeFile(path);
    if (!bytes) {
        log("Failed to load image to " + path);
        updateGUI();
        return;
    }
    auto image = std::make_shared<Image>(*bytes, formatOfPath(path));
    if (imageHandler_) imageHandler_(std::move(image));
}

void BatchController::tableLoadAction(std::optional<std::int64_t> selectedRow) {
    if (!selectedRow || *selectedRow < 0 || *selectedRow >= static_cast<std::int64_t>(images_.size())) return;
    loadImage(images_[static_cast<std::size_t>(*selectedRow)]);
    current_ = *selectedRow;
    updateGUI();
}

void BatchController::loadAction() {
    if (!view_) return;
    const auto chosen = view_->chooseFile("Select image", folder());
    if (chosen) loadImage(*chosen);
}

void BatchController::previousAction() {
    if (current_ <= 0 || current_ > static_cast<std::int64_t>(images_.size())) return;
    --current_;
    loadImage(images_[static_cast<std::size_t>(current_)]);
    updateGUI();
}

void BatchController::nextAction() {
    if (current_ < 0 || current_ >= static_cast<std::int64_t>(images_.size()) - 1) return;
    ++current_;
    loadImage(images_[static_cast<std::size_t>(current_)]);
    updateGUI();
}

void BatchController::tableShowInFinderAction(std::optional<std::int64_t> selectedRow) {
    const auto folder = this->folder();
    if (!folder || !view_ || !selectedRow || *selectedRow < 0 ||
        *selectedRow >= static_cast<std::int64_t>(images_.size()))
        return;
    view_->revealFile(images_[static_cast<std::size_t>(*selectedRow)], *folder);
}

void BatchController::showInFinderAction() {
    const auto folder = this->folder();
    if (!folder || !view_) return;
    if (current_ >= 0 && current_ < static_cast<std::int64_t>(images_.size()))
        view_->revealFile(images_[static_cast<std::size_t>(current_)], *folder);
}
