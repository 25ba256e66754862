#include "fib/timer.h"

namespace nimbus {

namespace {
TFIBTimerFactory& Factory() {
  static TFIBTimerFactory factory;
  return factory;
}
} // namespace

void SetFIBTimerFactory(TFIBTimerFactory factory) {
  Factory() = std::move(factory);
}

std::unique_ptr<IFIBTimer> CreateFIBTimer() {
  if (Factory())
    return Factory()();
  return std::make_unique<TManualTimer>();
}

} // namespace nimbus
