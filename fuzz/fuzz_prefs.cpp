// Fuzzes the preferences file: reading it, normalising it, cutting its
// <global_preferences> body, and the two values taken from that body, all at
// the vector level the input's last byte picks; the rest is the file. The same
// text then serves as a local override over it, and as the GPU and transfer
// files the client writes beside its state file.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.hpp"
#include "state/effective_prefs.hpp"
#include "state/global_prefs.hpp"
#include "state/host_info.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"
#include "text_references.hpp"

using namespace crunchwatch;

namespace {

void requireValueOf(const std::optional<std::string>& value, const std::string& body) {
    if (!value) return;
    fuzz::require(!value->empty(), "a preference value is empty");
    fuzz::require(body.find(*value) != std::string::npos, "a preference value is not in the body");
}

// Normalisation and the tag search against their contracts.
void requireTextHandling(std::string_view contents, const std::string& text) {
    fuzz::requireNormalised(text, contents.size());
    fuzz::require(text == fuzz::referenceNormalised(contents), "normalisation differs from its contract");
    static constexpr std::string_view tags[] = {"<", "</", "<global_preferences>", "</global_preferences>",
                                                "<disk_interval>", "</cpu_scheduling_period_minutes>"};
    for (std::string_view tag : tags) fuzz::requireFindsLikeTheReference(text, tag, findFrom);
    if (text.empty()) return;
    const std::size_t length = 1 + contents.size() % 40;
    const std::string_view view(text);
    fuzz::requireFindsLikeTheReference(view, view.substr(view.size() / 3, length), findFrom);
    fuzz::requireFindsLikeTheReference(view, view.substr(view.size() - std::min(length, view.size())), findFrom);
}

// Every value in force lies in one of the two bodies (or is a default, or a
// flag's "1"); the allowance is never below 0; the GPU and transfer files'
// values are found in the text.
void requireFilesBeside(const std::string& text, const std::optional<std::string>& body) {
    const std::optional<std::string> whole(text);
    const EffectivePrefs prefs = effectivePrefs(whole, body);
    for (const EffectivePref& p : prefs.values) {
        const bool found = p.value == "1" || (p.source == PrefSource::client_default) || text.find(p.value) != std::string::npos;
        fuzz::require(found, "a preference in force is in neither file");
    }
    const DiskAllowance a = diskAllowance(prefs, 1e12, 1e11, 1e9);
    fuzz::require(a.bytes && *a.bytes >= 0, "the allowance is below 0 or no number");
    const CoprocInfo info = readCoprocInfoText(text);
    fuzz::require(info.gpus.size() <= mostGpus && info.warnings.size() <= mostGpus, "too many GPUs kept");
    for (const Gpu& g : info.gpus)
        if (g.name) fuzz::require(text.find(*g.name) != std::string::npos, "a GPU's name is not in the file");
    for (const DailyXfer& d : readDailyXfersText(text))
        fuzz::require(text.find(d.when) != std::string::npos && text.find(d.down) != std::string::npos,
                      "a day's transfer is not in the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("global_prefs.xml");
    FuzzedDataProvider in(data, size);
    fuzz::useLevelChosenBy(in.ConsumeIntegral<std::uint8_t>());
    const std::string contents = in.ConsumeRemainingBytesAsString();
    file.write(contents);

    const auto body = przygotujGlobalPrefs(file.path());
    fuzz::require(body.has_value(), "a readable regular file was refused");
    requireFilesBeside(normalised(contents), *body);

    // The same cut made from a copy in memory: the file reading adds nothing
    // and loses nothing.
    const std::string text = normalised(contents);
    requireTextHandling(contents, text);
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
