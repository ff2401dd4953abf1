// Whether the X display named by DISPLAY takes a connection. Kept apart from
// the tests, whose headers would clash with Xlib's macros.
#pragma once

namespace testsupport {

// A display server that is busy, or still starting, may refuse a connection
// for a moment, and FOX gives up at once: this tries for up to `timeout_ms`.
bool display_answers(int timeout_ms);

}  // namespace testsupport
