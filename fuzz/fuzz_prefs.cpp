// Fuzzes the preferences file: reading it, normalising it, cutting its
// <global_preferences> body, and the two values taken from that body.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_support.hpp"
#include "state/global_prefs.hpp"
#include "state/normalise.hpp"
#include "state/vector_level.hpp"
#include "state/scan.hpp"

using namespace crunchwatch;

namespace {

void requireValueOf(const std::optional<std::string>& value, const std::string& body) {
    if (!value) return;
    fuzz::require(!value->empty(), "a preference value is empty");
    fuzz::require(body.find(*value) != std::string::npos, "a preference value is not in the body");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::MemoryFile file("global_prefs.xml");
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    file.write(contents);

    const auto body = przygotujGlobalPrefs(file.path());
    fuzz::require(body.has_value(), "a readable regular file was refused");

    // The same cut made from a copy in memory: the file reading adds nothing
    // and loses nothing. Normalisation and the tag search are checked at
    // every vector level this processor has, each against the same contract.
    std::string text;
    const VectorLevel best = bestVectorLevel();
    for (const VectorLevel level : supportedVectorLevels()) {
        useVectorLevel(level);
        text = normalised(contents);
        fuzz::requireNormalised(text, size);
        fuzz::require(text == fuzz::referenceNormalised(contents), "normalisation differs from its contract");
        static constexpr std::string_view tags[] = {"<", "</", "<global_preferences>", "</global_preferences>",
                                                    "<disk_interval>", "</cpu_scheduling_period_minutes>"};
        for (std::string_view tag : tags) fuzz::requireFindsLikeTheReference(text, tag, findFrom);
        if (!text.empty()) {
            const std::size_t length = 1 + size % 40;
            fuzz::requireFindsLikeTheReference(text, std::string_view(text).substr(text.size() / 3, length), findFrom);
            fuzz::requireFindsLikeTheReference(
                text, std::string_view(text).substr(text.size() - std::min(length, text.size())), findFrom);
        }
    }
    useVectorLevel(best);
    const auto expected = wytnij(text, "<global_preferences>", "</global_preferences>");
    fuzz::require(body->has_value() == expected.has_value(), "the body is found in one reading only");
    if (!*body) return 0;
    fuzz::require(**body == *expected, "the body differs from the one cut in memory");
    fuzz::require(!(*body)->empty(), "the body is empty");

    const GlobalPrefsValues values = wyciagamyDaneGlobalPrefs(*body);
    requireValueOf(values.cpu_scheduling_period_minutes, **body);
    requireValueOf(values.disk_interval, **body);
    return 0;
}
