#pragma once

#include <cstddef>
#include <string>

namespace vemo {

// The user's choices as a run reads them, at the moment it asks: the folder, the file list with
// its selection, and the output path.
class SelectionView {
 public:
  virtual ~SelectionView() = default;
  // Full path of the folder the files are in. Empty means the item names are paths themselves.
  virtual std::string current_folder() const = 0;
  virtual std::size_t item_count() const = 0;
  virtual std::string item_name(std::size_t index) const = 0;
  virtual bool selected(std::size_t index) const = 0;
  virtual std::string output_path() const = 0;
};

}  // namespace vemo
