// Settings for thread-checked builds of the capture tests. The sound server's client
// library is not built for the thread checker, so the checker cannot see the locking inside
// it and would report its internals; our own hand-overs use locks it can see.
extern "C" {

const char* __tsan_default_suppressions() {
    return "called_from_lib:libpulse.so.0\n"
           "called_from_lib:libpulsecommon-16.1.so\n";
}

}  // extern "C"
