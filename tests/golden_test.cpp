// End-to-end cases through the export itself. Each folder under golden/
// holds one case:
//   design.ONL         the intermediate file the host wrote
//   expected.asc       the exact bytes of the netlist (CR LF line ends)
//   expected.messages  the message lines the host receives, one per line;
//                      a backslash escapes inside a line: \n is a line feed
//                      (the summary line ends with one), \r a carriage
//                      return, \\ a backslash. An empty line is an empty
//                      message; the file ends with a line feed.
//   expected.result    the export's result
// The examples/ designs double as cases, so their text must stay the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const fs::path GoldenFolder = fs::path(ZEDID_TEST_DATA) / "golden";
const fs::path ExamplesFolder = ZEDID_EXAMPLES;

Lines GoldenCases() {
    Lines cases;
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(GoldenFolder, ignored))
        if (entry.is_directory()) cases.push_back(entry.path().filename().string());
    std::sort(cases.begin(), cases.end());
    return cases;
}

std::string Decode(const std::string& line) {
    std::string text;
    for (std::size_t i = 0; i < line.size(); i++) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            text += line[i];
            continue;
        }
        char next = line[++i];
        text += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return text;
}

Lines ExpectedMessages(const fs::path& file) {
    Lines messages;
    std::string bytes = ReadBytes(file.string());
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        messages.push_back(Decode(bytes.substr(start, end - start)));
        start = end + 1;
    }
    return messages;
}

// A line as a reader can see it: control and high bytes escaped.
std::string Visible(const std::string& line) {
    std::string shown;
    for (unsigned char c : line) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c < 32 || c > 126) {
            const char* digits = "0123456789ABCDEF";
            shown += "\\x";
            shown += digits[c >> 4];
            shown += digits[c & 15];
        } else
            shown += static_cast<char>(c);
    }
    return shown;
}

Lines SplitAfterLineFeeds(const std::string& bytes) {
    Lines lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        end = end == std::string::npos ? bytes.size() : end + 1;
        lines.push_back(bytes.substr(start, end - start));
        start = end;
    }
    return lines;
}

// A line diff ("  " same, "- " expected only, "+ " actual only), empty when
// the two agree.
std::string Diff(const Lines& expected, const Lines& actual) {
    if (expected == actual) return "";
    std::size_t n = expected.size(), m = actual.size();
    std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j] = expected[i] == actual[j] ? common[i + 1][j + 1] + 1
                                                     : std::max(common[i + 1][j], common[i][j + 1]);
    std::ostringstream out;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && expected[i] == actual[j]) {
            out << "  " << Visible(expected[i++]) << "\n";
            j++;
        } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
            out << "- " << Visible(expected[i++]) << "\n";
        } else {
            out << "+ " << Visible(actual[j++]) << "\n";
        }
    }
    return out.str();
}

struct Outcome {
    int result;
    std::string netlist;
    Lines messages;
};

// Formats DESIGN (a file) in the current directory as the host does.
Outcome Format(const fs::path& design) {
    fs::copy_file(design, "design.ONL", fs::copy_options::overwrite_existing);
    TakeMessages();
    Outcome outcome;
    outcome.result = CallExport("design", "design.asc");
    outcome.netlist = ReadBytes("design.asc");
    outcome.messages = TakeMessages();
    return outcome;
}

void ExpectCase(const std::string& name, const Outcome& outcome) {
    const fs::path folder = GoldenFolder / name;
    std::string expected = ReadBytes((folder / "expected.asc").string());
    EXPECT_EQ(outcome.result, std::stoi(ReadBytes((folder / "expected.result").string()))) << name;
    std::string netlist = Diff(SplitAfterLineFeeds(expected), SplitAfterLineFeeds(outcome.netlist));
    if (!netlist.empty()) ADD_FAILURE() << name << ": netlist differs (- expected, + written)\n" << netlist;
    std::string messages = Diff(ExpectedMessages(folder / "expected.messages"), outcome.messages);
    if (!messages.empty()) ADD_FAILURE() << name << ": messages differ (- expected, + sent)\n" << messages;
    EXPECT_FALSE(FileExists("ZEDID.TMP")) << name;
}

class Golden : public LibraryTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(Golden, NetlistAndMessagesMatchByteForByte) {
    ExpectCase(GetParam(), Format(GoldenFolder / GetParam() / "design.ONL"));
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& row) { return row.param; }

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(GoldenCases()), CaseName);

class GoldenRuns : public LibraryTest {};

// ctest runs every case above in a process of its own; here they share one.
TEST_F(GoldenRuns, TwoRunsInOneProcessMatchFreshProcesses) {
    ExpectCase("worked_example", Format(GoldenFolder / "worked_example" / "design.ONL"));
    ExpectCase("clean", Format(GoldenFolder / "clean" / "design.ONL"));
    ExpectCase("worked_example", Format(GoldenFolder / "worked_example" / "design.ONL"));
}

TEST_F(GoldenRuns, ExamplesAreGoldenCases) {
    for (const char* name : {"worked", "board"}) {
        std::string example = ReadBytes((ExamplesFolder / (std::string(name) + ".ONL")).string());
        ASSERT_FALSE(example.empty()) << name;
        std::string folder = std::string(name) == "worked" ? "worked_example" : name;
        EXPECT_EQ(example, ReadBytes((GoldenFolder / folder / "design.ONL").string())) << name;
    }
}

}  // namespace
