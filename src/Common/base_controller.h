#pragma once
// BaseController: the base of every window controller and the delegate the client holds.
// Every delegate operation does nothing unless a controller replaces it. Assigning the shared
// client (setIndigo) registers the controller as a delegate; it is never removed, so a
// controller must outlive the client's events.
//
// The semaphore (one token) is the busy token of frame display: a producer hands a frame
// over only when tryLock() gets the token at once; the display step gives it back (unlock).

#include "Common/indigo_delegate.h"
#include "platform/dispatch.h"

#include <memory>

class BaseController : public INDIGODelegate {
public:
    BaseController();
    ~BaseController() override;
    BaseController(const BaseController&) = delete;
    BaseController& operator=(const BaseController&) = delete;

    // Waits for the token.
    virtual void lock();
    // Gives the token back.
    virtual void unlock();
    // Takes the token only when it is free now.
    virtual bool tryLock();
    virtual bool canQuit();

    void initialize() override {}
    void defineProperty(const std::shared_ptr<INDIGO::Property>&) override {}
    void updateProperty(const std::shared_ptr<INDIGO::Property>&) override {}
    void deleteProperty(const std::shared_ptr<INDIGO::Property>&) override {}
    void addDriver(const std::shared_ptr<INDIGO::Driver>&) override {}
    void message(const std::string&) override {}
    void updateServices() override {}

    virtual void loadPreferences() {}
    virtual void savePreferences() {}

    // The shared client; nullptr until assigned.
    const std::shared_ptr<INDIGO>& indigo() const { return indigo_; }
    // Keeps the client and appends this controller to its delegates (again on every call;
    // a null client is kept and registers nothing).
    void setIndigo(std::shared_ptr<INDIGO> indigo);

    dispatch::Semaphore& semaphore() { return semaphore_; }

private:
    dispatch::Semaphore semaphore_{1};
    std::shared_ptr<INDIGO> indigo_;
};
