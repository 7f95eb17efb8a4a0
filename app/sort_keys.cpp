#include "app/sort_keys.hpp"

#include <algorithm>
#include <string_view>

#include <QCollator>
#include <QLocale>
#include <QString>

namespace crunchwatch {

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The order of the texts `order` indexes, ascending in the user's collation.
// Under the C locale the collation is the order of the UTF-16 code units,
// which for ASCII texts is their byte order: those are compared as bytes,
// without a conversion of each text.
void sortTexts(std::vector<std::size_t>& order, const std::vector<std::string_view>& texts,
               std::vector<int>& equalToPrevious) {
    const QCollator collator;  // the collation QString::localeAwareCompare uses, taken once
    const bool bytewise = collator.locale().language() == QLocale::C && std::all_of(texts.begin(), texts.end(), isAscii);
    if (bytewise) {
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return texts[a] < texts[b]; });
        for (std::size_t i = 1; i < order.size(); ++i) equalToPrevious[i] = texts[order[i - 1]] == texts[order[i]];
        return;
    }
    std::vector<QString> converted;
    converted.reserve(texts.size());
    for (const std::string_view t : texts) converted.push_back(QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())));
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return collator.compare(converted[a], converted[b]) < 0; });
    for (std::size_t i = 1; i < order.size(); ++i)
        equalToPrevious[i] = collator.compare(converted[order[i - 1]], converted[order[i]]) == 0;
}

std::vector<double> ranksOf(const std::vector<std::string_view>& texts) {
    std::vector<std::size_t> order(texts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::vector<int> equalToPrevious(texts.size(), 0);
    sortTexts(order, texts, equalToPrevious);
    // Texts the collation holds equal share a rank, so their rows keep their order.
    std::vector<double> rank(texts.size(), 0);
    double current = 0;
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (!equalToPrevious[i]) ++current;
        rank[order[i]] = current;
    }
    return rank;
}

}  // namespace

bool TextRanks::holds(const std::vector<std::string_view>& texts) const {
    if (texts.size() != m_ends.size()) return false;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (std::string_view(m_joined).substr(begin, m_ends[i] - begin) != texts[i]) return false;
        begin = m_ends[i];
    }
    return true;
}

void TextRanks::keep(const std::vector<std::string_view>& texts, std::vector<double> ranks) {
    m_joined.clear();
    m_ends.clear();
    m_ends.reserve(texts.size());
    for (const std::string_view t : texts) {
        m_joined += t;
        m_ends.push_back(m_joined.size());
    }
    m_ranks = std::move(ranks);
}

SortKeys::SortKeys(const std::vector<SortValue>& values, TextRanks& lastRanks) {
    m_keys.reserve(values.size());
    // A text is collated once for each run of rows that show it: the rows
    // come grouped by project, so a column of project names holds a few runs
    // however many rows show them.
    std::vector<std::string_view> texts;
    std::vector<std::size_t> textOfRow(values.size(), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const SortValue& v = values[i];
        m_keys.push_back({v.kind, v.number});
        if (v.kind != SortValue::Kind::Text) continue;
        if (texts.empty() || texts.back() != v.text || values[i - 1].kind != SortValue::Kind::Text)
            texts.push_back(v.text);
        textOfRow[i] = texts.size() - 1;
    }
    if (texts.empty()) return;

    if (!lastRanks.holds(texts)) lastRanks.keep(texts, ranksOf(texts));
    const std::vector<double>& rank = lastRanks.ranks();
    for (std::size_t i = 0; i < values.size(); ++i)
        if (m_keys[i].kind == SortValue::Kind::Text) m_keys[i].number = rank[textOfRow[i]];
}

}  // namespace crunchwatch
