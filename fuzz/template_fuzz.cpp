// Parses and expands combine templates from arbitrary bytes and compares the
// result with a plain model of the same rules, texts longer than a token
// included (each segment and each expansion is cut to 255 characters), and
// every control byte of the input replaced but the tabs and line feeds of
// the "\t" and "\n" escapes. The input is cut at zero bytes into: a first
// template text, a second text that replaces it, then property names and
// values, alternating.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_target.h"
#include "reader/design.h"
#include "reader/templates.h"
#include "reader/tokens.h"

namespace {

struct ModelSegment {
    bool reference;      // a property reference, else a literal
    std::string text;    // literal text or property name
    std::string replaced;  // a literal's: '1' under each control byte of the file replaced, else '0'
};
using ModelTemplate = std::vector<ModelSegment>;

// A segment's text holds what a token can: longer runs are cut.
constexpr std::size_t SegmentLimit = TokenLimit;

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

void Collect(std::string& literal, std::string& replaced, char c, bool replacing = false) {
    if (literal.size() >= SegmentLimit) return;
    literal += c;
    replaced += replacing ? '1' : '0';
}

// A character of the file's own text: a control byte becomes '?'.
void CollectFromFile(std::string& literal, std::string& replaced, char c) {
    if (IsControl(c))
        Collect(literal, replaced, '?', true);
    else
        Collect(literal, replaced, c);
}

// The segments a parse of TEXT appends; false when the text is malformed.
bool ModelParse(const std::string& text, ModelTemplate& appended) {
    std::string literal;
    std::string replaced;
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i++];
        if (c == '{') {
            if (!literal.empty()) appended.push_back({false, literal, replaced});
            literal.clear();
            replaced.clear();
            std::size_t close = text.find('}', i);
            if (close == std::string::npos) return false;
            appended.push_back({true, text.substr(i, std::min(close - i, SegmentLimit)), ""});
            i = close + 1;
        } else if (c == '\\') {
            if (i == text.size()) return false;
            char escaped = text[i++];
            if (escaped == 't') {
                Collect(literal, replaced, '\t');
            } else if (escaped == 'n') {
                Collect(literal, replaced, '\n');
            } else {
                Collect(literal, replaced, '\\');
                CollectFromFile(literal, replaced, escaped);
            }
        } else {
            CollectFromFile(literal, replaced, c);
        }
    }
    if (!literal.empty()) appended.push_back({false, literal, replaced});
    return true;
}

// A parse replaces the template as soon as it appends its first segment.
bool ModelReplace(const std::string& text, ModelTemplate& tmpl) {
    ModelTemplate appended;
    bool whole = ModelParse(text, appended);
    if (!appended.empty()) tmpl = appended;
    return whole;
}

// The expansion, and in REPLACED how many control bytes of the design it
// replaced: in property values and literals as far as they were appended.
std::string ModelExpand(const ModelTemplate& tmpl, const std::vector<std::string>& properties,
                        std::size_t& replaced) {
    std::string expansion;
    replaced = 0;
    for (const ModelSegment& segment : tmpl) {
        std::size_t room = ExpansionLimit - std::min<std::size_t>(expansion.size(), ExpansionLimit);
        if (!segment.reference) {
            std::string kept = segment.replaced.substr(0, room);
            replaced += static_cast<std::size_t>(std::count(kept.begin(), kept.end(), '1'));
            expansion += segment.text.substr(0, room);
            continue;
        }
        for (std::size_t i = 0; i + 1 < properties.size(); i += 2) {
            if (properties[i] == segment.text) {
                for (char c : properties[i + 1].substr(0, room)) {
                    if (IsControl(c)) {
                        expansion += '?';
                        replaced++;
                    } else {
                        expansion += c;
                    }
                }
                break;
            }
        }
    }
    return expansion;
}

void Check(bool condition, const char* what, const std::string& expected, const std::string& got) {
    if (condition) return;
    std::fprintf(stderr, "template fuzz: %s\nexpected [%s]\ngot      [%s]\n", what, expected.c_str(), got.c_str());
    std::abort();
}

void CompareExpansion(const ModelTemplate& model, const std::vector<std::string>& texts, const Property* list) {
    std::size_t replaced = 0;
    std::string expected = ModelExpand(model, texts, replaced);
    std::string got = ExpandTemplate(&PartValueCombine, list);
    Check(got == expected, "expansion differs", expected, got);
    Check(static_cast<std::size_t>(ExpansionReplacedControls()) == replaced, "replaced count differs",
          std::to_string(replaced), std::to_string(ExpansionReplacedControls()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; i++) {
        if (data[i] == 0)
            pieces.emplace_back();
        else
            pieces.back() += static_cast<char>(data[i]);
    }
    std::string first = pieces[0];
    std::string second = pieces.size() > 1 ? pieces[1] : std::string();

    std::vector<std::string> texts(pieces.begin() + (pieces.size() > 2 ? 2 : pieces.size()), pieces.end());
    std::vector<Property> list(texts.size() / 2);
    for (std::size_t i = 0; i < list.size(); i++) {
        list[i].next = i + 1 < list.size() ? &list[i + 1] : nullptr;
        list[i].name = texts[2 * i].c_str();
        list[i].value = texts[2 * i + 1].c_str();
    }
    const Property* properties = list.empty() ? nullptr : list.data();

    ModelTemplate model;
    Check(ParseCombineTemplate(first.c_str(), &PartValueCombine) == (ModelReplace(first, model) ? 1 : 0),
          "first parse result differs", first, "");
    CompareExpansion(model, texts, properties);
    Check(ParseCombineTemplate(second.c_str(), &PartValueCombine) == (ModelReplace(second, model) ? 1 : 0),
          "second parse result differs", second, "");
    CompareExpansion(model, texts, properties);
    ReleaseTemplates();
    Check(ExpandTemplate(&PartValueCombine, properties)[0] == '\0', "released template expands to text", "", "");
    return 0;
}
