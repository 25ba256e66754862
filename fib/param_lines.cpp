#include "fib/param_lines.h"

#include <stdexcept>

namespace nimbus {

std::string TrimmedLine(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
    --end;
  return std::string(text.substr(begin, end - begin));
}

void TParamLines::Set(int index, std::string line) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("parameter line index out of range");
  Changing();
  lines_[index] = std::move(line);
  Changed();
}

void TParamLines::Add(std::string line) {
  Changing();
  lines_.push_back(std::move(line));
  Changed();
}

void TParamLines::Insert(int index, std::string line) {
  if (index < 0 || index > Count())
    throw std::out_of_range("parameter line index out of range");
  Changing();
  lines_.insert(lines_.begin() + index, std::move(line));
  Changed();
}

void TParamLines::Delete(int index) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("parameter line index out of range");
  Changing();
  lines_.erase(lines_.begin() + index);
  Changed();
}

void TParamLines::Clear() {
  Changing();
  lines_.clear();
  Changed();
}

void TParamLines::Assign(std::vector<std::string> lines) {
  Changing();
  lines_ = std::move(lines);
  Changed();
}

std::string TParamLines::Text() const {
  // Sized once: growing by doubling holds the old and the new copy at once,
  // which for a script of 10 MB costs more than the script itself.
  std::size_t size = 0;
  for (const std::string& line : lines_)
    size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

} // namespace nimbus
