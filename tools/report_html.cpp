#include "report_html.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace morvane_cli {
namespace {

// A small JSON reader for the decision trace: values as a tree.
struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    double number = 0;
    bool boolean = false;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;
    const Json* Get(const char* key) const {
        for (const auto& m : members)
            if (m.first == key) return &m.second;
        return nullptr;
    }
};

class Reader {
public:
    explicit Reader(const std::string& s) : s_(s) {}
    bool Parse(Json& out, int depth = 0) {
        if (depth > 64) return false;
        Blank();
        if (at_ >= s_.size()) return false;
        const char c = s_[at_];
        if (c == '{') {
            out.kind = Json::kObject;
            ++at_;
            Blank();
            if (Eat('}')) return true;
            do {
                Json key;
                Blank();
                if (!String(key.text) || (Blank(), !Eat(':'))) return false;
                out.members.emplace_back(key.text, Json());
                if (!Parse(out.members.back().second, depth + 1)) return false;
                Blank();
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            out.kind = Json::kArray;
            ++at_;
            Blank();
            if (Eat(']')) return true;
            do {
                out.items.emplace_back();
                if (!Parse(out.items.back(), depth + 1)) return false;
                Blank();
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') {
            out.kind = Json::kString;
            return String(out.text);
        }
        if (s_.compare(at_, 4, "true") == 0 || s_.compare(at_, 5, "false") == 0) {
            out.kind = Json::kBool;
            out.boolean = s_[at_] == 't';
            at_ += out.boolean ? 4 : 5;
            return true;
        }
        if (s_.compare(at_, 4, "null") == 0) {
            at_ += 4;
            return true;
        }
        char* end = nullptr;
        out.number = std::strtod(s_.c_str() + at_, &end);
        if (end == s_.c_str() + at_) return false;
        out.kind = Json::kNumber;
        at_ = static_cast<size_t>(end - s_.c_str());
        return true;
    }

private:
    void Blank() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t'))
            ++at_;
    }
    bool Eat(char c) {
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    // Strings keep their escapes undecoded except \" and \\ (names are only
    // compared and shown).
    bool String(std::string& out) {
        if (!Eat('"')) return false;
        while (at_ < s_.size() && s_[at_] != '"') {
            if (s_[at_] == '\\' && at_ + 1 < s_.size()) {
                const char e = s_[at_ + 1];
                if (e == '"' || e == '\\' || e == '/') {
                    out.push_back(e);
                    at_ += 2;
                    continue;
                }
                out.push_back(s_[at_++]);
            }
            out.push_back(s_[at_++]);
        }
        return Eat('"');
    }
    const std::string& s_;
    size_t at_ = 0;
};

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string Base64(const std::string& bytes) {
    static const char k[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t a = static_cast<unsigned char>(bytes[i]);
        const uint32_t b = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const uint32_t c = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const uint32_t v = (a << 16) | (b << 8) | c;
        out.push_back(k[(v >> 18) & 63]);
        out.push_back(k[(v >> 12) & 63]);
        out.push_back(i + 1 < bytes.size() ? k[(v >> 6) & 63] : '=');
        out.push_back(i + 2 < bytes.size() ? k[v & 63] : '=');
    }
    return out;
}

bool ReadWhole(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

constexpr char kStyle[] =
    "body{font-family:sans-serif;margin:1em;color:#222}table{border-collapse:collapse;width:100%}"
    "th,td{border-bottom:1px solid #ddd;padding:4px 8px;text-align:left;vertical-align:top}"
    "tr.page{cursor:pointer}tr.page:hover{background:#f3f6ff}tr.failed td.class{color:#b00;font-weight:bold}"
    "tr.low td.margin{color:#b60;font-weight:bold}tr.detail{display:none}tr.detail.open{display:table-row}"
    "img.thumb{width:90px;border:1px solid #ccc}img.full{max-width:100%;border:1px solid #ccc}"
    "pre{font-size:12px;background:#f8f8f8;padding:8px;overflow:auto}";

constexpr char kScript[] =
    "(function(){var body=document.body;"
    "window.addEventListener('error',function(){body.setAttribute('data-errors','1');});"
    "var sel=document.getElementById('cls');"
    "function rows(){return document.querySelectorAll('tr.page');}"
    "sel.addEventListener('change',function(){var v=sel.value;rows().forEach(function(r){"
    "var show=v===''||r.getAttribute('data-class')===v;r.style.display=show?'':'none';"
    "var d=r.nextElementSibling;if(!show&&d)d.classList.remove('open');});"
    "document.getElementById('shown').textContent=document.querySelectorAll('tr.page:not([style*=\"none\"])')"
    ".length;});"
    "rows().forEach(function(r){r.addEventListener('click',function(){var d=r.nextElementSibling;"
    "var img=d.querySelector('img.full');var t=r.querySelector('img.thumb');"
    "if(img&&t&&!img.getAttribute('src'))img.setAttribute('src',t.getAttribute('src'));"
    "d.classList.toggle('open');});});"
    "body.setAttribute('data-ready','1');})();";

}  // namespace

bool ScoreAndMargin(const std::string& traceJson, int& score, int& margin) {
    Json root;
    Reader reader(traceJson);
    if (!reader.Parse(root) || root.kind != Json::kObject) return false;
    const Json* levels = root.Get("levels");
    if (!levels || levels->kind != Json::kArray) return false;
    bool found = false;
    for (const Json& level : levels->items) {
        const Json* choice = level.Get("choice");
        const Json* by = choice ? choice->Get("by") : nullptr;
        const Json* child = choice ? choice->Get("child") : nullptr;
        const Json* children = level.Get("children");
        if (!by || by->text != "score" || !child || !children || children->kind != Json::kArray) continue;
        const size_t chosen = static_cast<size_t>(child->number);
        if (chosen >= children->items.size()) continue;
        const Json* total = children->items[chosen].Get("total");
        if (!total) continue;
        score = static_cast<int>(total->number);
        margin = -1;
        for (size_t i = 0; i < children->items.size(); ++i) {
            if (i == chosen) continue;
            bool compared = false;
            if (const Json* scores = children->items[i].Get("scores"))
                for (const Json& cell : scores->items)
                    if (const Json* c = cell.Get("compared")) compared = compared || c->boolean;
            const Json* other = children->items[i].Get("total");
            if (compared && other) {
                const int m = score - static_cast<int>(other->number);
                if (margin < 0 || m < margin) margin = std::max(m, 0);
            }
        }
        found = true;
    }
    return found;
}

bool WriteFacts(const std::string& path, const ReportFacts& facts) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "%d %d %.6f\n", facts.score, facts.margin, facts.seconds);
    std::fwrite(facts.tree.data(), 1, facts.tree.size(), f);
    return std::fclose(f) == 0;
}

