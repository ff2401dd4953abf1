// Whether the X display named by DISPLAY takes a connection. Kept apart from
// the tests, whose headers would clash with Xlib's macros.
#pragma once

namespace testsupport {

// A display server that is still starting, or resetting because its last
// client left, refuses connections for a moment, and FOX gives up at once:
// this tries for up to `timeout_ms`. The connection it makes is kept open (a
// server resets when its last client leaves), until release_display_probe().
bool display_answers(int timeout_ms);
void release_display_probe();

}  // namespace testsupport
