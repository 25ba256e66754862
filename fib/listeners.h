#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace nimbus {

// Callbacks that other components register with a database or transaction.
// Add returns a token for Remove; firing works on a copy so a callback may
// register or remove listeners while it runs.
template <typename... Args> class TListenerList {
public:
  using Callback = std::function<void(Args...)>;

  int Add(Callback callback) {
    entries_.push_back({++last_token_, std::move(callback)});
    return last_token_;
  }
  void Remove(int token) {
    std::erase_if(entries_, [token](const Entry& e) { return e.Token == token; });
  }
  bool Empty() const { return entries_.empty(); }
  int Count() const { return static_cast<int>(entries_.size()); }

  // In registration order while `go_on()` holds before each call.
  template <typename Pred> void FireWhile(Pred go_on, Args... args) const {
    const std::vector<Entry> copy = entries_;
    for (const Entry& e : copy) {
      if (!go_on())
        return;
      if (e.Call)
        e.Call(args...);
    }
  }
  void Fire(Args... args) const {
    FireWhile([] { return true; }, args...);
  }
  void FireBackward(Args... args) const {
    const std::vector<Entry> copy = entries_;
    for (auto it = copy.rbegin(); it != copy.rend(); ++it)
      if (it->Call)
        it->Call(args...);
  }

private:
  struct Entry {
    int Token;
    Callback Call;
  };
  std::vector<Entry> entries_;
  int last_token_ = 0;
};

} // namespace nimbus
