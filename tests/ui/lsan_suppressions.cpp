// Leak checker suppressions of the Qt test programs: the font library's process-lifetime
// caches and the D-Bus connection of the X11 platform, which Qt keeps until exit.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
