#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbus {

// `text` without leading and trailing blanks and control characters (bytes
// up to 32), as parameter lines are read.
std::string TrimmedLine(std::string_view text);

// Parameter lines name=value of an attachment or a transaction. Every change
// is announced before (OnChanging, which may refuse it by throwing) and
// after (OnChange) it is made.
class TParamLines {
public:
  std::function<void()> OnChanging;
  std::function<void()> OnChange;

  int Count() const { return static_cast<int>(lines_.size()); }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](int index) const { return lines_.at(index); }
  const std::vector<std::string>& Lines() const { return lines_; }

  // Out-of-range indexes throw std::out_of_range and change nothing.
  void Set(int index, std::string line);
  void Add(std::string line);
  void Insert(int index, std::string line);
  void Delete(int index);
  void Clear();
  void Assign(std::vector<std::string> lines);
  // Lines joined, each followed by CR LF.
  std::string Text() const;

protected:
  std::vector<std::string> lines_;

private:
  void Changing() {
    if (OnChanging)
      OnChanging();
  }
  void Changed() {
    if (OnChange)
      OnChange();
  }
};

} // namespace nimbus
