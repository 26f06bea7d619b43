// Test slot kinds and factories for the slot framework: every hook writes a line to a shared
// log ("B hwConnectReceiver A"), and what each hook answers is set per slot.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "slotbase/slot.h"
#include "slotbase/slot_factory.h"

class TestSlot : public Slot {
 public:
  TestSlot(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}
  ~TestSlot() override {
    if (deleted) ++*deleted;
  }

  int priority = 0;
  bool output = true;
  bool input = true;
  // Hardware hooks answer this, in turn; true once the list is used up.
  std::vector<bool> hw;
  // The hardware checks answer this likewise.
  std::vector<bool> may;
  bool release_now = true;
  int tx = -1;
  int rx = -1;
  int* deleted = nullptr;
  // IBeforeDestroy reports the slot deactivated, as a link that drops when it goes.
  bool report_on_destroy = false;

  int GetConnectionPriority() override { return priority; }
  bool IHwConnectTransmitter(Slot& sink) override { return note("hwConnectTransmitter", sink); }
  bool IHwConnectReceiver(Slot& source) override { return note("hwConnectReceiver", source); }
  bool IHwDisconnectTransmitter(Slot& sink) override {
    return note("hwDisconnectTransmitter", sink);
  }
  bool IHwDisconnectReceiver(Slot& source) override { return note("hwDisconnectReceiver", source); }
  bool IHwMayConnectTransmitter(Slot& to) override { return note("hwMayConnectTransmitter", to); }
  bool IHwMayConnectReceiver(Slot& source) override { return note("hwMayConnectReceiver", source); }
  bool IOnOutputStream() override {
    say("onOutputStream");
    return output;
  }
  bool IOnInputStream() override {
    say("onInputStream");
    return input;
  }
  void IOnOutputRelease() override { say("onOutputRelease"); }
  void IOnInputRelease() override { say("onInputRelease"); }
  bool IBeforeDestroy() override {
    say("beforeDestroy");
    if (report_on_destroy) OnDeactivated();
    return release_now;
  }
  bool IActivate(const TERM::TermActivateParams&) override {
    say("activate");
    return true;
  }
  int IGetTransmitChannel() override { return tx; }
  int IGetReceiveChannel() override { return rx; }
  const char* GetName() const override { return name_.c_str(); }

 private:
  void say(const std::string& what) { log_->push_back(name_ + " " + what); }
  bool note(const std::string& what, Slot& peer) {
    say(what + " " + peer.GetName());
    std::vector<bool>& answers = what.rfind("hwMay", 0) ? hw : may;
    if (answers.empty()) return true;
    bool r = answers.front();
    answers.erase(answers.begin());
    return r;
  }

  std::string name_;
  std::vector<std::string>* log_;
};

// Makes TestSlots for the `trunk` create alternative when `trunk` matches (any trunk when it is
// negative), or nothing when `serve` is false.
class TestFactory : public SlotFactory {
 public:
  TestFactory(std::string name, std::vector<std::string>* log)
      : name_(std::move(name)), log_(log) {}

  int trunk = -1;
  bool serve = true;
  bool release_now = true;
  int deleted = 0;
  std::vector<std::string> query_log;

  const char* GetName() const override { return name_.c_str(); }
  Slot* INewSlot(const LGCP::CreateParams& p) override {
    if (!p.is_trunk() || !serve) return nullptr;
    if (trunk >= 0 && p.get_trunk().get_trunk().getValue() != unsigned(trunk)) return nullptr;
    auto* s = new TestSlot(name_, log_);
    s->release_now = release_now;
    s->deleted = &deleted;
    return s;
  }
  void Query(LGCP::Resources& r) override {
    r.set_modem(r.get_modem().getValue() + 1);
    query_log.push_back(name_);
  }
  void SelfSignal(const LGCP::Signal& s) override {
    query_log.push_back(name_ + " " + s.getSelectionName());
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

// Keeps the factory chain as it was before the test: factories a test builds leave it with the
// test.
class ChainGuard {
 public:
  ChainGuard() : saved_(firstFactory) {}
  ~ChainGuard() { firstFactory = saved_; }

 private:
  SlotFactory* saved_;
};

inline std::string text_of(const ASN1::AbstractData& v) {
  std::ostringstream os;
  os << v;
  return os.str();
}
