#include "app/sort_keys.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include <QString>

namespace crunchwatch {

SortKeys::SortKeys(std::vector<SortValue> values) {
    m_keys.reserve(values.size());
    // Each distinct text is collated once: a column of project names or
    // states holds only a few, however many rows show them.
    std::unordered_map<std::string_view, std::size_t> distinct;
    std::vector<QString> texts;
    std::vector<std::size_t> textOfRow(values.size(), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const SortValue& v = values[i];
        m_keys.push_back({v.kind, v.number});
        if (v.kind != SortValue::Kind::Text) continue;
        const auto [it, added] = distinct.try_emplace(v.text, texts.size());
        if (added) texts.push_back(QString::fromUtf8(v.text.data(), static_cast<qsizetype>(v.text.size())));
        textOfRow[i] = it->second;
    }
    if (texts.empty()) return;

    std::vector<std::size_t> order(texts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return texts[a].localeAwareCompare(texts[b]) < 0; });
    std::vector<double> rank(texts.size(), 0);
    double current = 0;
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (texts[order[i - 1]].localeAwareCompare(texts[order[i]]) != 0) ++current;
        rank[order[i]] = current;
    }
    for (std::size_t i = 0; i < values.size(); ++i)
        if (m_keys[i].kind == SortValue::Kind::Text) m_keys[i].number = rank[textOfRow[i]];
}

}  // namespace crunchwatch
