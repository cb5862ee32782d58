#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "run/report_file.h"
#include "support/record_builder.h"
#include "support/scratch_dir.h"

namespace vemo {
namespace {

constexpr std::int64_t kMtime = 1700000000123456789;

InputReport converted(const std::string& path, std::string sha = {}) {
  InputReport r;
  r.input = path;
  r.path = path;
  r.has_status = true;
  r.size = 4096;
  r.mtime_ns = kMtime;
  r.input_sha256 = std::move(sha);
  return r;
}

std::string line_of(InputReport r, InputStatus status = InputStatus::kConverted) {
  r.status = status;
  r.reason = status == InputStatus::kConverted ? "" : "why";
  return report_json::entry(r) + "\n";
}

// What a report already holds decides whether it opens, what it says is converted or failed, and
// where the next entry goes.
TEST(ReportFile, ReadsItsEntriesAndRefusesWhatIsNotOne) {
  const std::string a = line_of(converted("/in/a.dat", "ab12"));
  const std::string b_failed = line_of(converted("/in/b.dat"), InputStatus::kUnreadable);
  const std::string run =
      "{\"run\":\"vemo-convert\",\"exit_status\":0,\"options\":{\"a\":[1,2]}}\n";
  struct Case {
    const char* name;
    std::string text;
    std::string error;  // after the report's path; empty when it opens
    bool a_converted;
    bool b_failed;
    std::string after_append;  // the file after appending "X" (when it opens)
  };
  const Case cases[] = {
      {"missing", "", "", false, false, "X\n"},
      {"entries and a run", a + b_failed + run, "", true, true, a + b_failed + run + "X\n"},
      // A crash cut the last entry: it is left out and the next one starts on a new line.
      {"cut last line", a + "{\"input\":\"/in/b.dat\",\"pa", "", true, false,
       a + "{\"input\":\"/in/b.dat\",\"pa\nX\n"},
      // The same cut line, now followed by later entries, is still no error.
      {"cut line inside", "{\"input\":\"/in/b\n" + a, "", true, false, ""},
      {"garbage line", a + "hello\n" + run, ":2: not a report entry", false, false, ""},
      {"empty line", a + "\n", ":2: not a report entry", false, false, ""},
      {"other JSON", "{\"name\":1}\n", ":1: not a report entry", false, false, ""},
      {"a list", "[1,2]\n", ":1: not a report entry", false, false, ""},
      {"trailing bytes", "{\"run\":1} x\n", ":1: not a report entry", false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScratchDir dir;
    const std::string path = dir / "report.jsonl";
    if (!c.text.empty()) dir.file("report.jsonl", c.text);
    ReportFile report;
    std::string error;
    const bool opened = report.open(path, error);
    if (!c.error.empty()) {
      EXPECT_FALSE(opened);
      EXPECT_EQ(error, path + c.error);
      continue;
    }
    ASSERT_TRUE(opened) << error;
    const std::string* sha = report.converted(ReportFile::key("/in/a.dat", 4096, kMtime));
    EXPECT_EQ(sha != nullptr, c.a_converted);
    if (sha) {
      EXPECT_EQ(*sha, "ab12");
    }
    EXPECT_EQ(report.converted(ReportFile::key("/in/a.dat", 4096, kMtime + 1)), nullptr);
    EXPECT_EQ(report.failed(ReportFile::key("/in/b.dat", 4096, kMtime)), c.b_failed);
    if (c.after_append.empty()) continue;
    ASSERT_TRUE(report.append("X", true, error)) << error;
    EXPECT_EQ(test::read_file(path), c.after_append);
  }
}

TEST(ReportFile, ASecondWriterIsRefusedWhileTheFirstHoldsIt) {
  test::ScratchDir dir;
  const std::string path = dir / "report.jsonl";
  ReportFile first, second;
  std::string error;
  ASSERT_TRUE(first.open(path, error)) << error;
  EXPECT_FALSE(second.open(path, error));
  EXPECT_TRUE(error.starts_with(path + " is in use by ")) << error;
#ifdef __linux__
  EXPECT_EQ(error, path + " is in use by process " + std::to_string(platform::process_id()));
#endif
  EXPECT_FALSE(ReportFile().open(dir / "no/such/folder/report.jsonl", error));
  EXPECT_TRUE(error.starts_with("Cannot create the report ")) << error;
}

TEST(ReportJson, NamesOfAnyBytesAndTimesAreWrittenAsValidJson) {
  EXPECT_EQ(report_json::quote("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
  EXPECT_EQ(report_json::quote("caf\xC3\xA9"), "\"caf\xC3\xA9\"");  // UTF-8 stays
  EXPECT_EQ(report_json::quote("caf\xE9"), "\"caf\\u00e9\"");       // Latin-1 byte
  EXPECT_EQ(report_json::quote("\xC0\xAF\xED\xA0\x80"), "\"\\u00c0\\u00af\\u00ed\\u00a0\\u0080\"");
  EXPECT_EQ(report_json::time_text(0), "1970-01-01T00:00:00.000000000Z");
  EXPECT_EQ(report_json::time_text(kMtime), "2023-11-14T22:13:20.123456789Z");
  EXPECT_EQ(report_json::time_text(951782400000000001), "2000-02-29T00:00:00.000000001Z");
  EXPECT_EQ(report_json::time_text(-1), "1969-12-31T23:59:59.999999999Z");
}

}  // namespace
}  // namespace vemo
