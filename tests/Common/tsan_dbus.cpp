// libdbus (under avahi-client) takes two of its own locks in one order when a connection opens
// and in the other when it is freed, always on the same thread; ThreadSanitizer reports that
// as a potential deadlock inside the library.
extern "C" const char* __tsan_default_suppressions() {
    return "deadlock:libdbus-1.so\n";
}
