#include "ui/form1.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ui/file_names.h"
#include "ui/status_bar.h"
#include "ui_test_support.h"
#include "version.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace vemo::ui::test {
namespace {

const QString kNoSelection = QStringLiteral("Please Select input Files in the List Box");
const QString kNotDataFile = QStringLiteral(
    "The Input File Selected is not AXE Data File. Do you want to continue with other Files?");
const QString kDriveNotReady = QStringLiteral("Drive Not Ready");

// A drag or drop event whose source proposes to move what it carries.
template <class Event>
class MoveProposed final : public Event {
 public:
  template <class... Args>
  explicit MoveProposed(Args&&... args) : Event(std::forward<Args>(args)...) {
    this->m_defaultAction = Qt::MoveAction;
  }
};

QStringList texts_of(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts.append(list->item(i)->text());
  return texts;
}

QStringList texts_of(const QComboBox* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts.append(list->itemText(i));
  return texts;
}

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Three volumes: A (label DATA) holds the working folder, B is a second ready one, C is not
// ready. The working folder holds three files that differ in letter case, a hidden file, three
// subfolders and a hidden one.
class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    base_ = QDir::cleanPath(temp_.path());
    vol_a_ = base_ + "/volA/";
    vol_b_ = base_ + "/volB/";
    vol_c_ = base_ + "/volC/";
    work_ = vol_a_ + "work";
    for (const char* name : {"b.dat", "A.dat", "c.DAT", ".hidden"})
      write_file(work_ + "/" + name, "x");
    for (const char* name : {"beta", "Alpha", "gamma", ".secret"}) make_folder(work_ + "/" + name);
    write_file(work_ + "/beta/inside.dat", "x");
    write_file(vol_a_ + "top.dat", "x");
    write_file(vol_b_ + "x.dat", "x");
    write_file(vol_b_ + "inner/deep.dat", "x");
    make_folder(vol_c_);
    volumes_->list = {{vol_a_, "DATA"}, {vol_b_, ""}, {vol_c_, "CARD"}};
    volumes_->failing = {vol_c_};
    output_ = base_ + "/out.csv";
  }

  void TearDown() override {
    if (window_) window_->close();
  }

  Form1& open_window(const QString& working_folder = {}) {
    Form1Services services;
    services.volumes = volumes_;
    services.dialogs = dialogs_;
    services.viewer = viewer_;
    services.working_folder = working_folder.isEmpty() ? work_ : working_folder;
    if (clock_) services.clock = [this] { return clock_->read(); };
    window_ = std::make_unique<Form1>(services);
    window_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    return *window_;
  }

  template <class T>
  T* control(const char* name) {
    auto* widget = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QComboBox* drive1() { return control<QComboBox>("Drive1"); }
  QListWidget* dir1() { return control<QListWidget>("Dir1"); }
  QListWidget* file1() { return control<QListWidget>("File1"); }
  QLineEdit* text1() { return control<QLineEdit>("Text1"); }
  QPushButton* extract_button() { return control<QPushButton>("Command2"); }
  QPushButton* sample_button() { return control<QPushButton>("cmd_sample"); }
  StatusBar* status_bar() { return control<StatusBar>("StatusBar1"); }
  QProgressBar* progress_bar() { return control<QProgressBar>("ProgressBar1"); }

  QStringList dir_paths() {
    QStringList paths;
    for (int i = 0; i < dir1()->count(); ++i) {
      paths.append(dir1()->item(i)->data(Qt::UserRole).toString());
    }
    return paths;
  }
  QStringList selected_names() {
    QStringList names;
    for (int i = 0; i < file1()->count(); ++i) {
      if (file1()->item(i)->isSelected()) names.append(file1()->item(i)->text());
    }
    return names;
  }
  QString folder() { return QString::fromStdString(window_->current_folder()); }

  void double_click_dir(const QString& path) {
    QListWidget* list = dir1();
    for (int i = 0; i < list->count(); ++i) {
      QListWidgetItem* item = list->item(i);
      if (item->data(Qt::UserRole).toString() != path) continue;
      list->scrollToItem(item);
      // What a mouse gives: press, release, then the second press as a double-click, release.
      const QPoint centre = list->visualItemRect(item).center();
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
      QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, centre);
      return;
    }
    ADD_FAILURE() << "Dir1 has no entry " << path.toStdString();
  }
  void click_file(int row, Qt::KeyboardModifiers modifiers = {}) {
    QListWidget* list = file1();
    QListWidgetItem* item = list->item(row);
    ASSERT_NE(item, nullptr);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(item).center());
  }
  void type_output_path(const QString& path) {
    text1()->selectAll();
    QTest::keyClicks(text1(), path);
  }

  QTemporaryDir temp_;
  QString base_, vol_a_, vol_b_, vol_c_, work_, output_;
  std::shared_ptr<FakeVolumes> volumes_ = std::make_shared<FakeVolumes>();
  std::shared_ptr<FakeDialogs> dialogs_ = std::make_shared<FakeDialogs>();
  std::shared_ptr<FakeViewer> viewer_ = std::make_shared<FakeViewer>();
  std::unique_ptr<SteppingClock> clock_;
  std::unique_ptr<Form1> window_;
};

