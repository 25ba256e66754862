#pragma once

namespace nimbus {

// Creates the access layer's process-wide state before anything uses it:
// the client-library registry and its lock, the error-message switches and
// their lock, the parameter-name lookup lists. Each piece is also created on
// first use, so calling this is about order, not correctness; calling it
// twice is harmless. The state lives until the process ends.
void InitAccessLayer();

} // namespace nimbus
