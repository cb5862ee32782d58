#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/scratch_dir.h"

namespace vemo {
namespace {

namespace fs = std::filesystem;

// The name as the file system shows it, decoded from the system's own form (UTF-16 on Windows).
std::string listed_name(const fs::directory_entry& entry) {
  const std::u8string name = entry.path().filename().u8string();
  return std::string(name.begin(), name.end());
}

TEST(Platform, FilesNamedInUtf8AreMadeReadAndRenamedUnderThatName) {
  const test::ScratchDir dir;
  for (const std::string name : {"plain.dat", "Zürich 2026.dat", "Отчёт за март.dat"}) {
    SCOPED_TRACE(name);
    const std::string path = dir / name;
    const Result<int> created = platform::create_new(path);
    ASSERT_TRUE(created.ok()) << created.error().message();
    const int out = *created;
    const Result<std::size_t> written = platform::write_some(out, "0123456789", 10);
    EXPECT_TRUE(written.ok() && *written == 10u);
    EXPECT_TRUE(platform::close(out).ok());
    EXPECT_EQ(platform::create_new(path).error(), std::errc::file_exists);

    std::set<std::string> listed;
    for (const auto& entry : fs::directory_iterator(dir.path())) listed.insert(listed_name(entry));
    EXPECT_EQ(listed.count(name), 1u);

    const Result<int> opened = platform::open_for_reading(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    const int in = *opened;
    char buffer[8] = {};
    // The bytes read, or -1 on failure.
    const auto read4 = [&](std::uint64_t at) -> std::int64_t {
      const Result<std::size_t> r = platform::read_at(in, buffer, 4, at);
      return r.ok() ? static_cast<std::int64_t>(*r) : -1;
    };
    EXPECT_EQ(read4(3), 4);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(read4(8), 2);  // up to the end
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(read4(10), 0);
    EXPECT_EQ(read4(std::uint64_t{1} << 40), 0);
    EXPECT_TRUE(platform::close(in).ok());

    const std::string moved = dir / ("moved " + name);
    EXPECT_TRUE(platform::rename_over(path, moved).ok());
    EXPECT_EQ(platform::status(path).error(), std::errc::no_such_file_or_directory);
    const auto st = platform::status(moved);
    ASSERT_TRUE(st.ok());
    EXPECT_EQ(st->size, 10u);
    platform::remove_file(moved);
  }
}

TEST(Platform, StatusTellsKindSizeAndIdentity) {
  const test::ScratchDir dir;
  const std::string a = dir.file("a.dat", "12345");
  const std::string b = dir.file("b.dat", "12345");
  const struct {
    std::string path;
    std::errc error;
    platform::FileKind kind;
    std::uint64_t size;
  } cases[] = {
      {a, std::errc(), platform::FileKind::kRegular, 5},
      {dir.path(), std::errc(), platform::FileKind::kDirectory, 0},
      {dir / "missing.dat", std::errc::no_such_file_or_directory, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto st = platform::status(c.path);
    if (c.error != std::errc()) {
      EXPECT_EQ(st.error(), c.error);
      continue;
    }
    ASSERT_TRUE(st.ok()) << st.error().message();
    EXPECT_EQ(st->kind, c.kind);
    if (c.kind == platform::FileKind::kRegular) {
      EXPECT_EQ(st->size, c.size);
    }
  }

  // One file by its name and by an open descriptor is the same file; two files with the same
  // bytes are not; an identity the system did not give is never the same as any.
  const Result<int> opened = platform::open_for_reading(a);
  ASSERT_TRUE(opened.ok());
  const int fd = *opened;
  const auto by_name = platform::status(a), by_fd = platform::status(fd),
             other = platform::status(b);
  ASSERT_TRUE(by_name.ok() && by_fd.ok() && other.ok());
  EXPECT_TRUE(platform::close(fd).ok());
  EXPECT_TRUE(platform::same_file(by_name->id, by_fd->id));
  EXPECT_FALSE(platform::same_file(by_name->id, other->id));
  EXPECT_FALSE(platform::same_file(platform::FileId{}, platform::FileId{}));
}

}  // namespace
}  // namespace vemo