TEST_F(Form1Test, StartsOnTheWorkingFolderWithEverythingEmpty) {
  Form1& window = open_window();

  // "Vemo", a blank, the major version, ".", the minor version, in plain decimal.
  EXPECT_EQ(window.windowTitle().toStdString(),
            "Vemo " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor));
  EXPECT_EQ(text1()->text(), QDir::toNativeSeparators(QDir::homePath() + "/vemo.txt"));
  EXPECT_EQ(status_bar()->text(1), "");
  EXPECT_EQ(status_bar()->text(2), "");
  EXPECT_EQ(progress_bar()->value(), 0);
  EXPECT_EQ(progress_bar()->minimum(), 0);
  EXPECT_EQ(progress_bar()->maximum(), 100);
  EXPECT_EQ(extract_button()->text(), "Extract");
  EXPECT_EQ(sample_button()->text(), "Show Sample");

  EXPECT_EQ(texts_of(drive1()),
            QStringList({QDir::toNativeSeparators(base_ + "/volA") + "  [DATA]",
                         QDir::toNativeSeparators(base_ + "/volB"),
                         QDir::toNativeSeparators(base_ + "/volC") + "  [CARD]"}));
  EXPECT_EQ(drive1()->currentIndex(), 0);
  EXPECT_EQ(window.last_good_drive(), 0);
  EXPECT_EQ(folder(), work_);
  EXPECT_EQ(dir_paths(),
            QStringList({vol_a_, work_, work_ + "/Alpha", work_ + "/beta", work_ + "/gamma"}));
  EXPECT_EQ(dir1()->currentItem()->data(Qt::UserRole).toString(), work_);
  EXPECT_EQ(texts_of(file1()), QStringList({"A.dat", "b.dat", "c.DAT"}));
  EXPECT_TRUE(selected_names().isEmpty());
  EXPECT_TRUE(dialogs_->messages.empty());
  EXPECT_FALSE(window.run_state().trial);
  EXPECT_EQ(window.run_state().record_counter, 0);

  const QList<QSize> icon_sizes = window.windowIcon().availableSizes();
  for (int size : {16, 32, 48}) EXPECT_TRUE(icon_sizes.contains(QSize(size, size))) << size;
}

TEST_F(Form1Test, HasTheFixedLayoutInPixels) {
  Form1& window = open_window();

  // 15 twips to a pixel: the client area is 6600 x 3525 twips.
  EXPECT_EQ(window.size(), QSize(440, 235));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  struct Expected {
    const char* name;
    QRect geometry;
  };
  const Expected controls[] = {
      {"Drive1", {16, 16, 201, 21}},     {"Dir1", {16, 44, 201, 96}},
      {"File1", {224, 16, 201, 149}},    {"Text1", {16, 147, 201, 19}},
      {"Command2", {320, 185, 105, 25}}, {"cmd_sample", {208, 185, 97, 25}},
      {"StatusBar1", {0, 210, 440, 25}}, {"ProgressBar1", {16, 168, 409, 15}},
  };
  for (const auto& c : controls) {
    EXPECT_EQ(control<QWidget>(c.name)->geometry(), c.geometry) << c.name;
  }
  EXPECT_EQ(status_bar()->panel(1)->width(), 96);
  EXPECT_EQ(status_bar()->panel(2)->width(), 341);
}

TEST_F(Form1Test, FocusStartsOnDrive1AndTabFollowsTheControlOrder) {
  Form1& window = open_window();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  const char* order[] = {"Drive1", "Dir1", "File1", "Text1", "Command2", "cmd_sample", "Drive1"};
  EXPECT_EQ(QApplication::focusWidget(), drive1());
  for (std::size_t i = 1; i < std::size(order); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), order[i]) << "after " << order[i - 1];
  }
}

TEST_F(Form1Test, PickingAReadyDriveMovesTheListsToItsCurrentFolder) {
  Form1& window = open_window();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  // The arrow key on the closed drop-down list picks the next drive.
  QTest::keyClick(drive1(), Qt::Key_Down);
  EXPECT_EQ(drive1()->currentIndex(), 1);
  EXPECT_EQ(folder(), vol_b_) << "a volume root keeps its separator";
  EXPECT_EQ(dir_paths(), QStringList({vol_b_, vol_b_ + "inner"}));
  EXPECT_EQ(texts_of(file1()), QStringList({"x.dat"}));
  EXPECT_TRUE(selected_names().isEmpty());
  EXPECT_EQ(window.last_good_drive(), 1);

  // Back on A after a visit to one of its subfolders: A's current folder is the working folder.
  drive1()->setCurrentIndex(0);
  double_click_dir(work_ + "/beta");
  ASSERT_EQ(folder(), work_ + "/beta");
  drive1()->setCurrentIndex(1);
  drive1()->setCurrentIndex(0);
  EXPECT_EQ(folder(), work_);
  EXPECT_EQ(texts_of(file1()), QStringList({"A.dat", "b.dat", "c.DAT"}));
  EXPECT_EQ(window.last_good_drive(), 0);
  EXPECT_TRUE(dialogs_->messages.empty());
}

TEST_F(Form1Test, PickingADriveThatIsNotReadyGoesBackToTheLastGoodDrive) {
  Form1& window = open_window();
  drive1()->setCurrentIndex(1);
  double_click_dir(vol_b_ + "inner");
  ASSERT_EQ(texts_of(file1()), QStringList({"deep.dat"}));

  for (int attempt = 1; attempt <= 2; ++attempt) {
    drive1()->setCurrentIndex(2);

    ASSERT_EQ(dialogs_->messages.size(), static_cast<std::size_t>(attempt));
    EXPECT_EQ(dialogs_->messages.back().text, kDriveNotReady);
    EXPECT_EQ(dialogs_->messages.back().icon, QMessageBox::Critical);
    EXPECT_EQ(drive1()->currentIndex(), 1);
    EXPECT_EQ(window.last_good_drive(), 1);
    // The lists followed the drive change back to B, to B's current folder (its root).
    EXPECT_EQ(folder(), vol_b_);
    EXPECT_EQ(texts_of(file1()), QStringList({"x.dat"}));
  }
}

