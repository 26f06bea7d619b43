// TimerPoolPlugin: something that wants the loop to wake within a given time without holding a
// timer. Hooked plug-ins are asked once per turn; the loop polls no longer than the smallest
// wish.
#pragma once

class TimerPoolPlugin {
 public:
  TimerPoolPlugin() = default;
  TimerPoolPlugin(const TimerPoolPlugin&) = delete;
  TimerPoolPlugin& operator=(const TimerPoolPlugin&) = delete;
  virtual ~TimerPoolPlugin();

  // Milliseconds until the plug-in wants the loop to wake (0: at once), negative for no wish.
  virtual int next_timeout() = 0;

  void timerHook();
  void timerUnhook();
  bool hooked() const { return hooked_; }

 private:
  bool hooked_ = false;
};
