#pragma once
// The lists of attached clients and devices, and the bookkeeping that lets a detach wait
// for calls in flight without the bus holding any lock while it calls out.
//
// Readers take a snapshot (an immutable list) under a short lock and call out with no lock
// held. Each call into a record is bracketed by a CallGuard, which counts it on the
// record's Attachment; a detach marks the attachment gone and waits until the only calls
// left are those on its own thread's stack.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace zeta::indigo {

template <class Record>
struct Attachment {
    explicit Attachment(Record* record) : record(record) {}
    Record* const record;
    std::atomic<bool> attached{true};
    std::atomic<bool> detaching{false}; // set by the first detach, so only one runs
    std::atomic<int> callsInFlight{0};
};

// Calls into any attachment running on this thread, innermost last.
std::vector<const void*>& callsOnThisThread();

template <class Record>
class CallGuard {
public:
    explicit CallGuard(Attachment<Record>& attachment) : attachment_(attachment) {
        attachment_.callsInFlight.fetch_add(1);
        if (!attachment_.attached.load()) {
            leave();
            return;
        }
        entered_ = true;
        callsOnThisThread().push_back(&attachment_);
    }
    ~CallGuard() {
        if (!entered_) return;
        callsOnThisThread().pop_back();
        leave();
    }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;

    // False when the record was detached before the call could start.
    bool entered() const { return entered_; }

private:
    void leave() {
        attachment_.callsInFlight.fetch_sub(1);
        if (!attachment_.attached.load()) attachment_.callsInFlight.notify_all();
    }

    Attachment<Record>& attachment_;
    bool entered_ = false;
};

// Marks the attachment gone and waits for the calls into it on other threads.
template <class Record>
void retireAttachment(Attachment<Record>& attachment) {
    attachment.attached.store(false);
    int own = 0;
    for (const void* call : callsOnThisThread()) {
        if (call == &attachment) ++own;
    }
    for (;;) {
        const int inFlight = attachment.callsInFlight.load();
        if (inFlight <= own) return;
        attachment.callsInFlight.wait(inFlight);
    }
}

template <class Record>
class AttachmentList {
public:
    using Entry = std::shared_ptr<Attachment<Record>>;
    using Snapshot = std::shared_ptr<const std::vector<Entry>>;

    AttachmentList() : entries_(std::make_shared<const std::vector<Entry>>()) {}

    Snapshot snapshot() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }

    // False when the record is attached already.
    bool add(Record* record) {
        std::lock_guard lock(mutex_);
        for (const Entry& entry : *entries_) {
            if (entry->record == record) return false;
        }
        auto next = std::make_shared<std::vector<Entry>>(*entries_);
        next->push_back(std::make_shared<Attachment<Record>>(record));
        entries_ = std::move(next);
        return true;
    }

    Entry find(const Record* record) const {
        Snapshot entries = snapshot();
        for (const Entry& entry : *entries) {
            if (entry->record == record) return entry;
        }
        return nullptr;
    }

    // Takes the record off the list; the caller retires the returned attachment.
    Entry remove(const Record* record) {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<std::vector<Entry>>();
        Entry removed;
        for (const Entry& entry : *entries_) {
            if (entry->record == record && removed == nullptr)
                removed = entry;
            else
                next->push_back(entry);
        }
        if (removed != nullptr) entries_ = std::move(next);
        return removed;
    }

private:
    mutable std::mutex mutex_;
    Snapshot entries_;
};

} // namespace zeta::indigo
