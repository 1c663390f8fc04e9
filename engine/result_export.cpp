#include "result_export.h"

#include "number_format.h"
#include "ordered_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace kim {

void appendJsonString(std::string& out, std::string_view s) {
    out += '"';
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    out += '"';
}

namespace {

void appendCsvField(std::string& out, std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

constexpr NumberPattern kPlainMHz{1, 5, 5, false};
constexpr NumberPattern kPlainKHz{1, 1, 5, false};

// The distinct frequencies as the CSV writes its numbers, for the mixes.
std::vector<std::string> plainFrequencies(const StudyResult& res) {
    std::vector<std::string> out;
    for (size_t f = 0; f < res.frequencyCount(); ++f)
        out.push_back(formatNumber(res.frequencyValue(static_cast<uint16_t>(f)), kPlainMHz));
    return out;
}

void appendCsvRow(std::string& b, const StudyResult& res, size_t i,
                  const std::vector<std::string>& plain) {
    const Match& m = res.match(i);
    const FamilyInfo& f = familyInfo(m.family);
    std::string_view label(f.label);
    appendCsvField(b, label.substr(0, label.size() - 2)); // without ": "
    for (int l = 0; l < 5; ++l) {
        b += ',';
        if (l < f.letters) appendNumber(b, res.transmitValue(m.letter[l]), kPlainMHz);
    }
    b += ',';
    appendNumber(b, res.productValue(m), kPlainMHz);
    b += ',';
    appendNumber(b, res.receiveValue(m.receiver), kPlainMHz);
    b += ',';
    appendNumber(b, res.distanceMHz(m) * 1000, kPlainKHz);
    const ProductMix mix = res.mix(m);
    b += ',';
    b += std::to_string(mix.order());
    b += ',';
    appendCsvField(b, mixText(mix, plain));
    b += '\n';
}

// The JSON of the per-receiver summary: one object a receiver, in list order.
void appendReceiversJson(std::string& out, const StudyResult& res) {
    out += "[";
    for (size_t r = 0; r < res.receivers().size(); ++r) {
        const ReceiverSummary& s = res.receivers()[r];
        if (r > 0) out += ", ";
        out += "{\"frequency\": \"";
        appendNumber(out, res.receiveValue(r), kPlainMHz);
        out += "\", \"products\": " + std::to_string(s.total()) +
               ", \"1st\": " + std::to_string(s.products[0]) +
               ", \"3rd\": " + std::to_string(s.products[1]) +
               ", \"5th\": " + std::to_string(s.products[2]);
        if (res.mixesCounted()) {
            out += ", \"by_order\": [";
            for (int o = 1; o < kMixOrders; ++o)
                out += (o > 1 ? ", " : "") + std::to_string(s.byOrder[static_cast<size_t>(o)]);
            out += "]";
        }
        out += ", \"nearest_khz\": ";
        if (s.nearest) {
            appendNumber(out, s.nearestDistanceMHz * 1000, kPlainKHz);
            out += ", \"nearest\": ";
            appendJsonString(out, res.line(*s.nearest));
        } else {
            out += "null, \"nearest\": null";
        }
        out += "}";
    }
    out += "]";
}

// The JSON of the listed mixes, in list order.
void appendMixesJson(std::string& out, const StudyResult& res) {
    out += "[";
    for (size_t i = 0; i < res.mixes().size(); ++i) {
        const MixHit& h = res.mixes()[i];
        if (i > 0) out += ", ";
        out += "{\"receiver\": \"";
        appendNumber(out, res.receiveValue(h.receiver), kPlainMHz);
        out += "\", \"terms\": [";
        for (size_t t = 0; t < h.mix.size; ++t) {
            if (t > 0) out += ", ";
            out += "[" + std::to_string(h.mix.terms[t].coefficient) + ", \"";
            appendNumber(out, res.frequencyValue(h.mix.terms[t].frequency), pattern::ListText);
            out += "\"]";
        }
        out += "], \"order\": " + std::to_string(h.mix.order()) + ", \"product\": \"";
        appendNumber(out, res.productValue(h.nearest), kPlainMHz);
        out += "\", \"distance_khz\": ";
        appendNumber(out, res.distanceMHz(h.nearest) * 1000, kPlainKHz);
        out += ", \"lines\": " + std::to_string(h.lines) + "}";
    }
    out += "], \"mix_count\": " + std::to_string(res.mixCount()) +
           ", \"mixes_complete\": " + (res.mixesComplete() ? "true" : "false");
}

// One line of the list as the format writes it, with what stands between it and the
// line before.
void appendExportLine(std::string& b, const StudyResult& res, ExportFormat format, size_t i,
                      const std::vector<std::string>& plain) {
    if (format == ExportFormat::Csv) {
        appendCsvRow(b, res, i, plain);
    } else if (format == ExportFormat::Json) {
        if (i > 0) b += ", ";
        // Lines are formatted on several threads at once: each its own text.
        thread_local std::string line;
        line.clear();
        res.appendLine(line, i);
        appendJsonString(b, line);
    } else {
        res.appendLine(b, i);
        b += '\n';
    }
}

} // namespace

bool exportResult(const StudyResult& res, ExportFormat format, unsigned threads,
                  const std::function<bool(std::string_view)>& write, bool mixes) {
    auto lines = [&](auto&& piece) {
        return formatInOrder(res.lineCount(), threads, piece, write);
    };
    const std::vector<std::string> plain = plainFrequencies(res);
    if (format == ExportFormat::Csv) {
        if (!write("family,a_mhz,b_mhz,c_mhz,d_mhz,e_mhz,product_mhz,receiver_mhz,"
                   "distance_khz,order,mix\n") ||
            !lines([&](size_t i, std::string& b) { appendExportLine(b, res, format, i, plain); }))
            return false;
        if (res.complete()) return true;
        return write("# incomplete: the study found " + std::to_string(res.products()) +
                     " interfering products; these rows are the first " +
                     std::to_string(res.lineCount()) + "\n");
    }
    if (format == ExportFormat::Json) {
        if (!res.ran())
            return write("{\"calculations\": null, \"products\": null, \"complete\": true, "
                         "\"lines\": [], \"receivers\": []}\n");
        std::string head = "{\"calculations\": " + std::to_string(res.calculations()) +
                           ", \"products\": " + std::to_string(res.products()) +
                           ", \"complete\": " + (res.complete() ? "true" : "false") +
                           ", \"lines\": [";
        if (res.lineCount() == 0) appendJsonString(head, kNoInterferenceLine);
        std::string tail = "], \"receivers\": ";
        appendReceiversJson(tail, res);
        if (mixes) {
            tail += ", \"mixes\": ";
            appendMixesJson(tail, res);
        }
        tail += "}\n";
        return write(head) && lines([&](size_t i, std::string& b) {
                   appendExportLine(b, res, format, i, plain);
               }) &&
               write(tail);
    }
    if (!res.ran()) return true;
    if (res.lineCount() == 0) return write(std::string(kNoInterferenceLine) + "\n");
    return lines([&](size_t i, std::string& b) { appendExportLine(b, res, format, i, plain); });
}

uint64_t estimateExportBytes(const StudyResult& res, ExportFormat format) {
    const size_t count = res.lineCount();
    if (count == 0) return 1;
    // Lines evenly spread over the list, formatted as the export formats them.
    const size_t samples = std::min<size_t>(count, 4096);
    std::string text;
    const std::vector<std::string> plain = plainFrequencies(res);
    for (size_t k = 0; k < samples; ++k)
        appendExportLine(text, res, format, k * count / samples, plain);
    uint64_t bytes = static_cast<uint64_t>(double(text.size()) / double(samples) * double(count));
    if (format == ExportFormat::Json) {
        std::string receivers;
        appendReceiversJson(receivers, res);
        bytes += receivers.size();
    }
    return std::max<uint64_t>(bytes, 1);
}

namespace {

// Rows of cells as a text table: columns as wide as their widest cell, the first left and
// the others right, the last cell unpadded.
template <size_t N> std::string textTable(const std::vector<std::array<std::string, N>>& rows) {
    std::array<size_t, N - 1> width{};
    for (const auto& row : rows)
        for (size_t c = 0; c < width.size(); ++c)
            width[c] = std::max(width[c], row[c].size());
    std::string text;
    for (const auto& row : rows) {
        for (size_t c = 0; c < width.size(); ++c) {
            const std::string pad(width[c] - row[c].size(), ' ');
            text += c == 0 ? row[c] + pad : pad + row[c];
            text += "  ";
        }
        text += row[N - 1];
        text += '\n';
    }
    return text;
}

} // namespace

bool exportMixes(const StudyResult& res, const std::function<bool(std::string_view)>& write) {
    if (!res.ran()) return true;
    std::vector<std::array<std::string, 6>> rows;
    rows.push_back({"Receiver", "Order", "KHz", "Product", "Lines", "Mix"});
    for (const MixHit& h : res.mixes())
        rows.push_back({formatNumber(res.receiveValue(h.receiver), pattern::Frequency),
                        std::to_string(h.mix.order()),
                        formatNumber(res.distanceMHz(h.nearest) * 1000, pattern::Distance),
                        formatNumber(res.productValue(h.nearest), pattern::Product),
                        std::to_string(h.lines), res.mixText(h.mix)});
    std::string text = textTable(rows);
    if (!res.mixesComplete())
        text += "# incomplete: the study has " + std::to_string(res.mixCount()) +
                " distinct mixes; these rows are the " + std::to_string(res.mixes().size()) +
                " of the lowest orders\n";
    return write(text);
}

bool exportSummary(const StudyResult& res, const std::function<bool(std::string_view)>& write) {
    if (!res.ran()) return true;
    // Cells first, then columns as wide as their widest cell; the line last, unpadded.
    // Products by the order of their mix, as every other view counts them.
    std::vector<std::array<std::string, 10>> rows;
    rows.push_back({"Receiver", "Products", "1st", "2nd", "3rd", "4th", "5th", "Mixes",
                    "Nearest KHz", "Nearest product"});
    for (size_t r = 0; r < res.receivers().size(); ++r) {
        const ReceiverSummary& s = res.receivers()[r];
        auto& row = rows.emplace_back();
        row[0] = formatNumber(res.receiveValue(r), pattern::Frequency);
        row[1] = std::to_string(s.total());
        for (size_t o = 1; o <= 5; ++o)
            row[1 + o] = res.mixesCounted() ? std::to_string(s.byOrder[o]) : "-";
        row[7] = res.mixesCounted() ? std::to_string(s.mixes) : "-";
        row[8] = s.nearest ? formatNumber(s.nearestDistanceMHz * 1000, pattern::Distance) : "-";
        row[9] = s.nearest ? res.line(*s.nearest) : "-";
    }
    return write(textTable(rows));
}

namespace {

// Rows of a channel search, in blocks of about a megabyte.
bool writeChannelRows(const ChannelResult& res,
                      const std::function<void(std::string&, const TestedChannel&, bool)>& row,
                      const std::function<bool(std::string_view)>& write) {
    std::string block;
    for (size_t i = 0; i < res.channels.size(); ++i) {
        row(block, res.channels[i], i == 0);
        if (block.size() >= (size_t{1} << 20)) {
            if (!write(block)) return false;
            block.clear();
        }
    }
    return block.empty() || write(block);
}

} // namespace

bool exportChannels(const ChannelResult& res, ExportFormat format,
                    const std::function<bool(std::string_view)>& write) {
    if (format == ExportFormat::Text)
        return writeChannelRows(
            res,
            [](std::string& b, const TestedChannel& c, bool) {
                if (!c.clean()) return;
                b += c.text;
                b += '\n';
            },
            write);
    // A pair's receiver and the site's products there, beside the channel.
    const bool pairs = res.role == ChannelRole::Pair;
    if (format == ExportFormat::Csv)
        return write(pairs
                         ? "frequency,receive,products,receive_products,nearest_khz,nearest,clean\n"
                         : "frequency,products,nearest_khz,nearest,clean\n") &&
               writeChannelRows(
                   res,
                   [pairs](std::string& b, const TestedChannel& c, bool) {
                       b += c.text;
                       if (pairs) b += ',' + c.receiveText;
                       b += ',';
                       b += std::to_string(c.products);
                       if (pairs) b += ',' + std::to_string(c.receiveProducts);
                       b += ',';
                       if (c.nearestKHz) appendNumber(b, *c.nearestKHz, kPlainKHz);
                       b += ',';
                       appendCsvField(b, c.nearestLine);
                       b += c.clean() ? ",true\n" : ",false\n";
                   },
                   write);
    return write("{\"channels\": [") &&
           writeChannelRows(
               res,
               [pairs](std::string& b, const TestedChannel& c, bool first) {
                   if (!first) b += ", ";
                   b += "{\"frequency\": \"" + c.text + "\", ";
                   if (pairs) b += "\"receive\": \"" + c.receiveText + "\", ";
                   b += "\"products\": " + std::to_string(c.products);
                   if (pairs) b += ", \"receive_products\": " + std::to_string(c.receiveProducts);
                   b += ", \"nearest_khz\": ";
                   if (c.nearestKHz) {
                       appendNumber(b, *c.nearestKHz, kPlainKHz);
                       b += ", \"nearest\": ";
                       appendJsonString(b, c.nearestLine);
                   } else {
                       b += "null, \"nearest\": null";
                   }
                   b += c.clean() ? ", \"clean\": true}" : ", \"clean\": false}";
               },
               write) &&
           write("], \"clean\": " + std::to_string(res.clean) +
                 ", \"tested\": " + std::to_string(res.channels.size()) + "}\n");
}

} // namespace kim