TEST_F(Form1Test, WhenTheLastGoodDriveFailsTooTheListsKeepWhatTheyShowed) {
  Form1& window = open_window();
  drive1()->setCurrentIndex(1);
  double_click_dir(vol_b_ + "inner");
  const QStringList dir_before = dir_paths();
  volumes_->failing.insert(vol_b_);

  drive1()->setCurrentIndex(2);

  EXPECT_EQ(dialogs_->texts(), QStringList({kDriveNotReady, kDriveNotReady}));
  EXPECT_EQ(drive1()->currentIndex(), 1);
  EXPECT_EQ(window.last_good_drive(), 1);
  EXPECT_EQ(folder(), vol_b_ + "inner");
  EXPECT_EQ(dir_paths(), dir_before);
  EXPECT_EQ(texts_of(file1()), QStringList({"deep.dat"}));
}

TEST_F(Form1Test, DoubleClickEntersAFolderAndASingleClickDoesNot) {
  open_window();

  QTest::mouseClick(dir1()->viewport(), Qt::LeftButton, {},
                    dir1()->visualItemRect(dir1()->item(3)).center());
  EXPECT_EQ(folder(), work_) << "a single click only highlights";

  double_click_dir(work_ + "/beta");
  EXPECT_EQ(folder(), work_ + "/beta") << "no trailing separator below the root";
  EXPECT_EQ(dir_paths(), QStringList({vol_a_, work_, work_ + "/beta"}));
  EXPECT_EQ(texts_of(file1()), QStringList({"inside.dat"}));
  EXPECT_TRUE(selected_names().isEmpty());

  double_click_dir(vol_a_);
  EXPECT_EQ(folder(), vol_a_) << "the root keeps its separator";
  EXPECT_EQ(dir_paths(), QStringList({vol_a_, vol_a_ + "work"}));
  EXPECT_EQ(texts_of(file1()), QStringList({"top.dat"}));

  // Enter on the highlighted entry enters it as well.
  dir1()->setCurrentRow(1);
  QTest::keyClick(dir1(), Qt::Key_Return);
  EXPECT_EQ(folder(), work_);
  EXPECT_TRUE(dialogs_->messages.empty());
}

TEST_F(Form1Test, AFolderThatCannotBeReadEmptiesTheFileListAndSaysWhy) {
  open_window();
  ASSERT_TRUE(QDir(work_ + "/gamma").removeRecursively());

  double_click_dir(work_ + "/gamma");

  EXPECT_EQ(file1()->count(), 0);
  ASSERT_EQ(dialogs_->messages.size(), 1u);
  EXPECT_EQ(dialogs_->messages[0].icon, QMessageBox::Critical);
  EXPECT_EQ(dialogs_->messages[0].text, "The folder " + QDir::toNativeSeparators(work_ + "/gamma") +
                                            " cannot be read: No such file or directory.");
  // The path down to it stays, so the user can go back up.
  EXPECT_EQ(dir_paths(), QStringList({vol_a_, work_, work_ + "/gamma"}));
}

TEST_F(Form1Test, FileListIsReadWhenItsFolderIsSetAndNotRefreshedByItself) {
  open_window();
  write_file(work_ + "/B2.dat", "x");
  EXPECT_EQ(texts_of(file1()), QStringList({"A.dat", "b.dat", "c.DAT"}));

  double_click_dir(work_ + "/beta");
  double_click_dir(work_);
  EXPECT_EQ(texts_of(file1()), QStringList({"A.dat", "b.dat", "B2.dat", "c.DAT"}));
}

