// A keypad key on the main dialog: the time from the click to the click's return, with the
// phone idle and while the previous key's tone still plays, and, as the peer, the key
// handled on the interface thread after its tone has been played to the end.
#include "phone_dialog_bench.h"

#include <win/path.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

using Clock = std::chrono::steady_clock;

namespace
{

// The keypad buttons of the digits 1 to 9.
constexpr UINT kFirstKey = 1000;
constexpr int kDigitKeys = 9;

using phonebench::Serve;

/// The phone's main dialog (not registered) in an install directory of its own.
class Bench : public phonebench::PhoneDialog
{
  public:
    Bench() : PhoneDialog("keypad", {}) {}

    /// The key handled as it was before the tones played in the background: the tone is
    /// played to its end on the interface thread, then the key goes into the number field.
    void SynchronousKey(char c)
    {
        CString tone;
        tone.Format("%sdtmf\\d%c.wav", dlg->m_settings.m_strInstallDir.GetString(), c);
        PString path(win::MapPath(tone).c_str());
        {
            CSingleLock lock(&SoundLock(), TRUE);
            dlg->m_toneChannel.Close();
            if (dlg->m_toneChannel.Open(PString(dlg->m_settings.m_strPlayDevice.GetString()),
                                        PSoundChannel::Player, 1, 8000, 16))
                dlg->m_toneChannel.PlayFile(path, TRUE);
            dlg->m_toneChannel.Close();
        }
        CString text;
        dlg->m_number.GetWindowText(text);
        dlg->m_number.SetWindowText(text + c);
    }

};

std::unique_ptr<Bench> g_bench; // made in main, before the window system goes

enum class Path { Background, BackgroundOverATone, Synchronous };

void KeyToReturn(benchmark::State &state, Path path)
{
    Bench &bench = *g_bench;
    static int n = 0; // a repetition is a call of its own
    for (auto _ : state) {
        const int key = n++ % kDigitKeys;
        CString expected(char('1' + key));
        bench.dlg->m_number.SetWindowText("");
        if (!Serve([&] { return !bench.dlg->m_toneChannel.IsOpen(); })) {
            state.SkipWithError("the last key's tone did not end");
            break;
        }
        if (path == Path::BackgroundOverATone) {
            const int before = (key + 1) % kDigitKeys;
            bench.dlg->SendMessage(WM_COMMAND, kFirstKey + UINT(before), 0);
            if (bench.dlg->m_toneChannel.HasPlayCompleted()) {
                state.SkipWithError("the key's tone does not play");
                break;
            }
            expected = CString(char('1' + before)) + expected;
        }
        auto click = Clock::now();
        if (path == Path::Synchronous)
            bench.SynchronousKey(char('1' + key));
        else
            bench.dlg->SendMessage(WM_COMMAND, kFirstKey + UINT(key), 0);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - click).count());
        CString text;
        bench.dlg->m_number.GetWindowText(text);
        if (text != expected) {
            state.SkipWithError("the key did not reach the number field");
            break;
        }
    }
}

void BM_KeypadKeyWhileIdle(benchmark::State &state) { KeyToReturn(state, Path::Background); }
void BM_KeypadKeyWhileATonePlays(benchmark::State &state)
{
    KeyToReturn(state, Path::BackgroundOverATone);
}
void BM_KeypadKeyAfterItsToneSynchronous(benchmark::State &state)
{
    KeyToReturn(state, Path::Synchronous);
}

} // namespace

BENCHMARK(BM_KeypadKeyWhileIdle)
    ->Iterations(1)->Repetitions(30)->UseManualTime()->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeypadKeyWhileATonePlays)
    ->Iterations(1)->Repetitions(30)->UseManualTime()->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeypadKeyAfterItsToneSynchronous)
    ->Iterations(1)->Repetitions(30)->UseManualTime()->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return phonebench::RunHeadless(
        argc, argv, [] { g_bench = std::make_unique<Bench>(); }, [] { g_bench.reset(); });
}
