// The parts of start-up that belong to the local server, the service browsing and the driver
// catalogue. They do nothing yet: the server and Bonjour layer and the catalogue reader take
// these three places.

#include "Common/indigo_client.h"

// Queues the local server on a global queue, where it runs for as long as the server does.
void INDIGO::startServer() {}

// Reads the bundled driver catalogue, announcing each driver (addDriver) and loading those
// the settings ask for; runs on the starting thread.
void INDIGO::readDriverCatalogue() {}

// Browses for INDIGO and INDI services in "local." and connects those it resolves.
void INDIGO::startBrowsing() {}
