// Loading a state file while keeping the reader's reason for a failure: what
// the window and crunchwatch-dump explain to the user.

#include "state/projects.hpp"

namespace crunchwatch {

std::optional<ClientState> loadClientState(const std::string& path, ReadFailure& why) {
    auto contents = readWholeFile(path, why);
    if (!contents) return std::nullopt;
    ClientState state{prepareText(std::move(*contents)), {}};
    state.projectInfo = wyciagamyDane(state.file.sekcje);
    return state;
}

}  // namespace crunchwatch