bool ReadFacts(const std::string& path, ReportFacts& facts) {
    std::string text;
    if (!ReadWhole(path, text)) return false;
    const size_t eol = text.find('\n');
    if (eol == std::string::npos) return false;
    if (std::sscanf(text.substr(0, eol).c_str(), "%d %d %lf", &facts.score, &facts.margin, &facts.seconds) !=
        3)
        return false;
    facts.tree = text.substr(eol + 1);
    return true;
}

bool WriteHtmlReport(const std::string& file, std::vector<ReportRow> rows) {
    auto rank = [](const ReportRow& r) {
        if (r.code != 0) return 0;
        if (r.facts.margin >= 0 && r.facts.margin < kLowMargin) return 1;
        return 2;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const ReportRow& a, const ReportRow& b) {
        if (rank(a) != rank(b)) return rank(a) < rank(b);
        return a.page < b.page;
    });
    std::set<std::string> classes;
    int failed = 0, low = 0;
    for (const ReportRow& r : rows) {
        classes.insert(r.code == 0 ? r.id : std::string("(failed)"));
        failed += rank(r) == 0;
        low += rank(r) == 1;
    }
    std::string html;
    html +=
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Classification "
        "report</title>";
    html += std::string("<style>") + kStyle + "</style></head>\n<body>\n";
    html += "<h1>Classification report</h1>\n<p>" + std::to_string(rows.size()) + " pages, " +
            std::to_string(failed) + " failed, " + std::to_string(low) + " with a margin below " +
            std::to_string(kLowMargin) +
            " points (listed first). Click a row for its overlay and decision tree.</p>\n";
    html += "<p><label>Class <select id=\"cls\"><option value=\"\">(all)</option>";
    for (const std::string& c : classes)
        html += "<option value=\"" + Escape(c) + "\">" + Escape(c) + "</option>";
    html += "</select></label> <span id=\"shown\">" + std::to_string(rows.size()) + "</span> shown</p>\n";
    html +=
        "<table><thead><tr><th>Page</th><th>Overlay</th><th>Class</th><th>Score</th><th>Margin</th>"
        "<th>Resolution</th><th>Time</th></tr></thead><tbody>\n";
    char buf[64];
    for (const ReportRow& r : rows) {
        const std::string cls = r.code == 0 ? r.id : std::string("(failed)");
        const int k = rank(r);
        html += "<tr class=\"page" +
                std::string(k == 0   ? " failed"
                            : k == 1 ? " low"
                                     : "") +
                "\" data-class=\"" + Escape(cls) + "\"><td>" + Escape(r.page) + "</td><td>";
        std::string png;
        if (!r.overlayPng.empty() && ReadWhole(r.overlayPng, png) && !png.empty())
            html += "<img class=\"thumb\" alt=\"overlay\" src=\"data:image/png;base64," + Base64(png) + "\">";
        else
            html += "-";
        html += "</td><td class=\"class\">";
        html += r.code == 0
                    ? Escape(r.id) + "<br><small>" + Escape(r.name) + "</small>"
                    : "error " + std::to_string(r.code) + "<br><small>" + Escape(r.message) + "</small>";
        html +=
            "</td><td>" + (r.facts.score >= 0 ? std::to_string(r.facts.score) : std::string("-")) + "</td>";
        html += "<td class=\"margin\">" +
                (r.facts.margin >= 0 ? std::to_string(r.facts.margin) : std::string("-")) + "</td><td>" +
                Escape(r.resolution) + "</td>";
        std::snprintf(buf, sizeof buf, "%.0f ms", r.facts.seconds * 1000);
        html += std::string("<td>") + buf + "</td></tr>\n";
        html += "<tr class=\"detail\"><td colspan=\"7\"><img class=\"full\" alt=\"overlay\"><pre>" +
                Escape(r.facts.tree) + "</pre></td></tr>\n";
    }
    html += std::string("</tbody></table>\n<script>") + kScript + "</script>\n</body></html>\n";
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(html.data(), 1, html.size(), f) == html.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace morvane_cli