TEST_F(Form1Test, ClicksFeedTheSelectionViewAndTheRun) {
  const QString batch = vol_a_ + "batch";
  const int records[] = {10, 20, 30, 40, 50};
  for (int i = 0; i < 5; ++i) {
    write_file(batch + QStringLiteral("/f%1.dat").arg(i), data_file(records[i]));
  }
  Form1& window = open_window(batch);

  click_file(0);
  click_file(2, Qt::ControlModifier);
  click_file(3, Qt::ControlModifier);
  click_file(4, Qt::ControlModifier);
  click_file(4, Qt::ControlModifier);  // and out again
  EXPECT_EQ(window.item_count(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(window.selected(i), i == 0 || i == 2 || i == 3) << i;
    EXPECT_EQ(window.item_name(i), QStringLiteral("f%1.dat").arg(i).toStdString());
  }

  type_output_path(output_);
  EXPECT_EQ(window.output_path(), output_.toStdString());
  QTest::mouseClick(extract_button(), Qt::LeftButton);
  EXPECT_EQ(dialogs_->texts(), QStringList({"80 Records Written from 3 Files"}));
  EXPECT_EQ(read_lines(output_).size(), 80);

  // A plain click selects that item alone; Shift and a click select a range.
  click_file(1);
  click_file(3, Qt::ShiftModifier);
  EXPECT_EQ(selected_names(), QStringList({"f1.dat", "f2.dat", "f3.dat"}));
}

TEST_F(Form1Test, EitherButtonWithoutASelectionShowsTheMessageAndChangesNothing) {
  for (const char* button : {"Command2", "cmd_sample"}) {
    SCOPED_TRACE(button);
    dialogs_->messages.clear();
    Form1& window = open_window();
    type_output_path(output_);
    double_click_dir(work_ + "/beta");
    double_click_dir(work_);
    file1()->setCurrentRow(1, QItemSelectionModel::NoUpdate);

    QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);

    ASSERT_EQ(dialogs_->messages.size(), 1u);
    EXPECT_EQ(dialogs_->messages[0].text, kNoSelection);
    EXPECT_EQ(dialogs_->messages[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(QFile::exists(output_));
    EXPECT_EQ(text1()->text(), output_);
    EXPECT_EQ(folder(), work_);
    EXPECT_EQ(texts_of(file1()), QStringList({"A.dat", "b.dat", "c.DAT"}));
    EXPECT_TRUE(selected_names().isEmpty());
    EXPECT_EQ(status_bar()->text(1), "");
    EXPECT_EQ(progress_bar()->value(), 0);
    EXPECT_FALSE(window.run_active());
  }
}

TEST_F(Form1Test, ExtractConvertsTheSelectedFilesAndShowsTheSummary) {
  const QString batch = vol_a_ + "batch";
  write_file(batch + "/one.dat", data_file(120));
  write_file(batch + "/two.dat", data_file(80));
  Form1& window = open_window(batch);
  type_output_path(output_);
  QTest::keyClick(file1(), Qt::Key_A, Qt::ControlModifier);
  ASSERT_EQ(selected_names(), QStringList({"one.dat", "two.dat"}));

  QStringList shown_while_summary;
  int bar_while_summary = -1;
  dialogs_->while_open = [&] {
    shown_while_summary = {status_bar()->text(1), status_bar()->text(2)};
    bar_while_summary = progress_bar()->value();
    EXPECT_TRUE(window.run_active());
  };
  QTest::mouseClick(extract_button(), Qt::LeftButton);

  ASSERT_EQ(dialogs_->messages.size(), 1u);
  EXPECT_EQ(dialogs_->messages[0].text, "200 Records Written from 2 Files");
  EXPECT_EQ(dialogs_->messages[0].icon, QMessageBox::Information);
  EXPECT_EQ(shown_while_summary, QStringList({"2/2", "Processing two.dat"}));
  EXPECT_EQ(bar_while_summary, 100);
  EXPECT_EQ(read_lines(output_).size(), 200);
  EXPECT_EQ(window.run_state().record_counter, 200);
  EXPECT_EQ(status_bar()->text(1), "");
  EXPECT_EQ(status_bar()->text(2), "");
  EXPECT_EQ(progress_bar()->value(), 0);
  EXPECT_FALSE(window.run_active());
  EXPECT_TRUE(viewer_->opened.isEmpty());
  EXPECT_EQ(selected_names(), QStringList({"one.dat", "two.dat"}));
}

TEST_F(Form1Test, ExtractAsksAboutAFileThatIsNotADataFileAndFollowsTheAnswer) {
  struct Case {
    bool go_on;
    QStringList messages;
    int lines;
    QStringList panels_after;
  };
  const Case cases[] = {
      {true, {"70 Records Written from 3 Files"}, 70, {"", ""}},
      // Declined: the panels are cleared as after a finished run, so nothing reads as going on.
      {false, {}, 30, {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.go_on ? "Yes" : "No");
    const QString batch = base_ + (c.go_on ? "/volA/yes" : "/volA/no");
    write_file(batch + "/a.dat", data_file(30));
    write_file(batch + "/b.dat", "Just some text, not blocks of records.\n");
    write_file(batch + "/c.dat", data_file(40));
    *dialogs_ = FakeDialogs{};
    dialogs_->answers = {c.go_on};
    QStringList panels_at_question;
    dialogs_->while_open = [&] {
      if (panels_at_question.isEmpty()) {
        panels_at_question = {status_bar()->text(1), status_bar()->text(2)};
      }
    };
    open_window(batch);
    type_output_path(output_);
    QTest::keyClick(file1(), Qt::Key_A, Qt::ControlModifier);

    QTest::mouseClick(extract_button(), Qt::LeftButton);

    EXPECT_EQ(dialogs_->questions, QStringList({kNotDataFile}));
    EXPECT_EQ(panels_at_question, QStringList({"2/3", "Processing b.dat"}));
    EXPECT_EQ(dialogs_->texts(), c.messages);
    EXPECT_EQ(read_lines(output_).size(), c.lines);
    EXPECT_EQ(QStringList({status_bar()->text(1), status_bar()->text(2)}), c.panels_after);
  }
}

TEST_F(Form1Test, ShowSampleWritesFiftyLinesAndOpensTheViewer) {
  const QString batch = vol_a_ + "batch";
  write_file(batch + "/big.dat", data_file(500));
  Form1& window = open_window(batch);
  type_output_path(output_);
  click_file(0);

  QTest::mouseClick(sample_button(), Qt::LeftButton);

  EXPECT_EQ(viewer_->opened, QStringList({QDir::toNativeSeparators(output_)}));
  EXPECT_TRUE(dialogs_->messages.empty()) << "no summary after a trial run";
  EXPECT_EQ(read_lines(output_).size(), 50);
  EXPECT_FALSE(window.run_state().trial);
  EXPECT_EQ(status_bar()->text(1), "");
  EXPECT_EQ(status_bar()->text(2), "");
  EXPECT_EQ(progress_bar()->value(), 0);

  // The next Extract is a full run again.
  QTest::mouseClick(extract_button(), Qt::LeftButton);
  EXPECT_EQ(dialogs_->texts(), QStringList({"500 Records Written from 1 Files"}));
  EXPECT_EQ(viewer_->opened.size(), 1);
}

TEST_F(Form1Test, AViewerThatFailsIsReportedWithTheOutputFile) {
  const QString batch = vol_a_ + "batch";
  write_file(batch + "/big.dat", data_file(60));
  const QString file = QDir::toNativeSeparators(output_);
  struct Case {
    bool starts;
    QString message;
  };
  const Case cases[] = {
      {false, "The text viewer (test-viewer) could not be started. The output is in " + file + "."},
      {true,
       "The text viewer (test-viewer) could not show the output. The output is in " + file + "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.starts ? "ends with an error" : "does not start");
    dialogs_->messages.clear();
    viewer_->works = c.starts;
    open_window(batch);
    type_output_path(output_);
    click_file(0);

    QTest::mouseClick(sample_button(), Qt::LeftButton);
    if (c.starts) {
      EXPECT_TRUE(dialogs_->messages.empty());
      ASSERT_TRUE(viewer_->failed);
      viewer_->failed();  // the viewer ends later, reporting an error
    }

    ASSERT_EQ(dialogs_->messages.size(), 1u);
    EXPECT_EQ(dialogs_->messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(dialogs_->messages[0].text, c.message);
  }
}

TEST_F(Form1Test, AViewerGetsTheOutputAsAnAbsolutePath) {
  // A relative output path is relative to the working folder; the viewer gets it whole, so a
  // name such as "-x.txt" cannot pass for an option.
  const QString batch = vol_a_ + "batch";
  write_file(batch + "/big.dat", data_file(60));
  Form1& window = open_window(batch);
  window.open_viewer("-x.txt");
  EXPECT_EQ(viewer_->opened,
            QStringList({QDir::toNativeSeparators(QDir::current().absoluteFilePath("-x.txt"))}));
}

TEST_F(Form1Test, InputDuringARunIsDroppedAndClosingIsRefused) {
  const QString batch = vol_a_ + "batch";
  write_file(batch + "/one.dat", data_file(30));
  Form1& window = open_window(batch);
  type_output_path(output_);
  click_file(0);

  QPushButton* extract = extract_button();
  const QPointF centre = QRectF(extract->rect()).center();
  auto queue_click = [&] {
    QCoreApplication::postEvent(
        extract, new QMouseEvent(QEvent::MouseButtonPress, centre, extract->mapToGlobal(centre),
                                 Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        extract, new QMouseEvent(QEvent::MouseButtonRelease, centre, extract->mapToGlobal(centre),
                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  };
  auto queue_key = [&] {
    QCoreApplication::postEvent(extract,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier));
    QCoreApplication::postEvent(extract,
                                new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier));
  };
  bool close_refused = false;
  dialogs_->while_open = [&] {
    if (dialogs_->messages.size() != 1) return;
    queue_click();
    queue_key();
    close_refused = !window.close() && window.isVisible();
  };

  QTest::mouseClick(extract, Qt::LeftButton);
  QCoreApplication::processEvents();

  EXPECT_TRUE(close_refused);
  EXPECT_EQ(dialogs_->texts(), QStringList({"30 Records Written from 1 Files"}))
      << "the click and the key given during the run started nothing";

  // The same queued input outside a run does start runs, so the check above means something.
  queue_click();
  QCoreApplication::processEvents();
  EXPECT_EQ(dialogs_->messages.size(), 2u);
  queue_key();
  QCoreApplication::processEvents();
  EXPECT_EQ(dialogs_->messages.size(), 3u);

  EXPECT_TRUE(window.close());
}

TEST_F(Form1Test, ARunRepaintsTheBarAndPanelsAtMostEveryFiftyMilliseconds) {
  // Every reading of the clock moves it on by 10 ms, so at most every fifth report repaints.
  clock_ = std::make_unique<SteppingClock>();
  const QString batch = vol_a_ + "batch";
  write_file(batch + "/long.dat", data_file(300 * 17));  // 300 blocks: 100 steps of the bar
  open_window(batch);
  type_output_path(output_);
  click_file(0);
  PaintCounter bar_paints(progress_bar());
  PaintCounter panel_paints(status_bar()->panel(2));
  int bar_paints_in_run = -1;
  int panel_paints_in_run = -1;
  int clock_reads_in_run = -1;
  dialogs_->while_open = [&] {
    bar_paints_in_run = bar_paints.paints;
    panel_paints_in_run = panel_paints.paints;
    clock_reads_in_run = clock_->reads;
  };

  QTest::mouseClick(extract_button(), Qt::LeftButton);

  ASSERT_EQ(dialogs_->texts(), QStringList({"5100 Records Written from 1 Files"}));
  EXPECT_GE(clock_reads_in_run, 100);
  EXPECT_GE(bar_paints_in_run, 10) << "the bar moves visibly while the run holds the thread";
  EXPECT_LE(bar_paints_in_run, clock_reads_in_run / 5 + 2);
  EXPECT_GE(panel_paints_in_run, 1) << "the panels show the file being converted";
}

TEST_F(Form1Test, ACloseRequestOrEscDuringARunAsksWhetherToStop) {
  // The clock moves on 10 ms a reading, so the run takes the window's events every few blocks,
  // and a timer started before the run fires there.
  const QString stop_question = QStringLiteral(
      "A run is in progress. Stop it? The output file will hold only the records written so far.");
  struct Case {
    const char* what;
    bool close;  // a close request, else Esc
    bool yes;
    bool stopped;
    bool closed;
  };
  const Case cases[] = {
      {"close, Yes", true, true, true, true},
      {"close, No", true, false, false, false},
      {"Esc, Yes", false, true, true, false},
      {"Esc, No", false, false, false, false},
  };
  const QString batch = vol_a_ + "batch";
  write_file(batch + "/long.dat", data_file(300 * 17));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    *dialogs_ = FakeDialogs{};
    dialogs_->answers = {c.yes};
    clock_ = std::make_unique<SteppingClock>();
    Form1& window = open_window(batch);
    type_output_path(output_);
    click_file(0);
    // Asks once the run is under way and the bar has moved.
    bool asked_in_run = false;
    QString panel_after_answer;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (asked_in_run || !window.run_active() || progress_bar()->value() == 0) return;
      asked_in_run = true;
      if (c.close) {
        window.close();
      } else {
        QTest::keyClick(file1(), Qt::Key_Escape);
      }
      panel_after_answer = status_bar()->text(2);
    });
    timer.start(0);

    extract_button()->click();
    timer.stop();

    EXPECT_TRUE(asked_in_run);
    // Yes shows at once that the run is stopping, however long its output takes to drain.
    EXPECT_EQ(panel_after_answer,
              c.yes ? QString::fromUtf8("Stopping\xE2\x80\xA6") : QString("Processing long.dat"));
    EXPECT_EQ(dialogs_->questions, QStringList({stop_question}));
    ASSERT_EQ(dialogs_->yes_defaults.size(), 1u);
    EXPECT_FALSE(dialogs_->yes_defaults[0]);
    const QStringList lines = read_lines(output_);
    ASSERT_EQ(dialogs_->messages.size(), 1u);
    EXPECT_EQ(dialogs_->messages[0].icon, QMessageBox::Information);
    if (c.stopped) {
      EXPECT_LT(lines.size(), 5100);
      EXPECT_EQ(dialogs_->messages[0].text,
                QStringLiteral("Run stopped: %1 Records Written from 1 Files").arg(lines.size()));
    } else {
      EXPECT_EQ(dialogs_->messages[0].text, "5100 Records Written from 1 Files");
    }
    QFile out(output_);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_TRUE(out.readAll().endsWith("\r\n")) << "the output ends after a whole line";
    EXPECT_EQ(QStringList({status_bar()->text(1), status_bar()->text(2)}), QStringList({"", ""}));
    EXPECT_EQ(progress_bar()->value(), 0);
    EXPECT_FALSE(window.run_active());
    EXPECT_EQ(window.isVisible(), !c.closed);
  }
}

TEST_F(Form1Test, EnterOrSpacePressesTheFocusedButton) {
  struct Case {
    const char* control;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool pressed;
  };
  const Case cases[] = {
      {"Command2", Qt::Key_Return, Qt::NoModifier, true},
      {"cmd_sample", Qt::Key_Return, Qt::NoModifier, true},
      {"Command2", Qt::Key_Enter, Qt::KeypadModifier, true},
      {"Command2", Qt::Key_Space, Qt::NoModifier, true},
      {"cmd_sample", Qt::Key_Space, Qt::NoModifier, true},
      {"Text1", Qt::Key_Return, Qt::NoModifier, false},
  };
  Form1& window = open_window();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.control) + " " + QKeySequence(c.key).toString().toStdString());
    dialogs_->messages.clear();
    QWidget* target = control<QWidget>(c.control);
    target->setFocus();
    QTest::keyClick(target, c.key, c.modifiers);
    // Nothing is selected: a pressed button shows exactly that message.
    EXPECT_EQ(dialogs_->texts(), c.pressed ? QStringList({kNoSelection}) : QStringList());
  }
}

