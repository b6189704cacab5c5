// How the library waits on other processes when Python called it.
#pragma once

#include "schema/manifest/waiting.hpp"

namespace brintel::py {

// Other Python threads run while the library waits on another process (an
// update's lock, a pipe's writer), and signal handlers run between waits: an
// exception one raises (KeyboardInterrupt) gives the operation up and is the
// one the caller sees.
const schema::Waiting& letting_threads_run();

}  // namespace brintel::py
