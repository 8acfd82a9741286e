#pragma once
// INDIGODelegate: how the client reports bus events. Every registered delegate hears every
// event, in registration order, on the thread given:
//   initialize       once, at start, after the bus has started and before the client attaches (main)
//   defineProperty   the property has been filed in the model                (indigoSyncQueue)
//   updateProperty   the record holds the new values; connected flag and BLOB caches are
//                    already brought up to date                                (indigoSyncQueue)
//   deleteProperty   the property is already out of the model                 (indigoSyncQueue)
//   addDriver        the driver catalogue announced a driver                   (the reading thread)
//   message          a line went into the log, or the log was cleared         (the logging thread)
//   updateServices   the services or server connections changed              (the thread of the change)
// The three property events run while the delivering thread waits: they must not wait for
// work that enters indigoSyncQueue (such as a change request sent and awaited).

#include "Common/indigo_client.h"

#include <memory>
#include <string>

class INDIGODelegate {
public:
    virtual ~INDIGODelegate() = default;

    virtual void initialize() = 0;
    virtual void defineProperty(const std::shared_ptr<INDIGO::Property>& property) = 0;
    virtual void updateProperty(const std::shared_ptr<INDIGO::Property>& property) = 0;
    virtual void deleteProperty(const std::shared_ptr<INDIGO::Property>& property) = 0;
    virtual void addDriver(const std::shared_ptr<INDIGO::Driver>& driver) = 0;
    virtual void message(const std::string& text) = 0;
    virtual void updateServices() = 0;
};
