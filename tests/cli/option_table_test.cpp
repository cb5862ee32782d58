#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/arguments.h"
#include "support/record_builder.h"

namespace vemo {
namespace {

// The spellings of every option in the table ("--name" and "-x"), and of those that take a value.
std::set<std::string> spellings(bool with_value_only) {
  std::set<std::string> names;
  for (const OptionSpec& o : options()) {
    if (with_value_only && o.value.empty()) continue;
    names.insert("--" + std::string(o.name));
    if (o.letter != 0) names.insert(std::string("-") + o.letter);
  }
  return names;
}

// Every word that looks like an option in `text`: "-x" or "--name", up to a "=" or a blank.
std::set<std::string> options_in(const std::string& text) {
  static const std::regex option_word(R"((?:^|[\s"|(])(--?[A-Za-z0-9][A-Za-z0-9-]*))");
  std::set<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option_word);
       it != std::sregex_iterator(); ++it) {
    found.insert((*it)[1]);
  }
  return found;
}

std::string between(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t start = text.find(from);
  if (start == std::string::npos) return {};
  const std::size_t end = text.find(to, start + from.size());
  return text.substr(start + from.size(),
                     end == std::string::npos ? end : end - start - from.size());
}

// The man page, the bash completion and the README list vemo-convert's options by hand; they must
// show every option of the table and no other. Adding an option means adding it there too.
TEST(OptionTable, ManPageCompletionAndReadmeShowTheTable) {
  const std::string source = VEMO_SOURCE_DIR;

  // The man page: the first line of each entry (after ".TP") of its OPTIONS section.
  std::string headings;
  std::istringstream man(
      between(test::read_file(source + "/dist/man/vemo-convert.1.in"), ".SH OPTIONS", "\n.SH "));
  for (std::string line, previous; std::getline(man, line); previous = line) {
    if (previous == ".TP") headings += std::regex_replace(line, std::regex(R"(\\-)"), "-") + "\n";
  }
  std::set<std::string> man_options = options_in(headings);
  man_options.erase("--");
  EXPECT_EQ(man_options, spellings(false)) << "dist/man/vemo-convert.1.in, OPTIONS";

  // The completion: the words offered for a "-", and the options whose value it completes.
  const std::string completion = test::read_file(source + "/dist/completion/vemo-convert");
  // The word list starts with "-o"; its "-" is where the list is found.
  std::string words(1, '-');
  words += between(completion, "compgen -W \"-", "\"");
  std::set<std::string> offered = options_in(words);
  offered.erase("--");
  EXPECT_EQ(offered, spellings(false)) << "dist/completion/vemo-convert, the options offered";
  std::string value_cases;
  std::istringstream cases(between(completion, "case $prev in", "esac"));
  for (std::string line; std::getline(cases, line);) {
    if (std::regex_match(line, std::regex(R"(\s*-[^)]*\))"))) value_cases += line + "\n";
  }
  EXPECT_EQ(options_in(value_cases), spellings(true))
      << "dist/completion/vemo-convert, the options whose value is completed";

  // The README shows --help as it is.
  EXPECT_NE(test::read_file(source + "/README.md").find(usage()), std::string::npos)
      << "README.md shows another --help than vemo-convert's";
}

}  // namespace
}  // namespace vemo
