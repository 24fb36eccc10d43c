// Standard input when it is not a terminal, read in blocks: the line editor takes its bytes one at
// a time from here, and the prompt loop can see the lines that are already waiting.
#ifndef SPELL_CHECKER_FRONTEND_PIPED_INPUT_H_
#define SPELL_CHECKER_FRONTEND_PIPED_INPUT_H_

#include <cstddef>
#include <string_view>

// The next byte, waiting for one if none has come yet; -1 at the end of input, -2 when reading
// failed (errno says why). After either, every call gives the same.
int next_piped_byte();

// Whether a byte can be had without waiting, or in at most `milliseconds`.
bool piped_byte_waiting(int milliseconds);

// The bytes read and not yet taken, after reading, without waiting, what else has come, as far as
// there is room. Good until the next call here.
std::string_view waiting_piped_bytes();

// Whether the end of input has been taken, after every byte before it: the line editor's end-of-
// file key is a byte, and the end only where reading met it.
bool piped_input_has_ended();

#endif  // SPELL_CHECKER_FRONTEND_PIPED_INPUT_H_
