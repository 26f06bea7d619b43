#include "slots/media/t38_soft_slot.h"

#include <signal.h>
#include <sys/wait.h>

#include <iostream>

#include "base/child_stop.h"
#include "base/ext_header.h"

T38SoftSlot::T38SoftSlot(int child, int ts) : pid(child), timeslot(ts) {
  wait.Bind(this, &T38SoftSlot::OnT38Terminate);
  wait.Attach(pid);
}

void T38SoftSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool T38SoftSlot::IBeforeDestroy() {
  if (pid >= 1) ChildStop::orphan(wait, SIGTERM);
  return true;
}

void T38SoftSlot::OnT38Terminate(int status) {
  if (WIFEXITED(status)) {
    std::clog << ext::header(this) << "t38 daemon terminated with code=" << WEXITSTATUS(status)
              << std::endl;
  } else if (WIFSIGNALED(status)) {
    std::clog << ext::header(this) << "t38 daemon terminated by signal=" << WTERMSIG(status)
              << std::endl;
  }
  pid = -1;
  ChildStop::end_rest(wait.pid(), SIGTERM);
  OnAbort(status);
}
