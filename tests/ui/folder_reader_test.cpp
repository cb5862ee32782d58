#include "ui/folder_reader.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "ui_test_support.h"

namespace vemo::ui::test {
namespace {

TEST(FolderReaderTest, NamesAreOrderedWithoutRegardToLetterCase) {
  struct Case {
    QStringList names;
    QStringList ordered;
  };
  const Case cases[] = {
      {{"b.dat", "A.dat", "c.DAT"}, {"A.dat", "b.dat", "c.DAT"}},
      {{"b", "a", "B", "A"}, {"A", "a", "B", "b"}},  // same letters: a fixed order
      {{"file10", "file2", "File1"}, {"File1", "file10", "file2"}},
      {{"_x", "Z", "0"}, {"0", "_x", "Z"}},
      {{}, {}},
  };
  for (Case c : cases) {
    sort_names(c.names);
    EXPECT_EQ(c.names, c.ordered);
  }
}

TEST(FolderReaderTest, ReadsSubfoldersAndFilesWithoutHiddenOnes) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  const QString root = temp.path();
  for (const char* name : {"b.dat", "A.dat", "c.DAT", ".hidden.dat"}) {
    write_file(root + "/" + name, "x");
  }
  for (const char* name : {"zeta", "Eta", ".config"}) make_folder(root + "/" + name);

  FolderContents contents;
  QString reason;
  ASSERT_TRUE(read_folder(root, contents, &reason));
  EXPECT_EQ(contents.files, QStringList({"A.dat", "b.dat", "c.DAT"}));
  EXPECT_EQ(contents.folders, QStringList({"Eta", "zeta"}));
}

TEST(FolderReaderTest, AFolderThatCannotBeListedGivesTheReason) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  write_file(temp.path() + "/plain.txt", "x");
  struct Case {
    QString path;
    QString reason;
  };
  const Case cases[] = {
      {temp.path() + "/missing", "No such file or directory"},
      {temp.path() + "/plain.txt", "Not a directory"},
  };
  for (const Case& c : cases) {
    FolderContents contents;
    contents.files = QStringList({"stale"});
    QString reason;
    EXPECT_FALSE(read_folder(c.path, contents, &reason));
    EXPECT_EQ(reason, c.reason);
    EXPECT_TRUE(contents.files.isEmpty());
    EXPECT_FALSE(can_list_folder(c.path));
  }
}

}  // namespace
}  // namespace vemo::ui::test
