#pragma once
// The Prometheus text exposition format (version 0.0.4), written as it is
// built: each family's "# HELP" and "# TYPE" lines, then its samples.
//
// Label values are made valid UTF-8 first (an ill-formed subpart becomes
// U+FFFD, as in the JSON report) and then escaped as the format requires:
// backslash, double quote and line feed. Values are written locale-
// independently in the shortest text that reads back as the same double,
// with "+Inf", "-Inf" and "NaN" for the values that are not finite.

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace crunchwatch {

enum class MetricType { Gauge, Counter };

// `name="value"` pairs joined by commas, ready to sit between the braces.
std::string labelText(std::initializer_list<std::pair<std::string_view, std::string_view>> labels);

// A sample's value as the format spells it.
std::string sampleValueText(double value);

class ExpositionWriter final {
public:
    explicit ExpositionWriter(std::ostream& out) : m_out(out) {}
    ~ExpositionWriter() { flush(); }
    ExpositionWriter(const ExpositionWriter&) = delete;
    ExpositionWriter& operator=(const ExpositionWriter&) = delete;

    // Starts a family: its help text (backslash and line feed escaped) and type.
    void family(std::string_view name, MetricType type, std::string_view help);
    // One sample of the family begun last; `labels` comes from labelText (or
    // is empty), `moreLabels` is appended to it when not empty.
    void sample(std::string_view name, std::string_view labels, double value, std::string_view moreLabels = {});
    // Hands what is buffered to the stream.
    void flush();

private:
    // The text is built in memory and handed over in large pieces: a report
    // of every task holds a hundred thousand samples.
    void flushWhenFull();

    std::ostream& m_out;
    std::string m_buffer;
};

}  // namespace crunchwatch
