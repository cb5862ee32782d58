#include "ui/viewer_launcher.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "qt_printers.h"

namespace vemo::ui::test {
namespace {

#ifndef _WIN32
TEST(DesktopViewerLauncherTest, ThePathIsOneArgumentNeverAShellCommand) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  const QString path = temp.path() + "/a b;touch c.txt";
  bool failed = false;

  ASSERT_TRUE(DesktopViewerLauncher(QStringLiteral("touch")).open(path, [&] { failed = true; }));

  EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(path); }, 5000));
  EXPECT_FALSE(QFile::exists(temp.path() + "/c.txt"));
  QTest::qWait(100);
  EXPECT_FALSE(failed);
}

TEST(DesktopViewerLauncherTest, AProgramThatEndsWithAnErrorIsReportedLater) {
  bool failed = false;
  ASSERT_TRUE(
      DesktopViewerLauncher(QStringLiteral("false")).open("/tmp/x", [&] { failed = true; }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return failed; }, 5000));
}

TEST(DesktopViewerLauncherTest, AMissingProgramDoesNotStart) {
  bool failed = false;
  EXPECT_FALSE(DesktopViewerLauncher(QStringLiteral("/nonexistent/viewer")).open("/tmp/x", [&] {
    failed = true;
  }));
  EXPECT_FALSE(failed);
}
#endif

}  // namespace
}  // namespace vemo::ui::test