TEST_F(Form1Test, AnEmptyOutputNameIsAskedForBeforeAnythingIsOpened) {
  const QString batch = vol_a_ + "batch";
  write_file(batch + "/one.dat", data_file(30));
  open_window(batch);
  text1()->clear();
  click_file(0);

  QTest::mouseClick(extract_button(), Qt::LeftButton);

  ASSERT_EQ(dialogs_->messages.size(), 1u);
  EXPECT_EQ(dialogs_->messages[0].icon, QMessageBox::Critical);
  EXPECT_EQ(dialogs_->messages[0].text,
            "Please type the name of the output file in the box below the lists.");
  EXPECT_EQ(status_bar()->text(1), "");
}

TEST_F(Form1Test, TextsTooLongForTheirPanelAreElidedInTheMiddle) {
  open_window();
  const QString long_name = "Processing " + QString(80, QLatin1Char('n')) + "-end.dat";
  struct Case {
    int panel;
    QString text;
    bool elided;
  };
  const Case cases[] = {
      {2, "Processing short.dat", false},
      {2, long_name, true},
      {1, "1/2", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    window_->set_status_text(c.panel, c.text.toStdString());
    QLabel* label = status_bar()->panel(c.panel);
    EXPECT_EQ(status_bar()->text(c.panel), c.text) << "the whole text is kept";
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()),
              label->contentsRect().width() - label->indent());
    if (c.elided) {
      EXPECT_TRUE(label->text().startsWith("Processing n")) << label->text().toStdString();
      EXPECT_TRUE(label->text().endsWith("n-end.dat")) << label->text().toStdString();
      EXPECT_TRUE(label->text().contains(QChar(0x2026)));
      EXPECT_EQ(label->toolTip(), c.text);
    } else {
      EXPECT_EQ(label->text(), c.text);
    }
  }
}

