#pragma once
// A small streaming JSON writer for the dump. Strings are written as UTF-8:
// a byte sequence that is not valid UTF-8 becomes U+FFFD, one per maximal
// invalid subpart (the Unicode-recommended replacement), so that any state
// file gives a valid JSON document.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace crunchwatch {

// `text` with every ill-formed UTF-8 subpart replaced by U+FFFD.
std::string validUtf8(std::string_view text);

// The text is built in memory and handed to the stream in large pieces, and
// whenever a value at the top level is complete, so that the stream holds
// every whole document written.
class JsonWriter final {
public:
    explicit JsonWriter(std::ostream& out) : m_out(out) {}
    ~JsonWriter() { flush(); }
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view k);
    void string(std::string_view s);
    void optionalString(const std::optional<std::string_view>& s);
    void null();
    void boolean(bool v);
    void integer(long long v);
    // Shortest text that reads back as the same double; null when not finite.
    void number(double v);
    // A whole number as one ("100000000000", not "1e+11": byte counts and
    // moments read better so, and it is the same JSON number); else number().
    void wholeNumber(double v);

    // Hands what is buffered to the stream.
    void flush();

private:
    void beforeValue();
    // After a value: hands the text over when it is long, or when the value
    // was the document's last.
    void afterValue();
    void writeQuoted(std::string_view s);
    void put(char c) {
        if (m_used == m_buffer.size()) flush();
        m_buffer[m_used++] = c;
    }
    void put(std::string_view s);

    std::ostream& m_out;
    std::string m_buffer = std::string(std::size_t{1} << 16, '\0');
    std::size_t m_used = 0;
    // Per open container: whether a value was written in it yet.
    std::vector<unsigned char> m_hasValue;
    bool m_afterKey = false;
};

}  // namespace crunchwatch
