#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "qt_printers.h"

namespace vemo::ui::test {
namespace {

// Runs `act` on the modal box once it is up; closes it after 10 s should `act` fail to.
void when_box_opens(std::function<void(QMessageBox*)> act) {
  QTimer::singleShot(0, [act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      ADD_FAILURE() << "no message box is open";
      return;
    }
    act(box);
  });
  QTimer::singleShot(10000, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->done(0);
  });
}

TEST(MessageBoxDialogsTest, AQuestionIsClosedOnlyByYesOrNo) {
  struct Case {
    const char* name;
    std::function<void(QMessageBox*)> answer;
    bool yes;
    QMessageBox::StandardButton default_button = QMessageBox::Yes;
  };
  const auto enter = [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); };
  const Case cases[] = {
      {"Enter takes the default", enter, true},
      {"Enter takes the default No", enter, false, QMessageBox::No},
      {"No button", [](QMessageBox* box) { box->button(QMessageBox::No)->click(); }, false},
      {"Yes button", [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    when_box_opens([&c](QMessageBox* box) {
      EXPECT_EQ(box->windowTitle(), "Vemo");
      EXPECT_EQ(box->text(), "Go on?");
      EXPECT_EQ(box->icon(), QMessageBox::Question);
      EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
      EXPECT_EQ(box->defaultButton(), box->button(c.default_button));
      EXPECT_FALSE(box->windowFlags() & Qt::WindowCloseButtonHint);
      // Neither Escape nor a close request answers it.
      QTest::keyClick(box, Qt::Key_Escape);
      EXPECT_FALSE(box->close());
      EXPECT_TRUE(box->isVisible());
      c.answer(box);
    });
    MessageBoxDialogs dialogs;
    EXPECT_EQ(dialogs.ask_yes_no(nullptr, QStringLiteral("Go on?"), c.default_button), c.yes);
  }
}

TEST(MessageBoxDialogsTest, AMessageHasItsIconAndOneOkButton) {
  for (auto icon : {QMessageBox::Critical, QMessageBox::Information}) {
    bool seen = false;
    when_box_opens([&](QMessageBox* box) {
      seen = true;
      EXPECT_EQ(box->windowTitle(), "Vemo");
      EXPECT_EQ(box->text(), "Done");
      EXPECT_EQ(box->icon(), icon);
      EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
      box->button(QMessageBox::Ok)->click();
    });
    MessageBoxDialogs().show_message(nullptr, icon, QStringLiteral("Done"));
    EXPECT_TRUE(seen);
  }
}

}  // namespace
}  // namespace vemo::ui::test