#ifndef _WIN32
TEST_F(Form1Test, AHundredThousandFilesAreListedInOrderAndExtractedTogether) {
  constexpr int kFiles = 100000;
  const QString bulk = work_ + "/bulk";
  // Hard links to a few copies of one small data file: 100,000 names, little disk space. A file
  // takes at most some 65,000 links on ext4.
  QByteArray source;
  for (int i = 0; i < kFiles; ++i) {
    const QString name = bulk + QStringLiteral("/f%1.dat").arg(i, 6, 10, QLatin1Char('0'));
    if (i % 50000 == 0) {
      write_file(name, data_file(6));
      source = QFile::encodeName(name);
      continue;
    }
    ASSERT_EQ(::link(source.constData(), QFile::encodeName(name).constData()), 0) << i;
  }
  open_window();
  type_output_path(output_);

  double_click_dir(bulk);
  ASSERT_EQ(file1()->count(), kFiles);
  EXPECT_EQ(file1()->item(0)->text(), "f000000.dat");
  EXPECT_EQ(file1()->item(kFiles - 1)->text(), "f099999.dat");

  QTest::keyClick(file1(), Qt::Key_A, Qt::ControlModifier);
  QTest::mouseClick(extract_button(), Qt::LeftButton);

  EXPECT_EQ(dialogs_->texts(), QStringList({"600000 Records Written from 100000 Files"}));
  EXPECT_EQ(read_lines(output_).size(), 600000);
}
#endif

