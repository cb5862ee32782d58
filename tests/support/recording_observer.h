#pragma once

// A RunObserver that records every call as a line of text, and answers questions from a script.

#include <deque>
#include <string>
#include <vector>

#include "run/run_observer.h"
#include "run/selection_view.h"

namespace vemo::test {

class RecordingObserver : public RunObserver {
 public:
  std::vector<std::string> events;  // "status1 2/3", "progress 40", "ask ...", "message ..."
  std::vector<FileStatus> statuses;
  std::vector<Question> questions;
  std::vector<Message> messages;
  std::vector<std::string> viewers;
  std::deque<bool> answers;  // answers to give, in order; Yes when empty
  bool record_progress = true;

  // Recorded as the window's two panels show them.
  void set_file_status(const FileStatus& status) override {
    statuses.push_back(status);
    events.push_back("status1 " + std::to_string(status.number) + "/" +
                     std::to_string(status.count));
    events.push_back("status2 Processing " + status.name);
  }
  void clear_status() override {
    events.push_back("status1 ");
    events.push_back("status2 ");
  }
  void set_progress(int percent) override {
    if (record_progress) events.push_back("progress " + std::to_string(percent));
  }
  bool ask_yes_no(const Question& q) override {
    questions.push_back(q);
    events.push_back("ask " + q.text);
    if (answers.empty()) return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void show_message(const Message& m) override {
    messages.push_back(m);
    events.push_back("message " + m.text);
  }
  void open_viewer(const std::string& path) override {
    viewers.push_back(path);
    events.push_back("viewer " + path);
  }

  // The last text given to a panel.
  std::string panel(int n) const {
    const std::string tag = "status" + std::to_string(n) + " ";
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->rfind(tag, 0) == 0) return it->substr(tag.size());
    }
    return {};
  }
  int progress() const {
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->rfind("progress ", 0) == 0) return std::stoi(it->substr(9));
    }
    return 0;
  }
};

// A folder, its file names and which of them are selected.
class ScriptedSelection : public SelectionView {
 public:
  std::string folder;
  std::vector<std::string> names;
  std::vector<bool> chosen;
  std::string output;

  std::string current_folder() const override { return folder; }
  std::size_t item_count() const override { return names.size(); }
  std::string item_name(std::size_t i) const override { return names.at(i); }
  bool selected(std::size_t i) const override { return chosen.at(i); }
  std::string output_path() const override { return output; }
};

}  // namespace vemo::test
