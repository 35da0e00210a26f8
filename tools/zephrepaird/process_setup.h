// What the server asks of the system for a long run in the background.
#pragma once

namespace ZephRepairServer {

// The first stop request (SIGTERM, SIGINT or SIGHUP; on Windows a console control event)
// ends the server at once. It keeps no state worth finishing: clients see their connection
// close and repair again later. Call before any other thread starts.
void StopOnRequest();

// Each waiting client holds a descriptor: takes all the system lets this process have.
void RaiseDescriptorLimit();

}  // namespace ZephRepairServer