TEST_F(Form1Test, OpeningDrive1ReadsTheVolumesAgainAndKeepsTheCurrentDrive) {
  const QString vol_d = base_ + "/volD/";
  make_folder(vol_d);
  struct Case {
    const char* name;
    std::vector<Volume> now;  // what the system offers when the list is opened
    QStringList listed;
    int current;
  };
  const Case cases[] = {
      {"a stick plugged in before the current drive",
       {{vol_d, "STICK"}, {vol_a_, "DATA"}, {vol_b_, ""}, {vol_c_, "CARD"}},
       {QDir::toNativeSeparators(base_ + "/volD") + "  [STICK]",
        QDir::toNativeSeparators(base_ + "/volA") + "  [DATA]",
        QDir::toNativeSeparators(base_ + "/volB"),
        QDir::toNativeSeparators(base_ + "/volC") + "  [CARD]"},
       1},
      {"another drive taken away",
       {{vol_a_, "DATA"}, {vol_c_, "CARD"}},
       {QDir::toNativeSeparators(base_ + "/volA") + "  [DATA]",
        QDir::toNativeSeparators(base_ + "/volC") + "  [CARD]"},
       0},
      {"the current drive taken away stays until the user leaves it",
       {{vol_b_, ""}},
       {QDir::toNativeSeparators(base_ + "/volA") + "  [DATA]",
        QDir::toNativeSeparators(base_ + "/volB")},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    volumes_->list = {{vol_a_, "DATA"}, {vol_b_, ""}, {vol_c_, "CARD"}};
    Form1& window = open_window();
    volumes_->list = c.now;

    drive1()->showPopup();
    drive1()->hidePopup();

    EXPECT_EQ(texts_of(drive1()), c.listed);
    EXPECT_EQ(drive1()->currentIndex(), c.current);
    EXPECT_EQ(window.last_good_drive(), c.current);
    EXPECT_EQ(folder(), work_) << "listing the volumes anew is no drive change";
    EXPECT_TRUE(dialogs_->messages.empty());
  }
  // A drive that appeared can be picked like any other.
  drive1()->setCurrentIndex(1);
  EXPECT_EQ(folder(), vol_b_);
}

#ifndef _WIN32
TEST_F(Form1Test, NamesTheLocaleCannotDecodeAreListedShownAlikeAndOpenedByTheirBytes) {
  const QString batch = vol_a_ + "latin1";
  make_folder(batch);
  const std::string folder_bytes = QFile::encodeName(batch).toStdString();
  struct Case {
    std::string name;  // bytes
    QString shown;
  };
  const Case cases[] = {
      {"caf\xE9.dat", QString::fromUtf8("caf\xEF\xBF\xBD.dat")},  // Latin-1 e acute
      {"caf\xC3\xA9.dat", QString::fromUtf8("caf\xC3\xA9.dat")},  // the same in UTF-8
      {"x\xFF\xFEy.dat", QString::fromUtf8("x\xEF\xBF\xBD\xEF\xBF\xBDy.dat")},
  };
  int records = 10;
  for (const Case& c : cases) {
    std::ofstream(folder_bytes + "/" + c.name, std::ios::binary) << data_file(records++);
  }
  // A folder whose name the locale cannot decode.
  const std::string odd = folder_bytes + "/d\xE9p\xF4t";
  std::filesystem::create_directory(odd);
  std::ofstream(odd + "/in.dat", std::ios::binary) << data_file(12);
  Form1& window = open_window(batch);
  type_output_path(output_);

  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const int row = static_cast<int>(texts_of(file1()).indexOf(c.shown));
    ASSERT_GE(row, 0) << texts_of(file1()).join('|').toStdString();
    EXPECT_EQ(window.item_name(static_cast<std::size_t>(row)), c.name);

    *dialogs_ = FakeDialogs{};
    QString panel_at_summary;
    dialogs_->while_open = [&] { panel_at_summary = status_bar()->text(2); };
    file1()->clearSelection();
    file1()->item(row)->setSelected(true);
    QTest::mouseClick(extract_button(), Qt::LeftButton);

    EXPECT_EQ(panel_at_summary, "Processing " + c.shown);
    EXPECT_EQ(dialogs_->texts(),
              QStringList({QString("%1 Records Written from 1 Files").arg(10 + i)}));
  }

  // The odd folder is shown alike, entered, listed and read by its bytes, from Dir1 as from a
  // name given to the window.
  EXPECT_TRUE(texts_of(dir1()).contains(QString::fromUtf8("d\xEF\xBF\xBDp\xEF\xBF\xBDt")));
  double_click_dir(batch + "/" + path_text("d\xE9p\xF4t"));
  EXPECT_EQ(texts_of(file1()), QStringList({"in.dat"}));
  EXPECT_EQ(window.current_folder(), odd);
  EXPECT_TRUE(window.select_files({odd + "/in.dat"}));
  *dialogs_ = FakeDialogs{};
  QTest::mouseClick(extract_button(), Qt::LeftButton);
  EXPECT_EQ(dialogs_->texts(), QStringList({"12 Records Written from 1 Files"}));

  // QTemporaryDir cannot remove names it cannot decode.
  for (const Case& c : cases) std::filesystem::remove(folder_bytes + "/" + c.name);
  std::filesystem::remove_all(odd);
}
#endif

