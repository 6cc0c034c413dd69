// Statements that run out of memory fail instead of ending the program.
#pragma once

#include <new>
#include <string>
#include <string_view>

#include "jet/status.h"
#include "text_match.h"

namespace jet::sql {

/// Runs `work` (which returns a Status or a Result), turning a failed allocation anywhere in it into an
/// InvalidArgument error naming `what`: a statement too big for the memory at hand fails and the program
/// goes on. Whatever `work` built is released as the failure unwinds.
template <typename Work>
auto withinMemory(std::string_view what, Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return Status::InvalidArgument("System resource exceeded: not enough memory to run " +
                                       messageExcerpt(what));
    }
}

}  // namespace jet::sql
