// Test support for the service client: the Qt event loop and a window that records messages.
#pragma once

#include <core/service_socket.h>

#include <win/cwnd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <vector>

namespace servicetest
{

/** The interface thread's application object, made once per test program. */
inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "service-test";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

/** Runs the event loop until done() holds or the time-out passes; returns done(). */
inline bool WaitUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000))
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

/**
 * The main window's stand-in: records every message it is sent, with what a handler would
 * read from the socket at that moment.
 */
class RecordingWindow : public CWnd
{
  public:
    struct Record {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        CString status;    // token entry 5
        CString challenge; // entry 6
        CString token3;
    };

    explicit RecordingWindow(const CServiceSocket &socket) : m_socket(socket) { CreateHandle(); }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        m_records.push_back({message, wParam, lParam, m_socket.m_strToken[5],
                             m_socket.m_strToken[6], m_socket.m_strToken[3]});
        if (m_onMessage)
            m_onMessage();
        return 0;
    }

    std::vector<UINT> Messages() const
    {
        std::vector<UINT> messages;
        for (const Record &r : m_records)
            messages.push_back(r.message);
        return messages;
    }

    bool Has(UINT message) const
    {
        for (const Record &r : m_records)
            if (r.message == message)
                return true;
        return false;
    }

    std::vector<Record> m_records;
    std::function<void()> m_onMessage; ///< called inside each handler, after recording

  private:
    const CServiceSocket &m_socket;
};

} // namespace servicetest