TEST_F(Form1Test, AnOutputThatIsADataFileIsReplacedOnlyWhenTheUserSaysYes) {
  const QString batch = vol_a_ + "guard";
  write_file(batch + "/in.dat", data_file(30));
  const std::string data = data_file(90);
  const std::string csv = "2022-04-13,02:26:09,97721358,2056370013,249,707429,XCEL6,Y8FKUU\r\n";
  struct Case {
    const char* name;
    std::string before;
    std::vector<bool> answers;
    QStringList questions;
    int lines_after;  // -1: the output kept what it held
  };
  const QString question = "The output file " + QDir::toNativeSeparators(output_) +
                           " is an AXE data file. Do you want to replace it?";
  const Case cases[] = {
      {"data file, No", data, {false}, {question}, -1},
      {"data file, Yes", data, {true}, {question}, 30},
      {"a previous output", csv, {}, {}, 30},
      {"a short text", "notes", {}, {}, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(output_, c.before);
    *dialogs_ = FakeDialogs{};
    dialogs_->answers = c.answers;
    open_window(batch);
    type_output_path(QDir::toNativeSeparators(output_));
    QTest::keyClick(file1(), Qt::Key_A, Qt::ControlModifier);

    QTest::mouseClick(extract_button(), Qt::LeftButton);

    EXPECT_EQ(dialogs_->questions, c.questions);
    for (bool yes_default : dialogs_->yes_defaults) EXPECT_FALSE(yes_default) << "No is default";
    QFile out(output_);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const QByteArray after = out.readAll();
    if (c.lines_after < 0) {
      EXPECT_TRUE(after.toStdString() == c.before);
      EXPECT_TRUE(dialogs_->messages.empty());
    } else {
      EXPECT_EQ(read_lines(output_).size(), c.lines_after);
    }
  }
}

TEST_F(Form1Test, DroppedOrNamedFilesOfOneFolderBecomeTheSelection) {
  struct Case {
    const char* name;
    QStringList paths;
    bool drop;  // dropped onto the window, else named as on the command line
    bool all_selected;
    int drive;
    QString folder;
    QStringList selected;
    QStringList messages;
  };
  const Case cases[] = {
      {"two files of the working folder",
       {work_ + "/c.DAT", work_ + "/A.dat"},
       false,
       true,
       0,
       work_,
       {"A.dat", "c.DAT"},
       {}},
      {"a relative path", {"beta/inside.dat"}, false, true, 0, work_ + "/beta", {"inside.dat"}, {}},
      {"a file on another drive",
       {vol_b_ + "inner/deep.dat"},
       false,
       true,
       1,
       vol_b_ + "inner",
       {"deep.dat"},
       {}},
      {"dropped files", {vol_b_ + "x.dat"}, true, true, 1, vol_b_, {"x.dat"}, {}},
      {"files of two folders",
       {work_ + "/A.dat", vol_a_ + "top.dat"},
       true,
       false,
       0,
       work_,
       {},
       {"The files must all come from one folder. Please drop or name files of one folder "
        "only."}},
      {"a hidden file is not in the list",
       {work_ + "/b.dat", work_ + "/.hidden"},
       false,
       false,
       0,
       work_,
       {"b.dat"},
       {".hidden is not a file in the list, so it cannot be selected."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    *dialogs_ = FakeDialogs{};
    Form1& window = open_window();
    if (c.drop) {
      QMimeData data;
      QList<QUrl> urls;
      for (const QString& path : c.paths) urls.append(QUrl::fromLocalFile(path));
      data.setUrls(urls);
      // The source offers a move and proposes it: the window takes a copy all the same.
      const QPoint at = text1()->geometry().center();
      MoveProposed<QDragEnterEvent> enter(at, Qt::CopyAction | Qt::MoveAction, &data,
                                          Qt::LeftButton, Qt::KeyboardModifiers{});
      QApplication::sendEvent(&window, &enter);
      EXPECT_TRUE(enter.isAccepted());
      EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
      MoveProposed<QDropEvent> drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data,
                                    Qt::LeftButton, Qt::KeyboardModifiers{});
      QApplication::sendEvent(&window, &drop);
      EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    } else {
      std::vector<std::string> paths;
      for (const QString& path : c.paths) paths.push_back(path.toStdString());
      EXPECT_EQ(window.select_files(paths), c.all_selected);
    }
    EXPECT_EQ(drive1()->currentIndex(), c.drive);
    EXPECT_EQ(window.last_good_drive(), c.drive);
    EXPECT_EQ(folder(), c.folder);
    EXPECT_EQ(selected_names(), c.selected);
    EXPECT_EQ(dialogs_->texts(), c.messages);
  }
  // Named at start ("vemo FILE..."), the files are taken once the window is on the screen, so
  // that a message comes over it.
  {
    *dialogs_ = FakeDialogs{};
    Form1Services services;
    services.volumes = volumes_;
    services.dialogs = dialogs_;
    services.viewer = viewer_;
    services.working_folder = work_;
    Form1 starting(services);
    bool shown_at_message = false;
    dialogs_->while_open = [&] {
      shown_at_message = starting.isVisible() && starting.windowHandle() != nullptr &&
                         starting.windowHandle()->isExposed();
    };
    starting.select_files_once_shown(
        {(vol_a_ + "top.dat").toStdString(), (vol_b_ + "x.dat").toStdString()});
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs_->messages.empty());
    starting.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&starting));
    for (int i = 0; i < 50 && dialogs_->messages.empty(); ++i) QTest::qWait(10);
    ASSERT_EQ(dialogs_->messages.size(), 1u);
    EXPECT_TRUE(shown_at_message);
  }
#ifndef _WIN32
  // A dropped name that the locale cannot decode arrives as its bytes.
  const std::string latin1 = QFile::encodeName(work_).toStdString() + "/caf\xE9.dat";
  std::ofstream(latin1, std::ios::binary) << "x";
  *dialogs_ = FakeDialogs{};
  Form1& window = open_window();
  QMimeData data;
  data.setUrls(
      {QUrl::fromEncoded("file://" + QByteArray::fromStdString(latin1).toPercentEncoding("/"))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(&window, &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(&window, &drop);
  std::filesystem::remove(latin1);  // QTemporaryDir cannot remove a name it cannot decode
  EXPECT_EQ(selected_names(), QStringList({QString::fromUtf8("caf\xEF\xBF\xBD.dat")}));
  EXPECT_TRUE(dialogs_->messages.empty());
#endif
}

}  // namespace
}  // namespace vemo::ui::test
