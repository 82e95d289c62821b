// Fuzz target: any datagram from the service server handled by the service client.
#include "service_test_support.h"

#include <cstdint>
#include <string>

namespace
{

struct Client {
    Client()
    {
        servicetest::EnsureApplication();
        window = std::make_unique<servicetest::RecordingWindow>(socket);
        socket.m_pMainWnd = window.get();
    }
    CServiceSocket socket; // never opened: acknowledgements go nowhere
    std::unique_ptr<servicetest::RecordingWindow> window;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Client client;
    client.window->m_records.clear();
    const char *bytes = reinterpret_cast<const char *>(data);
    client.socket.HandleDatagram(bytes, static_cast<int>(size > 4096 ? 4096 : size));

    std::string text(bytes, size);
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    client.socket.SplitTokens(text.c_str());
    client.socket.BuildAck(text.c_str());
    return 0;
}
