#pragma once

namespace quillmap {

// A request to stop long work (Ctrl-C, SIGTERM): work that runs item by item finishes the
// current item, leaves no temporary file, reports what it did and stops.
namespace stop_request {

// Makes SIGINT and SIGTERM set the request instead of killing the process mid-write (handlers
// installed with SA_RESTART); a second signal ends the process at once (exit status 128 + the
// signal's number). The command line calls this once at start.
void catch_signals();
bool requested();

} // namespace stop_request

} // namespace quillmap
