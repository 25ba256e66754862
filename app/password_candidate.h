#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbus {

// The SYSDBA password candidates, probed in the order 2, 1, 0. Candidate 1 is
// also the passphrase of encrypted scripts. Candidates 1 and 2 are held only
// scrambled. A candidate goes into parameter lines and key derivation only:
// never into a log line, a message or standard output.
//
// 0, 1 and 2 give their candidate; any other index gives empty text.
std::string PasswordCandidate(std::int32_t index);

// The byte at 1-based position n is XORed with 2 × n (modulo 256). The rule is
// its own inverse: it scrambles and unscrambles.
std::string ScrambleCandidate(std::string_view text);

} // namespace nimbus
