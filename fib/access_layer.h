#pragma once

namespace nimbus {

// Creates the access layer's process-wide state before anything uses it:
// the client-library registry and its lock, the error-message switches and
// their lock, the DPB and TPB name lookup lists, the attach lock and the list
// of live databases. Each piece is also created on first use, so calling this
// is about order, not correctness; calling it twice is harmless. The state
// lives until the process ends.
void InitAccessLayer();

} // namespace nimbus
