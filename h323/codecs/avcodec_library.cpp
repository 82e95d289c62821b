// libavcodec and libavutil opened on first use.
#include <h323/codecs/avcodec_library.h>

#include <pwlib/ptrace.h>
#include <pwlib/shared_library.h>

#include <mutex>
#include <string>

namespace h323 {

namespace {

#define KESTRELIN_TEXT(x) #x
#define KESTRELIN_SONAME(base, major) "lib" base ".so." KESTRELIN_TEXT(major)

const AvCodecLibrary *Load()
{
    static pwlib::SharedLibrary avcodec(KESTRELIN_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR));
    static pwlib::SharedLibrary avutil(KESTRELIN_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR));
    static AvCodecLibrary library;
    bool complete = true;
#define KESTRELIN_AV_GET(lib, name) complete = lib.GetFunction(#name, library.name) && complete;
#define KESTRELIN_AVCODEC_GET(name) KESTRELIN_AV_GET(avcodec, name)
#define KESTRELIN_AVUTIL_GET(name) KESTRELIN_AV_GET(avutil, name)
    KESTRELIN_AVCODEC_FUNCTIONS(KESTRELIN_AVCODEC_GET)
    KESTRELIN_AVUTIL_FUNCTIONS(KESTRELIN_AVUTIL_GET)
#undef KESTRELIN_AVUTIL_GET
#undef KESTRELIN_AVCODEC_GET
#undef KESTRELIN_AV_GET
    if (complete)
        return &library;
    PTRACE(1, "H261\tlibavcodec unavailable: " << avcodec.GetError() << " " << avutil.GetError());
    return nullptr;
}

} // namespace

const AvCodecLibrary *AvCodec()
{
    static std::once_flag once;
    static const AvCodecLibrary *library = nullptr;
    std::call_once(once, [] { library = Load(); });
    return library;
}

} // namespace h323
