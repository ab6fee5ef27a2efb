// Font configuration keeps caches for the life of the process; they are not
// leaks of this code. Everything else is still checked.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
