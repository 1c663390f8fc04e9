#include "coordination_form.h"

#include "number_format.h"

#include <QRegularExpression>

#include <algorithm>

namespace kim {

namespace {
const char* const kKeys[] = {"Receive", "Transmit", "Pair", "Set"};

bool inside(double mhz, const std::vector<FrequencyRange>& ranges) {
    for (const FrequencyRange& r : ranges)
        if (mhz >= roundDecimals(r.fromMHz, 5) && mhz <= roundDecimals(r.toMHz, 5)) return true;
    return false;
}
} // namespace

QString findWhatKey(FindWhat what) {
    return QLatin1String(kKeys[static_cast<int>(what)]);
}

FindWhat findWhatOf(const QString& key) {
    for (int i = 0; i < 4; ++i)
        if (key.compare(QLatin1String(kKeys[i]), Qt::CaseInsensitive) == 0)
            return static_cast<FindWhat>(i);
    return FindWhat::Receive;
}

std::optional<std::vector<FrequencyRange>> readRanges(const QString& text) {
    static const QRegularExpression range(
        QStringLiteral("^\\s*([0-9]*\\.?[0-9]*)\\s*-\\s*([0-9]*\\.?[0-9]*)\\s*$"));
    std::vector<FrequencyRange> out;
    if (text.trimmed().isEmpty()) return out;
    for (const QString& part : text.split(QRegularExpression(QStringLiteral("[,;]")))) {
        const QRegularExpressionMatch m = range.match(part);
        if (!m.hasMatch()) return std::nullopt;
        const std::string from = m.captured(1).toStdString(), to = m.captured(2).toStdString();
        if (!isPlainNumber(from) || !isPlainNumber(to)) return std::nullopt;
        out.push_back({readLeadingNumber(from), readLeadingNumber(to)});
    }
    return out;
}

QString rangesText(const std::vector<FrequencyRange>& ranges) {
    QStringList parts;
    for (const FrequencyRange& r : ranges)
        parts << QStringLiteral("%1 to %2 MHz")
                     .arg(QString::fromStdString(formatNumber(r.fromMHz, {1, 0, 5, true})),
                          QString::fromStdString(formatNumber(r.toMHz, {1, 0, 5, true})));
    return parts.join(QStringLiteral(", "));
}

ChannelResult withoutExcluded(ChannelResult result, const std::vector<FrequencyRange>& ranges) {
    auto excluded = [&](const TestedChannel& c) {
        return inside(c.mhz, ranges) ||
               (!c.receiveText.empty() && inside(readStudyNumber(c.receiveText), ranges));
    };
    std::erase_if(result.channels, excluded);
    result.clean =
        static_cast<uint64_t>(std::count_if(result.channels.begin(), result.channels.end(),
                                            [](const TestedChannel& c) { return c.clean(); }));
    return result;
}

ChannelResult rowsOfSet(const CoordinationResult& set) {
    ChannelResult rows;
    for (const CoordinatedChannel& c : set.channels) {
        TestedChannel t;
        t.mhz = c.transmitMHz;
        t.text = c.transmitText;
        if (c.receiveText != c.transmitText) t.receiveText = c.receiveText;
        rows.channels.push_back(std::move(t));
    }
    rows.clean = rows.channels.size();
    rows.role = ChannelRole::Pair; // each channel transmits; it receives too
    return rows;
}

CoordinationMarks marksOf(const std::vector<FrequencyRange>& ranges,
                          const CoordinationResult* set) {
    CoordinationMarks m;
    for (const FrequencyRange& r : ranges)
        m.excluded.emplace_back(roundDecimals(r.fromMHz, 5), roundDecimals(r.toMHz, 5));
    if (set)
        for (const CoordinatedChannel& c : set->channels) {
            m.chosen.push_back(c.transmitMHz);
            if (c.receiveMHz != c.transmitMHz) m.chosen.push_back(c.receiveMHz);
        }
    std::sort(m.chosen.begin(), m.chosen.end());
    return m;
}

} // namespace kim
