// What LeakSanitizer leaves out of its report at exit in the sanitizer build of peer_bench: the
// peer libraries' own objects, which the pairs cannot free. libpri has no call that frees a
// controller (its pri_ctrl_destroy is internal), and libss7's ss7_destroy frees neither the
// links it added nor the messages they still hold. The suppressions name the libraries'
// functions that allocate them, and the libss7 pair's send, whose frame stands for libss7's
// ss7_msg_new (which calls calloc as its last act, so it is not on the stack); nothing of ours
// is left out.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:pri_ctrl_new\n"
         "leak:pri_schedule_event\n"
         "leak:q921_transmit_iframe\n"
         "leak:mtp2_new\n"
         "leak:mtp3_add_adj_sp\n"
         "leak:Libss7Pair::send\n";
}
