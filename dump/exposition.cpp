#include "dump/exposition.hpp"

#include <array>
#include <charconv>
#include <cmath>

#include "dump/json_writer.hpp"

namespace crunchwatch {
namespace {

constexpr std::size_t flushSize = 1 << 16;

void appendEscaped(std::string& out, std::string_view text, bool quotes) {
    for (const char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '"' && quotes) out += "\\\"";
        else out += c;
    }
}

void appendValue(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
        return;
    }
    if (std::isinf(v)) {
        out += v > 0 ? "+Inf" : "-Inf";
        return;
    }
    std::array<char, 32> buf;
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), static_cast<std::size_t>(end - buf.data()));
}

}  // namespace

std::string labelText(std::initializer_list<std::pair<std::string_view, std::string_view>> labels) {
    std::string out;
    for (const auto& [name, value] : labels) {
        if (!out.empty()) out += ',';
        out += name;
        out += "=\"";
        appendEscaped(out, validUtf8(value), true);
        out += '"';
    }
    return out;
}

std::string sampleValueText(double value) {
    std::string out;
    appendValue(out, value);
    return out;
}

void ExpositionWriter::family(std::string_view name, MetricType type, std::string_view help) {
    m_buffer += "# HELP ";
    m_buffer += name;
    m_buffer += ' ';
    appendEscaped(m_buffer, validUtf8(help), false);
    m_buffer += "\n# TYPE ";
    m_buffer += name;
    m_buffer += type == MetricType::Counter ? " counter\n" : " gauge\n";
    flushWhenFull();
}

void ExpositionWriter::sample(std::string_view name, std::string_view labels, double value,
                              std::string_view moreLabels) {
    m_buffer += name;
    if (!labels.empty() || !moreLabels.empty()) {
        m_buffer += '{';
        m_buffer += labels;
        if (!labels.empty() && !moreLabels.empty()) m_buffer += ',';
        m_buffer += moreLabels;
        m_buffer += '}';
    }
    m_buffer += ' ';
    appendValue(m_buffer, value);
    m_buffer += '\n';
    flushWhenFull();
}

void ExpositionWriter::flushWhenFull() {
    if (m_buffer.size() >= flushSize) flush();
}

void ExpositionWriter::flush() {
    m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
    m_buffer.clear();
}

}  // namespace crunchwatch
