#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace nimbus {

// The periodic timer behind a database's idle close and a transaction's
// timeout. The access layer stays free of the window system: the program
// installs a factory backed by its message loop; until then timers are inert
// (they keep their settings and only fire when a test calls Fire).
class IFIBTimer {
public:
  virtual ~IFIBTimer() = default;
  virtual void SetInterval(uint32_t milliseconds) = 0;
  virtual uint32_t Interval() const = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual bool Running() const = 0;
  // Called at each tick; must not throw.
  virtual void SetOnTimer(std::function<void()> on_timer) = 0;
};

// A timer that ticks only when told to.
class TManualTimer : public IFIBTimer {
public:
  void SetInterval(uint32_t milliseconds) override { interval_ = milliseconds; }
  uint32_t Interval() const override { return interval_; }
  void Start() override { running_ = true; }
  void Stop() override { running_ = false; }
  bool Running() const override { return running_; }
  void SetOnTimer(std::function<void()> on_timer) override { on_timer_ = std::move(on_timer); }
  // One tick, when running.
  void Fire() {
    if (running_ && on_timer_)
      on_timer_();
  }

private:
  uint32_t interval_ = 0;
  bool running_ = false;
  std::function<void()> on_timer_;
};

using TFIBTimerFactory = std::function<std::unique_ptr<IFIBTimer>()>;

// Replaces the factory; an empty one restores the manual timer.
void SetFIBTimerFactory(TFIBTimerFactory factory);
std::unique_ptr<IFIBTimer> CreateFIBTimer();

} // namespace nimbus
