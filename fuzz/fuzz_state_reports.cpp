// Fuzzes the dump's three reports of one refresh on arbitrary bytes, with a
// fuzzed current moment, date format and width: the JSON report must be one
// JSON document, the metrics one exposition that a scrape takes whole, and
// all three well-formed UTF-8. Writing and checking them costs more than the
// rest of the refresh, so they have this target of their own beside
// fuzz_state, which checks the refresh itself on many more inputs.
//
// The input's layout is refresh_input.hpp's, the same as fuzz_state's.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "exposition_checker.hpp"
#include "fuzz_support.hpp"
#include "json_checker.hpp"
#include "refresh_input.hpp"
#include "text_references.hpp"

using namespace crunchwatch;
using fuzz::require;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::useFuzzingTimeZone();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::RefreshInput p = fuzz::splitRefreshInput(data, size);
    const fuzz::ReportTexts reports = fuzz::reportsOf(*fuzz::refresh(p), p);

    require(fuzz::isWellFormedUtf8(reports.json), "the JSON report is not valid UTF-8");
    require(fuzz::JsonChecker(reports.json).document(), "the JSON report is not one JSON document");
    require(fuzz::isWellFormedUtf8(reports.text), "the text report is not valid UTF-8");
    require(fuzz::isWellFormedUtf8(reports.metrics), "the metrics report is not valid UTF-8");
    std::string_view why;
    require(fuzz::ExpositionChecker().document(reports.metrics, why), why.data());
    return 0;
}
