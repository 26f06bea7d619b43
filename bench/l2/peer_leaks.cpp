// What LeakSanitizer leaves out of its report at exit in the sanitizer build of peer_bench: the
// peer libraries' own objects, which the pairs cannot free. libpri has no call that frees a
// controller (its pri_ctrl_destroy is internal), with the timers and I frames it holds, and
// libss7's ss7_destroy frees neither the links it added nor their adjacent points (the MSUs they
// held are freed before, by their acknowledgements: ~Libss7Pair). The suppressions name only the
// libraries' functions that allocate these; nothing of ours is left out.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:pri_ctrl_new\n"
         "leak:pri_schedule_event\n"
         "leak:q921_transmit_iframe\n"
         "leak:mtp2_new\n"
         "leak:mtp3_add_adj_sp\n";
}
