#include "base/timer_pool_plugin.h"

#include "base/multiplexer.h"

TimerPoolPlugin::~TimerPoolPlugin() { timerUnhook(); }

void TimerPoolPlugin::timerHook() {
  if (!hooked_) multiplexer.hook(this);
  hooked_ = true;
}

void TimerPoolPlugin::timerUnhook() {
  if (hooked_) multiplexer.unhook(this);
  hooked_ = false;
}
